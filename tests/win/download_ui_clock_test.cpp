// The clock's waits keep a window alive (it answers other threads, paints
// and gets its timers) while keyboard and mouse input is thrown away.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <limits>
#include <thread>

#include "download/ui_clock_win.h"
#include "download/ui_pump_win.h"

namespace kestrel {
namespace {

std::atomic<int> g_timers{0};
std::atomic<int> g_input{0};

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_TIMER)
        ++g_timers;
    if ((msg >= WM_KEYFIRST && msg <= WM_KEYLAST) || (msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST))
        ++g_input;
    return DefWindowProcA(hwnd, msg, wp, lp);
}

class ClockWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        WNDCLASSA wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "KestrelClockTest";
        RegisterClassA(&wc);
        hwnd_ = CreateWindowA("KestrelClockTest", "clock", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                              200, 100, nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(hwnd_, nullptr) << "needs a display";
        g_timers = 0;
        g_input = 0;
    }
    void TearDown() override { DestroyWindow(hwnd_); }
    HWND hwnd_ = nullptr;
};

TEST_F(ClockWindow, AWaitStillAnswersOtherThreadsAndRunsTimers) {
    SetTimer(hwnd_, 1, 50, nullptr);
    std::atomic<int> answered{0}, asked{0};
    // Each question must be answered well within the wait; a wait that does
    // not pump would leave all of them unanswered until it ends.
    std::thread asker([&] {
        for (int i = 0; i < 5; ++i) {
            DWORD_PTR result = 0;
            ++asked;
            if (SendMessageTimeoutA(hwnd_, WM_NULL, 0, 0, SMTO_NORMAL, 1500, &result))
                ++answered;
            ::Sleep(100);
        }
    });
    CUiClock clock;
    clock.Sleep(3000);
    asker.join();
    KillTimer(hwnd_, 1);
    EXPECT_EQ(answered.load(), asked.load());
    EXPECT_GT(g_timers.load(), 0);
}

TEST_F(ClockWindow, InputDuringAWaitIsThrownAway) {
    PostMessageA(hwnd_, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(hwnd_, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    PostMessageA(hwnd_, WM_CHAR, 'x', 0);
    CUiClock clock;
    clock.Sleep(20);
    clock.KeepAlive();
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_KEYFIRST, WM_MOUSELAST, PM_NOREMOVE));
    EXPECT_EQ(g_input.load(), 0);
}

TEST_F(ClockWindow, FineSleepIsGivenBackAndCanBeAskedAgain) {
    CUiClock clock;
    clock.BeginFineSleep();
    clock.BeginFineSleep(); // once only: periods are counted by the system
    for (int i = 0; i < 20; ++i)
        clock.Sleep(1);
    clock.EndFineSleep();
    clock.EndFineSleep();
    clock.BeginFineSleep();
    clock.Sleep(1);
    // The destructor gives back what is still held.
}

// Counter readings where counter * 1,000,000 leaves 64 bits, at the
// frequencies seen in the field (Wine and Windows 10: 10 MHz; older
// machines: the processor clock). A second later must read a second later.
TEST(UiClockCounter, ConvertsWithoutOverflowNearTheLimit) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    for (const int64_t frequency : {INT64_C(10000000), INT64_C(3000000000), INT64_C(3579545)}) {
        for (const int64_t counter : {kMax / 1000000 - 1, kMax / 1000000 + 1, kMax / 1000, kMax / 2,
                                      kMax - 2 * frequency}) {
            const auto exact =
                static_cast<int64_t>(static_cast<__int128>(counter) * 1000000 / frequency);
            EXPECT_EQ(CounterToMicros(counter, frequency), exact) << counter << " @ " << frequency;
            EXPECT_EQ(CounterToMicros(counter + frequency, frequency) -
                          CounterToMicros(counter, frequency),
                      1000000)
                << counter << " @ " << frequency;
        }
    }
}

} // namespace
} // namespace kestrel
