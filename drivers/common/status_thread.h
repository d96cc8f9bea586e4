/*
 * The background thread of an open port: one pass of work, then a pause on
 * the stop event that the pass chose, until the event is set. The pass is
 * the library's own; the frame, the priority and the stop protocol are
 * shared.
 */
#ifndef KESTREL_DRIVERS_COMMON_STATUS_THREAD_H
#define KESTREL_DRIVERS_COMMON_STATUS_THREAD_H

#include "drivers/common/thread_stop.h"
#include "drivers/common/win_handle.h"

#include <functional>

class CStatusThread {
  public:
    // Returns the pause in milliseconds before the next pass. The pass may
    // wait on StopEvent() itself to end a long wait early.
    using Pass = std::function<DWORD()>;

    CStatusThread();
    ~CStatusThread();
    CStatusThread(const CStatusThread&) = delete;
    CStatusThread& operator=(const CStatusThread&) = delete;

    // Resets the stop event and starts the thread two steps above normal.
    bool Start(Pass pass);
    bool Running() const { return static_cast<bool>(m_thread); }
    // Sets the stop event, then waits up to 2000 ms and terminates the
    // thread if it has not ended. Ended when no thread was running.
    ThreadEnd Stop();
    HANDLE StopEvent() const { return m_stop.Get(); }

  private:
    static DWORD WINAPI ThreadMain(LPVOID self);

    CHandle m_stop;   // manual-reset; set by the caller's thread only
    CHandle m_thread; // touched by the caller's thread only
    Pass m_pass;      // written before the thread starts, read by it
};

#endif
