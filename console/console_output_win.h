// Where kestrelc's words go. On a console a progress line is rewritten in
// place; into a pipe or a file every line is a line of its own, and fewer
// of them, so a log stays readable.
#pragma once

#include <windows.h>

#include <string>

#include "console/console_view.h"

namespace kestrel {

class CConsoleOutput : public IConsoleHost {
  public:
    CConsoleOutput();
    bool IsConsole() const override { return console_; }
    void Line(const std::string& text) override;
    void Status(const std::string& text) override;
    void Problem(const std::string& text) override { Error(text); }
    bool Interrupted() const override;
    uint64_t FileSize(const std::string& path) const override;
    // Messages for a person, to standard error.
    static void Error(const std::string& text);

  private:
    void Write(const std::string& text);
    HANDLE out_;
    bool console_ = false;
    size_t statusWidth_ = 0; // characters of the line now rewritten in place
};

} // namespace kestrel
