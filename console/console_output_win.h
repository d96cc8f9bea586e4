// Where kestrelc's words go. On a console a progress line is rewritten in
// place; into a pipe or a file every line is a line of its own, and fewer
// of them, so a log stays readable.
#pragma once

#include <windows.h>

#include <string>

namespace kestrel {

class CConsoleOutput {
  public:
    CConsoleOutput();
    bool IsConsole() const { return console_; }
    // A finished line (ends a line rewritten in place first).
    void Line(const std::string& text);
    // Rewrites the current line on a console; elsewhere the same as Line.
    void Status(const std::string& text);
    // Messages for a person, to standard error.
    static void Error(const std::string& text);

  private:
    void Write(const std::string& text);
    HANDLE out_;
    bool console_ = false;
    size_t statusWidth_ = 0; // characters of the line now rewritten in place
};

} // namespace kestrel
