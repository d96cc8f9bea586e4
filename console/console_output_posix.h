// Where kestrelc's words go on Linux: standard output, a progress line
// rewritten in place on a terminal; messages for a person on standard error.
#pragma once

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
    static void Error(const std::string& text);

  private:
    static void Write(int fd, const std::string& text);
    bool console_ = false;
    size_t statusWidth_ = 0; // characters of the line now rewritten in place
};

} // namespace kestrel
