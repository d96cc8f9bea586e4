// Several printers at once: one child process per printer, their JSON lines
// gathered into one progress line each.
#pragma once

#include "console/command_line.h"
#include "console/console_output_win.h"
#include "console/exit_codes.h"

namespace kestrel {

ExitCode RunBatchDownload(const ConsoleCommand& command, CConsoleOutput& output);

} // namespace kestrel
