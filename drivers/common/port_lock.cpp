#include "drivers/common/port_lock.h"

namespace {

// How often a waiter looks whether the holder is still alive: a dead
// holder never wakes it.
constexpr DWORD kHolderCheckMs = 50;

// The thread's creation time folded to 32 bits, never 0; 0 when unknown.
uint32_t CreationStamp(HANDLE thread) {
    FILETIME created, exited, kernel, user;
    if (!::GetThreadTimes(thread, &created, &exited, &kernel, &user))
        return 0;
    return (created.dwLowDateTime ^ created.dwHighDateTime * 0x9E3779B9u) | 1u;
}

// Each thread keeps its stamp in a slot of its own, so that taking a lock
// costs no call to the system. A plain slot rather than a thread_local
// variable: nothing of it has to run when a thread ends or the library goes.
class CStampSlot {
  public:
    CStampSlot() : m_index(::TlsAlloc()) {}
    ~CStampSlot() {
        if (m_index != TLS_OUT_OF_INDEXES)
            ::TlsFree(m_index);
    }
    CStampSlot(const CStampSlot&) = delete;
    CStampSlot& operator=(const CStampSlot&) = delete;

    uint32_t Get() const {
        return m_index == TLS_OUT_OF_INDEXES
                   ? 0
                   : static_cast<uint32_t>(reinterpret_cast<uintptr_t>(::TlsGetValue(m_index)));
    }
    void Set(uint32_t stamp) const {
        if (m_index != TLS_OUT_OF_INDEXES)
            ::TlsSetValue(m_index, reinterpret_cast<void*>(static_cast<uintptr_t>(stamp)));
    }

  private:
    DWORD m_index;
};

const CStampSlot g_stampSlot;

// This thread as the lock records it.
uint64_t ThisThread() {
    uint32_t stamp = g_stampSlot.Get();
    if (stamp == 0) {
        stamp = CreationStamp(::GetCurrentThread());
        g_stampSlot.Set(stamp);
    }
    return uint64_t{stamp} << 32 | ::GetCurrentThreadId();
}

} // namespace

bool PortLockHolderGone(uint64_t holder) {
    const DWORD id = static_cast<DWORD>(holder);
    // The holder was a thread of this process. An id that cannot be opened
    // (no such thread, or one of another process that we may not open) or
    // that now names a thread of another process is no longer it.
    CHandle thread(::OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, id));
    if (!thread || ::GetProcessIdOfThread(thread.Get()) != ::GetCurrentProcessId())
        return true;
    if (::WaitForSingleObject(thread.Get(), 0) == WAIT_OBJECT_0)
        return true;
    // The id now names a thread born after the holder: the holder is gone.
    const uint32_t stamp = static_cast<uint32_t>(holder >> 32);
    const uint32_t now = CreationStamp(thread.Get());
    return stamp != 0 && now != 0 && now != stamp;
}

CPortLock::CPortLock() : m_wake(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

bool CPortLock::Take(uint64_t from, uint64_t me) {
    if (!m_holder.compare_exchange_strong(from, me))
        return false;
    m_depth = 1;
    return true;
}

bool CPortLock::TakeFromDeadHolder(uint64_t holder, uint64_t me) {
    return holder != 0 && PortLockHolderGone(holder) && Take(holder, me);
}

void CPortLock::Lock() {
    const uint64_t me = ThisThread();
    if (m_holder.load() == me) {
        ++m_depth;
        return;
    }
    // Unbounded by design: a holder keeps the lock for one queue operation
    // or one transfer, whose own waits are bounded; a dead holder is found.
    while (!Take(0, me)) {
        m_waiting.fetch_add(1);
        // Looked at again once counted, so that an Unlock in between,
        // which saw nobody waiting, is not missed.
        if (Take(0, me)) {
            m_waiting.fetch_sub(1);
            return;
        }
        const DWORD woke = m_wake ? ::WaitForSingleObject(m_wake.Get(), kHolderCheckMs)
                                  : (::Sleep(1), WAIT_TIMEOUT);
        m_waiting.fetch_sub(1);
        if (woke != WAIT_OBJECT_0 && TakeFromDeadHolder(m_holder.load(), me))
            return;
    }
}

void CPortLock::Unlock() {
    if (m_holder.load() != ThisThread() || --m_depth > 0)
        return;
    m_holder.store(0);
    if (m_waiting.load() > 0 && m_wake)
        ::SetEvent(m_wake.Get());
}
