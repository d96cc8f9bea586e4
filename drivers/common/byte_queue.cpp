#include "drivers/common/byte_queue.h"

#include <cstring>
#include <new>

void CByteQueue::Allocate(int32_t capacity) {
    Release();
    if (capacity <= 0)
        return;
    m_data.reset(new (std::nothrow) uint8_t[static_cast<size_t>(capacity)]);
    if (m_data)
        m_capacity = capacity;
}

void CByteQueue::Release() {
    m_data.reset();
    m_capacity = 0;
    m_count = 0;
    m_dropped = 0;
}

size_t CByteQueue::Append(const uint8_t* data, size_t count) {
    size_t room = static_cast<size_t>(Free());
    size_t n = count < room ? count : room;
    if (n > 0) {
        std::memcpy(m_data.get() + m_count, data, n);
        m_count += static_cast<int32_t>(n);
    }
    m_dropped += count - n;
    return n;
}

bool CByteQueue::AppendWhole(const uint8_t* data, size_t count) {
    if (count > static_cast<size_t>(Free())) {
        m_dropped += count;
        return false;
    }
    Append(data, count);
    return true;
}

size_t CByteQueue::TakeFront(uint8_t* out, size_t max) {
    size_t n = max < static_cast<size_t>(m_count) ? max : static_cast<size_t>(m_count);
    if (n == 0)
        return 0;
    std::memcpy(out, m_data.get(), n);
    std::memmove(m_data.get(), m_data.get() + n, static_cast<size_t>(m_count) - n);
    m_count -= static_cast<int32_t>(n);
    return n;
}
