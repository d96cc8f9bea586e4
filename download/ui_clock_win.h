// The engine's clock on the user-interface thread: its sleeps keep the
// window painting, and 1 ms sleeps really last about 1 ms.
#pragma once

#include "download/download_engine.h"

namespace kestrel {

class CUiClock : public IClock {
public:
    CUiClock() = default;
    ~CUiClock() override;
    CUiClock(const CUiClock&) = delete;
    CUiClock& operator=(const CUiClock&) = delete;

    void Sleep(uint32_t ms) override;
    void KeepAlive() override;
    uint64_t PauseMark() override;
    void SleepRest(uint64_t mark, uint32_t ms) override;
    // The default scheduler tick is 15.6 ms; 64-byte blocks with a 1 ms
    // pause each would take sixteen times as long as they should.
    void BeginFineSleep() override;
    void EndFineSleep() override;

private:
    bool fine_ = false;
};

}  // namespace kestrel
