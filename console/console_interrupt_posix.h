// SIGINT ends a download as Ctrl+C does on Windows, SIGTERM and SIGHUP the
// same way, instead of killing the process with the port open. The handler
// only records the signal and makes a descriptor readable; every wait of a
// run watches that descriptor, and the run unwinds through its usual
// clean-up. A second signal finds the handler still there and changes
// nothing, so it cannot cut the clean-up short.
#pragma once

namespace kestrel {

// Installs the handlers (and ignores SIGPIPE: a printer that resets is a
// failed send, not a dead program).
void InstallInterruptHandler();

bool Interrupted();

// The first signal that came; 0 before one.
int InterruptSignal();

// Readable from the first signal on, for poll().
int InterruptFd();

} // namespace kestrel
