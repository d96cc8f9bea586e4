// Whether a run of the program (either program, any copy) is still going,
// as another run sees it. A run is named by its process id and its start
// time; while it lives it holds a named mutex of that name. What runs leave
// behind (printers on "FILE:", private folders) is the user's in every
// session, so the mutex is in the namespace every session sees: a run over
// SSH or from the task scheduler must not look ended to the desktop.
#pragma once

#include <string>

#include "framework/win_handle.h"

namespace kestrel {

// "<process id>.<process start time, 16 hex digits>"
std::string ThisRunName();
// Whether `text` has the form of a run's name.
bool IsRunName(const std::string& text);

std::string RunAliveMutexName(const std::string& run);

// Held for as long as anything of this run's must not be taken over; any
// number of holders may keep it at once.
UniqueHandle MarkThisRunAlive();

// True only when the run is certainly gone: a mutex that exists but cannot
// be opened (another integrity level) is a live run.
bool RunHasEnded(const std::string& run);

} // namespace kestrel
