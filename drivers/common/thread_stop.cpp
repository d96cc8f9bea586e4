#include "drivers/common/thread_stop.h"

ThreadEnd WaitOrTerminateThread(HANDLE thread, DWORD waitMs) {
    if (!thread || ::WaitForSingleObject(thread, waitMs) == WAIT_OBJECT_0)
        return ThreadEnd::Ended;
    ::TerminateThread(thread, 1);
    // Termination is asynchronous; the thread's stack must be gone before
    // the caller releases anything the thread might still touch.
    ::WaitForSingleObject(thread, kThreadStopWaitMs);
    return ThreadEnd::Terminated;
}
