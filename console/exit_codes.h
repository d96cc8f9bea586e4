// How kestrelc tells a script the way a download ended: one code per way,
// so that a production line can tell a bad file from a dead printer.
#pragma once

#include "download/download_engine.h"

namespace kestrel {

enum ExitCode : int {
    kExitSuccess = 0,
    kExitUsage = 2,
    kExitFirmware = 3,
    kExitDriver = 4,
    kExitConfiguration = 5,
    kExitPortOpen = 6,
    kExitSendFailed = 7,
    kExitConnect = 8,
    kExitNetworkWrite = 9,
    kExitNoUsbPrinter = 10,
    kExitInterrupted = 130,
    kExitTerminated = 143, // SIGTERM or SIGHUP (Linux)
};

ExitCode ExitCodeFor(DownloadOutcome outcome);

// With several printers the first one, in the order given, that failed
// decides; all succeeded gives 0.
ExitCode CombinedExitCode(const ExitCode* codes, size_t count);

} // namespace kestrel
