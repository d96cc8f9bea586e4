/*
 * The recursive lock of the port machinery. A thread that died holding it
 * (terminated after its transfer would not end) does not block the port for
 * ever: the next taker finds the holder gone and takes the lock over.
 *
 * The lock lives in user space and touches a kernel object only while a
 * taker has to wait. A 64-byte block passes it once per write, about a
 * thousand times a second; under Wine every operation on a kernel mutex is
 * a round trip to the server, and the two per block cost a tenth of the
 * 1 ms pause that paces the printer.
 */
#ifndef KESTREL_DRIVERS_COMMON_PORT_LOCK_H
#define KESTREL_DRIVERS_COMMON_PORT_LOCK_H

#include <atomic>
#include <cstdint>

#include "drivers/common/queue_lock.h"
#include "drivers/common/win_handle.h"

class CPortLock : public IQueueLock {
  public:
    CPortLock();
    void Lock() override;
    void Unlock() override;

  private:
    // Takes the lock if `from` holds it (0: free).
    bool Take(uint64_t from, uint64_t me);
    // Takes the lock from `holder` when that thread has ended.
    bool TakeFromDeadHolder(uint64_t holder, uint64_t me);

    // The holder: its thread id in the low half, the low half of its
    // creation time in the high half (a thread id can be reused once its
    // thread is gone); 0 while free.
    std::atomic<uint64_t> m_holder{0};
    uint32_t m_depth = 0; // touched by the holder only
    std::atomic<int32_t> m_waiting{0};
    CHandle m_wake; // auto-reset; set by Unlock when someone waits
};

using CPortLockGuard = CQueueLockGuard;

// Whether the thread a lock records as its holder (id in the low half,
// creation stamp in the high half) has ended.
bool PortLockHolderGone(uint64_t holder);

#endif
