/*
 * The last step of stopping a library thread: give it a bounded time to end
 * and terminate it when it does not. Whoever asked the thread to end (stop
 * event) or cancelled its transfer has done so before calling this.
 */
#ifndef KESTREL_DRIVERS_COMMON_THREAD_STOP_H
#define KESTREL_DRIVERS_COMMON_THREAD_STOP_H

#include "drivers/common/port_bounds.h"

#include <windows.h>

enum class ThreadEnd { Ended, Terminated };

// Never call with a thread that may hold the caller's own locks pending.
ThreadEnd WaitOrTerminateThread(HANDLE thread, DWORD waitMs = kThreadStopWaitMs);

#endif
