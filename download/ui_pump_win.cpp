#include "download/ui_pump_win.h"

#include <windows.h>

namespace kestrel {
namespace {

constexpr UINT kSysTimer = 0x0118; // caret blink and other system timers
// A window that never validates itself must not keep us here forever.
constexpr int kMostPerPump = 200;

bool TakeAndDispatch(UINT first, UINT last) {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, first, last, PM_REMOVE))
        return false;
    DispatchMessageA(&msg);
    return true;
}

bool TakeAndDrop(UINT first, UINT last) {
    MSG msg;
    return PeekMessageA(&msg, nullptr, first, last, PM_REMOVE) != 0;
}

} // namespace

int64_t NowMicros() {
    static const int64_t frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<int64_t>(f.QuadPart);
    }();
    // Never fails since Windows XP; a tick count would do if it did.
    if (frequency <= 0)
        return static_cast<int64_t>(GetTickCount64()) * 1000;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return CounterToMicros(static_cast<int64_t>(now.QuadPart), frequency);
}

void PumpPaintAndTimers() {
    // One question instead of six looks when nothing is waiting, as between
    // most 64-byte blocks: under Wine each look is a round trip to the server.
    if (HIWORD(GetQueueStatus(QS_INPUT | QS_PAINT | QS_TIMER | QS_SENDMESSAGE)) == 0)
        return;
    // Any PeekMessage call also delivers messages sent from other threads.
    for (int i = 0; i < kMostPerPump; ++i) {
        const bool any =
            TakeAndDrop(WM_KEYFIRST, WM_KEYLAST) | TakeAndDrop(WM_MOUSEFIRST, WM_MOUSELAST) |
            TakeAndDrop(WM_NCMOUSEMOVE, WM_NCMBUTTONDBLCLK) | TakeAndDispatch(WM_PAINT, WM_PAINT) |
            TakeAndDispatch(WM_TIMER, WM_TIMER) | TakeAndDispatch(kSysTimer, kSysTimer);
        if (!any)
            return;
    }
}

void WaitPumping(uint32_t ms) {
    const int64_t deadline = NowMicros() + static_cast<int64_t>(ms) * 1000;
    for (;;) {
        PumpPaintAndTimers();
        const int64_t left = deadline - NowMicros();
        if (left <= 0)
            return;
        const DWORD wait = static_cast<DWORD>((left + 999) / 1000);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, wait,
                                  QS_PAINT | QS_TIMER | QS_SENDMESSAGE | QS_POSTMESSAGE);
    }
}

} // namespace kestrel
