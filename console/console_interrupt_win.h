// Ctrl+C and Ctrl+Break end a console download cleanly instead of killing
// the process with the port open, the library on disk and printers on
// "FILE:". The handler only raises a flag and signals an event; the waits
// of a download watch the event (a block in flight is cut short, the
// closing wait ends), and the run unwinds through its usual clean-up.
#pragma once

#include <windows.h>

namespace kestrel {

// Installs the handler; the process then survives Ctrl+C.
void InstallInterruptHandler();

bool Interrupted();

// Signalled once the first interrupt arrives, so that waits end at once.
HANDLE InterruptEvent();

// The program calls this when its clean-up has finished, so that a window
// close or log-off waits for it instead of cutting it short.
void CleanupFinished();

} // namespace kestrel
