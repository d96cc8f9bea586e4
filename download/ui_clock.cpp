#include "download/ui_clock.h"

#include <windows.h>
#include <timeapi.h>

#include "download/ui_pump.h"

namespace kestrel {

CUiClock::~CUiClock() { EndFineSleep(); }

void CUiClock::Sleep(uint32_t ms) { WaitPumping(ms); }

void CUiClock::KeepAlive() { PumpPaintAndTimers(); }

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
