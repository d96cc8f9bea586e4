/*
 * A bounded first-in-first-out byte array of the kind each port keeps for
 * received bytes and for status records. Storage is given at OpenPort and
 * may be taken away at ClosePort; without storage the queue holds nothing.
 * The queue is never written past its capacity: what does not fit is
 * dropped and counted, so a chatty printer cannot corrupt the port object.
 * Not thread-safe by itself; CPortQueues adds the locks.
 */
#ifndef KESTREL_DRIVERS_COMMON_BYTE_QUEUE_H
#define KESTREL_DRIVERS_COMMON_BYTE_QUEUE_H

#include <cstddef>
#include <cstdint>
#include <memory>

class CByteQueue {
  public:
    // Replaces the storage with `capacity` fresh bytes, empty. A capacity of
    // zero or less, or one that cannot be allocated, leaves no storage.
    void Allocate(int32_t capacity);
    // Drops the storage; the queue is empty with capacity 0 afterwards.
    void Release();

    int32_t Count() const { return m_count; }
    int32_t Capacity() const { return m_capacity; }
    int32_t Free() const { return m_capacity - m_count; }
    // Bytes refused since the storage was last allocated.
    uint64_t Dropped() const { return m_dropped; }

    // Appends as many bytes as fit; the rest are dropped and counted.
    // Returns the number appended.
    size_t Append(const uint8_t* data, size_t count);
    // Appends all `count` bytes or, when they do not all fit, none of them
    // (a status record is only useful whole).
    bool AppendWhole(const uint8_t* data, size_t count);
    // Moves up to `max` bytes from the front into `out`; returns how many.
    size_t TakeFront(uint8_t* out, size_t max);
    void Empty() { m_count = 0; }

  private:
    std::unique_ptr<uint8_t[]> m_data;
    int32_t m_capacity = 0;
    int32_t m_count = 0;
    uint64_t m_dropped = 0;
};

#endif
