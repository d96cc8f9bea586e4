#include "drivers/common/status_thread.h"

#include <utility>

CStatusThread::CStatusThread() : m_stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CStatusThread::~CStatusThread() {
    Stop();
}

bool CStatusThread::Start(Pass pass) {
    if (!m_stop || m_thread)
        return false;
    m_pass = std::move(pass);
    ::ResetEvent(m_stop.Get());
    HANDLE t =
        ::CreateThread(nullptr, 0, &CStatusThread::ThreadMain, this, CREATE_SUSPENDED, nullptr);
    if (!t)
        return false;
    m_thread.Reset(t);
    ::SetThreadPriority(t, THREAD_PRIORITY_HIGHEST);
    ::ResumeThread(t);
    return true;
}

ThreadEnd CStatusThread::Stop() {
    if (m_stop)
        ::SetEvent(m_stop.Get());
    if (!m_thread)
        return ThreadEnd::Ended;
    ThreadEnd end = WaitOrTerminateThread(m_thread.Get());
    m_thread.Close();
    return end;
}

DWORD WINAPI CStatusThread::ThreadMain(LPVOID param) {
    auto* self = static_cast<CStatusThread*>(param);
    for (;;) {
        DWORD pause = self->m_pass();
        if (::WaitForSingleObject(self->m_stop.Get(), pause) != WAIT_TIMEOUT)
            return 0;
    }
}
