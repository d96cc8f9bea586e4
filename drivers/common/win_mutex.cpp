#include "drivers/common/win_mutex.h"

CWinMutex::CWinMutex() : m_mutex(::CreateMutexW(nullptr, FALSE, nullptr)) {}

void CWinMutex::Lock() {
    if (!m_mutex)
        return;
    // Unbounded by design: a holder keeps a lock for one queue operation or
    // one transfer, whose own waits are bounded; a dead holder abandons it.
    DWORD r = ::WaitForSingleObject(m_mutex.Get(), INFINITE);
    (void)r; // WAIT_OBJECT_0 or WAIT_ABANDONED: owned either way
}

void CWinMutex::Unlock() {
    if (m_mutex)
        ::ReleaseMutex(m_mutex.Get());
}
