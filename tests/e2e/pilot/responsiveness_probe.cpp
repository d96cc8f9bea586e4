#include "tests/e2e/pilot/responsiveness_probe.h"

namespace e2e {
namespace {

constexpr DWORD kPauseBetweenSendsMs = 20;

double Milliseconds(LONGLONG ticks) {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    return static_cast<double>(ticks) * 1000.0 / static_cast<double>(frequency);
}

} // namespace

ResponsivenessProbe::ResponsivenessProbe(HWND window, UINT message, WPARAM wParam)
    : window_(window), message_(message), wParam_(wParam), stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    if (stop_)
        thread_ = std::thread([this] { Run(); });
}

ResponsivenessProbe::~ResponsivenessProbe() {
    Stop();
}

ProbeResult ResponsivenessProbe::Stop() {
    if (thread_.joinable()) {
        SetEvent(stop_.get());
        // Bounded: the thread's longest wait is one send (kSendBoundMs).
        thread_.join();
    }
    return result_;
}

void ResponsivenessProbe::Run() {
    double total = 0;
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    for (;;) {
        if (WaitForSingleObject(stop_.get(), kPauseBetweenSendsMs) != WAIT_TIMEOUT)
            break;
        if (!IsWindow(window_))
            break;
        LARGE_INTEGER before, after;
        QueryPerformanceCounter(&before);
        DWORD_PTR reply = 0;
        LRESULT answered =
            SendMessageTimeoutA(window_, message_, wParam_, 0, SMTO_NORMAL, kSendBoundMs, &reply);
        QueryPerformanceCounter(&after);
        double ms = Milliseconds(after.QuadPart - before.QuadPart);
        if (!answered) {
            if (!IsWindow(window_))
                break; // closed meanwhile: not a hang
            ++result_.timeouts;
        }
        ++result_.answers;
        total += ms;
        if (ms > result_.longestMs) {
            result_.longestMs = ms;
            result_.longestAskedMs = Milliseconds(before.QuadPart - start.QuadPart);
        }
    }
    if (result_.answers)
        result_.meanMs = total / result_.answers;
}

} // namespace e2e
