// Several printers at once are flashed by one child process each (a driver
// library keeps one port per loaded copy). The parent starts each child with
// the same options and one port, asks it for JSON lines, and reads them back.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "console/command_line.h"

namespace kestrel {

// The child's arguments, without the program's name.
std::vector<std::string> ChildArguments(const ConsoleCommand& command, const PortTarget& target);

// One command line in the form CommandLineToArgvW and the C runtime read
// back: blanks and quotes protected, backslashes doubled only before a quote.
std::string JoinCommandLine(const std::vector<std::string>& args);

// The raw text of a key's value in one of our own JSON lines: a number as
// written, a string unescaped. Nothing when the key is absent.
std::optional<std::string> JsonValue(const std::string& line, const std::string& key);

// "COM3: done", "COM3: failed (7): Send Failed" or "COM3: interrupted (130)".
std::string ResultLine(const std::string& port, int exitCode,
                       const std::optional<std::string>& message);

} // namespace kestrel
