/*
 * The lock the port queues are guarded by. In the libraries it is the
 * recursive port lock (port_lock.h) shared with the status thread; the
 * portable tests use a standard mutex.
 */
#ifndef KESTREL_DRIVERS_COMMON_QUEUE_LOCK_H
#define KESTREL_DRIVERS_COMMON_QUEUE_LOCK_H

class IQueueLock {
  public:
    virtual ~IQueueLock() = default;
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
};

class CQueueLockGuard {
  public:
    explicit CQueueLockGuard(IQueueLock& lock) : m_lock(lock) { m_lock.Lock(); }
    ~CQueueLockGuard() { m_lock.Unlock(); }
    CQueueLockGuard(const CQueueLockGuard&) = delete;
    CQueueLockGuard& operator=(const CQueueLockGuard&) = delete;

  private:
    IQueueLock& m_lock;
};

#endif
