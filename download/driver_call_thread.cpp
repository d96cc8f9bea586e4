#include "download/driver_call_thread.h"

#include "download/ui_pump.h"

namespace kestrel {
namespace {

// How often the waiting thread looks at its messages.
constexpr DWORD kSliceMs = 50;
// An idle driver thread ends at once when told; this only guards against a
// library that never returns from a call made while the thread was ending.
constexpr DWORD kStopWaitMs = 5000;

void CloseIfOpen(HANDLE& h) {
    if (h != nullptr) CloseHandle(h);
    h = nullptr;
}

}  // namespace

CDriverCallThread::~CDriverCallThread() {
    if (thread_ != nullptr) {
        stopping_ = true;
        job_ = nullptr;
        SetEvent(workReady_);
        WaitForSingleObject(thread_, kStopWaitMs);
    }
    CloseIfOpen(thread_);
    CloseIfOpen(workReady_);
    CloseIfOpen(workDone_);
}

bool CDriverCallThread::Start() {
    if (thread_ != nullptr) return true;
    workReady_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    workDone_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (workReady_ != nullptr && workDone_ != nullptr)
        thread_ = CreateThread(nullptr, 0, &CDriverCallThread::Main, this, 0, nullptr);
    if (thread_ == nullptr) {
        CloseIfOpen(workReady_);
        CloseIfOpen(workDone_);
        return false;
    }
    return true;
}

DWORD WINAPI CDriverCallThread::Main(void* param) {
    auto* self = static_cast<CDriverCallThread*>(param);
    for (;;) {
        // Unbounded: the thread idles here between calls for as long as the
        // download lasts; the destructor wakes it to end.
        WaitForSingleObject(self->workReady_, INFINITE);
        if (self->stopping_) return 0;
        (*self->job_)();
        SetEvent(self->workDone_);
    }
}

void CDriverCallThread::Run(const std::function<void()>& call) {
    if (!Start()) {
        call();
        return;
    }
    job_ = &call;
    SetEvent(workReady_);
    // No bound of our own: the call works on the caller's buffer, which must
    // not go away before the call returns. The libraries bound their waits.
    for (;;) {
        const DWORD r = MsgWaitForMultipleObjects(1, &workDone_, FALSE, kSliceMs,
                                                  QS_PAINT | QS_TIMER | QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0) break;
        PumpPaintAndTimers();
    }
    job_ = nullptr;
}

}  // namespace kestrel
