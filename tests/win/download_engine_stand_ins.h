// What a windowless download through the real engine and driver needs in
// the place of the window and the network: shared by the Windows tests
// that run one.
#pragma once

#include <string>
#include <vector>

#include "download/download_engine.h"
#include "download/ui_clock_win.h"

namespace kestrel::test {

struct NoNetwork : INetworkLink {
    bool Create() override { return false; }
    bool Connect(const std::string&, uint16_t) override { return false; }
    int64_t Send(const uint8_t*, uint64_t) override { return -1; }
    void Close() override {}
};

struct RecordingView : IDownloadView {
    std::vector<int32_t> progress;
    std::vector<std::string> messages;
    int notices = 0;
    void RedrawAll() override {}
    void ShowProgress(int32_t v) override { progress.push_back(v); }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void ShowLedNotice() override { ++notices; }
};

// The real clock without the closing wait's 800 ms steps.
struct QuickClosingClock : CUiClock {
    void Sleep(uint32_t ms) override {
        if (ms < kClosingStepMs)
            CUiClock::Sleep(ms);
    }
};

} // namespace kestrel::test
