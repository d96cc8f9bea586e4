#include "driver_host/driver_call_thread_win.h"

#include <atomic>

#include "download/ui_pump_win.h"

namespace kestrel {
namespace {

// How often the waiting user-interface thread looks at its messages.
constexpr DWORD kSliceMs = 50;
// How long each side spins before sleeping in the kernel. A short write
// returns well within a millisecond, and the next 64-byte block is handed
// over while the driver thread still rests after the last one (1 ms, about
// 1.3 under Wine). The caller spins through that rest: going to sleep in the
// middle of it wakes the Wine server, whose timeouts are rounded up to whole
// milliseconds, and the rest then ends up to a millisecond late.
constexpr int64_t kDriverSpinMicros = 3000;
constexpr int64_t kCallerSpinMicros = 3000;
// While spinning, the driver thread still takes its window messages this
// often, so a device-change notice is answered within milliseconds even in
// a stream of calls that never lets it sleep.
constexpr int64_t kDriverPumpMicros = 2000;
// The idle driver thread wakes this often even without work or messages.
constexpr DWORD kIdleSliceMs = 1000;
// An idle driver thread ends at once when told; this only guards against a
// thread that does not.
constexpr DWORD kStopWaitMs = 5000;
constexpr int kMostMessagesPerPump = 100;

enum : int { kIdle, kPosted, kDone };

void Relax() {
    YieldProcessor();
    // Gives the core away when another thread wants it: on a busy machine
    // the thread we wait for may need this very core.
    SwitchToThread();
}

// Serves every window message of the driver thread (usb.dll's notice window).
void PumpDriverMessages() {
    MSG msg;
    for (int i = 0; i < kMostMessagesPerPump && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i)
        DispatchMessageA(&msg);
}

} // namespace

struct CDriverCallThread::Shared {
    Shared()
        : workReady(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
          workDone(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}
    ~Shared() {
        if (workReady != nullptr)
            CloseHandle(workReady);
        if (workDone != nullptr)
            CloseHandle(workDone);
    }
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;

    // kIdle -> kPosted by the caller (after writing job), kPosted -> kDone by
    // the driver thread (after writing result), kDone -> kIdle by the caller.
    std::atomic<int> state{kIdle};
    std::function<int32_t()> job;
    uint32_t restMs = 0; // after the job, before the next
    int32_t result = 0;
    std::atomic<bool> stopping{false};
    // Set by a side before it sleeps on its event, so that the other side
    // only pays for SetEvent when someone is actually asleep.
    std::atomic<bool> driverAsleep{false};
    std::atomic<bool> callerAsleep{false};
    HANDLE workReady; // auto-reset; a stale signal only costs one extra look
    HANDLE workDone;  // auto-reset
};

namespace {

// Waits for a posted call while serving the thread's windows; false when
// the thread is to end.
// `lastPump`: when the thread last served its windows (0: never).
bool WaitForWork(CDriverCallThread::Shared& s, int64_t& lastPump) {
    const int64_t spinUntil = NowMicros() + kDriverSpinMicros;
    bool spinning = true;
    for (;;) {
        if (s.stopping.load())
            return false;
        // Before the call, too: in a stream of 64-byte blocks the next call
        // is always waiting by the time a rest ends.
        const int64_t now = NowMicros();
        if (now - lastPump >= kDriverPumpMicros) {
            PumpDriverMessages();
            lastPump = now;
        }
        if (s.state.load() == kPosted)
            return true;
        if (spinning && now < spinUntil) {
            Relax();
            continue;
        }
        spinning = false;
        s.driverAsleep.store(true);
        if (s.state.load() != kPosted && !s.stopping.load())
            MsgWaitForMultipleObjects(1, &s.workReady, FALSE, kIdleSliceMs, QS_ALLINPUT);
        s.driverAsleep.store(false);
        PumpDriverMessages();
        lastPump = NowMicros();
    }
}

// Keeps the library quiet until `untilMicros`; never shorter, and cut short
// only when the thread is to end. A plain sleep, not a wait on the message
// queue: under Wine a queue wait is a server call whose timeout the server
// rounds up to whole milliseconds and counts afresh whenever anything else
// wakes it (a repaint of the bar meanwhile made the pause up to 1 ms
// longer), while a plain sleep stays in the thread. Window messages wait
// for WaitForWork, which takes them at least every kDriverPumpMicros.
void Rest(const CDriverCallThread::Shared& s, int64_t untilMicros) {
    for (;;) {
        const int64_t left = untilMicros - NowMicros();
        if (left <= 0 || s.stopping.load())
            return;
        Sleep(static_cast<DWORD>((left + 999) / 1000));
    }
}

DWORD WINAPI DriverThreadMain(void* param) {
    // The thread's own share keeps the events and the call alive even when
    // its owner has given up on it.
    std::unique_ptr<std::shared_ptr<CDriverCallThread::Shared>> own(
        static_cast<std::shared_ptr<CDriverCallThread::Shared>*>(param));
    CDriverCallThread::Shared& s = **own;
    int64_t lastPump = 0;
    while (WaitForWork(s, lastPump)) {
        s.result = s.job();
        const int64_t returned = NowMicros();
        const uint32_t restMs = s.restMs;
        s.job = nullptr; // what the call captured goes on this thread
        s.state.store(kDone);
        if (s.callerAsleep.load())
            SetEvent(s.workDone);
        if (restMs > 0)
            Rest(s, returned + static_cast<int64_t>(restMs) * 1000);
    }
    return 0;
}

} // namespace

CDriverCallThread::~CDriverCallThread() {
    if (thread_ == nullptr)
        return;
    shared_->stopping.store(true);
    SetEvent(shared_->workReady);
    // A thread stuck in an abandoned call is left to finish on its own.
    if (!abandoned_)
        WaitForSingleObject(thread_, kStopWaitMs);
    CloseHandle(thread_);
}

bool CDriverCallThread::Start() {
    if (thread_ != nullptr)
        return true;
    auto shared = std::make_shared<Shared>();
    if (shared->workReady == nullptr || shared->workDone == nullptr)
        return false;
    auto* share = new std::shared_ptr<Shared>(shared);
    thread_ = CreateThread(nullptr, 0, &DriverThreadMain, share, 0, nullptr);
    if (thread_ == nullptr) {
        delete share;
        return false;
    }
    shared_ = std::move(shared);
    return true;
}

std::optional<int32_t> CDriverCallThread::Run(std::function<int32_t()> call, uint32_t boundMs,
                                              uint32_t restMs, const Interrupt* interrupt) {
    if (abandoned_)
        return std::nullopt;
    if (!Start()) {
        const int32_t result = call();
        if (restMs > 0)
            WaitPumping(restMs);
        return result;
    }
    Shared& s = *shared_;
    s.job = std::move(call);
    s.restMs = restMs;
    s.state.store(kPosted);
    if (s.driverAsleep.load())
        SetEvent(s.workReady);

    const int64_t start = NowMicros();
    int64_t deadline = start + static_cast<int64_t>(boundMs) * 1000;
    const int64_t spinUntil = start + kCallerSpinMicros;
    HANDLE waitOn[2] = {s.workDone, interrupt ? interrupt->event : nullptr};
    DWORD waitCount = waitOn[1] != nullptr ? 2 : 1;
    for (;;) {
        if (s.state.load() == kDone)
            break;
        const int64_t now = NowMicros();
        if (now < spinUntil) {
            Relax();
            continue;
        }
        if (now >= deadline) {
            // The call still runs on the driver thread and keeps its own
            // copies of what it works on; the library stays loaded.
            abandoned_ = true;
            return std::nullopt;
        }
        s.callerAsleep.store(true);
        if (s.state.load() != kDone) {
            const int64_t left = (deadline - now + 999) / 1000;
            const DWORD counted = waitCount;
            const DWORD woke = MsgWaitForMultipleObjects(
                counted, waitOn, FALSE, static_cast<DWORD>(left < kSliceMs ? left : kSliceMs),
                QS_PAINT | QS_TIMER | QS_SENDMESSAGE);
            // WAIT_OBJECT_0 + counted means a message: the interrupt is the
            // second handle only while it is still being waited on.
            if (counted == 2 && woke == WAIT_OBJECT_0 + 1) {
                // Once only: the event stays signalled.
                waitCount = 1;
                if (interrupt->cancel && s.state.load() != kDone)
                    interrupt->cancel();
                const int64_t cut =
                    NowMicros() + static_cast<int64_t>(interrupt->afterCancelMs) * 1000;
                deadline = cut < deadline ? cut : deadline;
            }
        }
        s.callerAsleep.store(false);
        PumpPaintAndTimers();
    }
    const int32_t result = s.result;
    s.state.store(kIdle);
    return result;
}

} // namespace kestrel
