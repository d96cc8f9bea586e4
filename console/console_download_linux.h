// One printer flashed from a Linux console: the same engine and console
// view as on Windows, with the port (termios or a socket) in the place of
// the driver library and signals in the place of Ctrl+C.
#pragma once

#include "console/command_line.h"
#include "console/console_output_posix.h"
#include "console/console_view.h"

namespace kestrel {

PortResult RunConsoleDownload(const ConsoleCommand& command, const PortTarget& target,
                              CConsoleOutput& output);

} // namespace kestrel
