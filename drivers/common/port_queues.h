/*
 * The receive queue and the status queue of one port, each behind its own
 * lock. The status thread appends (as the sink of the sorting); the caller's
 * thread takes bytes and records out. No operation holds both locks.
 */
#ifndef KESTREL_DRIVERS_COMMON_PORT_QUEUES_H
#define KESTREL_DRIVERS_COMMON_PORT_QUEUES_H

#include "drivers/common/byte_queue.h"
#include "drivers/common/byte_sink.h"
#include "drivers/common/queue_lock.h"

#include <cstddef>
#include <cstdint>

class CPortQueues : public IByteSink {
  public:
    CPortQueues(IQueueLock& receiveLock, IQueueLock& statusLock)
        : m_receiveLock(receiveLock), m_statusLock(statusLock) {}

    // Fresh, empty storage of `capacity` bytes for both queues.
    void Allocate(int32_t capacity);
    // The receive queue loses its storage; status records stay.
    void ReleaseReceive();
    void ReleaseAll();

    void AppendReceived(const uint8_t* data, size_t count) override;
    void AppendRecord(const uint8_t* record) override;

    // Empties the receive queue only.
    void Clear();
    int32_t ReceiveCount();
    // Copies and removes the oldest record; false (out untouched) when none.
    bool TakeStatusRecord(uint8_t* out);
    // Up to `max` bytes from the front of the receive queue, all that is
    // there in one take (the queue is not a ring).
    size_t TakeReceived(uint8_t* out, size_t max);

    uint64_t DroppedReceived();
    uint64_t DroppedStatus();

  private:
    IQueueLock& m_receiveLock;
    IQueueLock& m_statusLock;
    CByteQueue m_receive; // under m_receiveLock
    CByteQueue m_status;  // under m_statusLock
};

#endif
