// One printer flashed from the console: the program's own engine, driver
// libraries, spooler hand-off and conversion, with the console in the
// place of the main window.
#pragma once

#include <optional>
#include <string>

#include "console/command_line.h"
#include "console/console_output_win.h"
#include "console/exit_codes.h"

namespace kestrel {

PortResult RunConsoleDownload(const ConsoleCommand& command, const PortTarget& target,
                              CConsoleOutput& output);

} // namespace kestrel
