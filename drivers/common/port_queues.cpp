#include "drivers/common/port_queues.h"

#include "drivers/common/status_record_sorting.h"

void CPortQueues::Allocate(int32_t capacity) {
    {
        CQueueLockGuard guard(m_receiveLock);
        m_receive.Allocate(capacity);
    }
    CQueueLockGuard guard(m_statusLock);
    m_status.Allocate(capacity);
}

void CPortQueues::ReleaseReceive() {
    CQueueLockGuard guard(m_receiveLock);
    m_receive.Release();
}

void CPortQueues::ReleaseAll() {
    ReleaseReceive();
    CQueueLockGuard guard(m_statusLock);
    m_status.Release();
}

void CPortQueues::AppendReceived(const uint8_t* data, size_t count) {
    CQueueLockGuard guard(m_receiveLock);
    m_receive.Append(data, count);
}

void CPortQueues::AppendRecord(const uint8_t* record) {
    CQueueLockGuard guard(m_statusLock);
    m_status.AppendWhole(record, kStatusRecordSize);
}

void CPortQueues::Clear() {
    CQueueLockGuard guard(m_receiveLock);
    m_receive.Empty();
}

int32_t CPortQueues::ReceiveCount() {
    CQueueLockGuard guard(m_receiveLock);
    return m_receive.Count();
}

bool CPortQueues::TakeStatusRecord(uint8_t* out) {
    CQueueLockGuard guard(m_statusLock);
    if (m_status.Count() < static_cast<int32_t>(kStatusRecordSize))
        return false;
    m_status.TakeFront(out, kStatusRecordSize);
    return true;
}

size_t CPortQueues::TakeReceived(uint8_t* out, size_t max) {
    CQueueLockGuard guard(m_receiveLock);
    return m_receive.TakeFront(out, max);
}

uint64_t CPortQueues::DroppedReceived() {
    CQueueLockGuard guard(m_receiveLock);
    return m_receive.Dropped();
}

uint64_t CPortQueues::DroppedStatus() {
    CQueueLockGuard guard(m_statusLock);
    return m_status.Dropped();
}
