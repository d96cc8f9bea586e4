/*
 * The recursive lock of the port machinery: a Win32 mutex, so that a thread
 * that was terminated while holding it does not block the port for ever
 * (the next taker sees WAIT_ABANDONED and owns it).
 */
#ifndef KESTREL_DRIVERS_COMMON_WIN_MUTEX_H
#define KESTREL_DRIVERS_COMMON_WIN_MUTEX_H

#include "drivers/common/queue_lock.h"
#include "drivers/common/win_handle.h"

class CWinMutex : public IQueueLock {
  public:
    CWinMutex();
    void Lock() override;
    void Unlock() override;

  private:
    CHandle m_mutex;
};

using CWinMutexGuard = CQueueLockGuard;

#endif
