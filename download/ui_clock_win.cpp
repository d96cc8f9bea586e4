#include "download/ui_clock_win.h"

#include <windows.h>
#include <timeapi.h>

#include "download/ui_pump_win.h"

namespace kestrel {

CUiClock::~CUiClock() { EndFineSleep(); }

void CUiClock::Sleep(uint32_t ms) { WaitPumping(ms); }

void CUiClock::KeepAlive() { PumpPaintAndTimers(); }

uint64_t CUiClock::PauseMark() { return static_cast<uint64_t>(NowMicros()); }

void CUiClock::SleepRest(uint64_t mark, uint32_t ms) {
    const uint64_t elapsedMs = (static_cast<uint64_t>(NowMicros()) - mark) / 1000;
    if (elapsedMs >= ms) {
        PumpPaintAndTimers();
        return;
    }
    // Whole milliseconds: the rest is never cut short.
    WaitPumping(static_cast<uint32_t>(ms - elapsedMs));
}

void CUiClock::BeginFineSleep() {
    if (fine_) return;
    fine_ = timeBeginPeriod(1) == TIMERR_NOERROR;
}

void CUiClock::EndFineSleep() {
    if (!fine_) return;
    timeEndPeriod(1);
    fine_ = false;
}

}  // namespace kestrel
