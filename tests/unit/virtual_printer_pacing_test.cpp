// The byte-rate reckoning that makes the virtual printer read like a slow
// serial line, and the report of the host's line settings.
#include "tools/virtual_printer/line_settings.h"
#include "tools/virtual_printer/rate_pacer.h"

#include <gtest/gtest.h>

namespace kestrel::vprinter {
namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;
using std::chrono::seconds;

TEST(VirtualPrinterPacing, AllowanceFollowsTheClockFromTheAnchor) {
    RatePacer p(11520); // 115200 baud, 8N1
    const nanoseconds t0 = seconds(100);
    EXPECT_EQ(p.Allowance(t0), 0u) << "nothing before bytes were seen";
    p.Start(t0);
    struct Case {
        nanoseconds after;
        std::uint64_t allowed;
    } cases[] = {
        {nanoseconds(0), 0},
        {nanoseconds(86'805), 0}, // just under one byte time (86.8 us)
        {nanoseconds(86'806), 1},
        {milliseconds(1), 11},
        {milliseconds(100), 1152},
        {seconds(1), 11520},
        {seconds(22) + milliseconds(756), 262'149},
    };
    for (const Case& c : cases)
        EXPECT_EQ(p.Allowance(t0 + c.after), c.allowed) << c.after.count() << " ns";
}

TEST(VirtualPrinterPacing, TakingUsesUpTheAllowanceWithoutDrift) {
    RatePacer p(11520);
    p.Start(nanoseconds(0));
    // Many late, uneven wake-ups still add up to exactly the line's rate.
    std::uint64_t taken = 0;
    for (nanoseconds t = milliseconds(3); t <= seconds(10);
         t += milliseconds(3) + nanoseconds(777)) {
        const std::uint64_t a = p.Allowance(t);
        p.Take(a);
        taken += a;
    }
    EXPECT_LE(taken, 115200u);
    EXPECT_GE(taken, 115200u - 50); // the last wake-up came a little before 10 s
    EXPECT_EQ(p.Allowance(seconds(10)), 115200u - taken);
}

TEST(VirtualPrinterPacing, UntilSaysWhenTheNextChunkIsDue) {
    RatePacer p(11520);
    EXPECT_EQ(p.Chunk(), 23u); // about 2 ms of the line
    p.Start(seconds(1));
    EXPECT_EQ(p.Until(seconds(1), 1), nanoseconds(86'806));
    EXPECT_EQ(p.Until(seconds(1), 11520), seconds(1));
    p.Take(11520); // taken ahead of time, as a read at the end of a second would
    EXPECT_EQ(p.Until(seconds(2), 0), nanoseconds(0));
    EXPECT_EQ(p.Until(seconds(2), 11520), seconds(1));
    EXPECT_EQ(p.Until(seconds(3), 11520), nanoseconds(0));
    EXPECT_EQ(p.Until(seconds(5), 1), nanoseconds(0)) << "already due";
}

TEST(VirtualPrinterPacing, AnIdleLineSavesNoCreditForABurst) {
    RatePacer p(1000);
    p.Start(seconds(0));
    p.Take(p.Allowance(milliseconds(500)));
    p.Idle(); // host paused
    EXPECT_EQ(p.Allowance(seconds(60)), 0u);
    EXPECT_EQ(p.Until(seconds(60), 10), milliseconds(10)) << "as from a fresh start";
    p.Start(seconds(60));
    p.Start(seconds(61)); // already running: the anchor stays
    EXPECT_EQ(p.Allowance(seconds(61)), 1000u);
}

TEST(VirtualPrinterPacing, UnlimitedAndChangedRates) {
    RatePacer p;
    EXPECT_FALSE(p.Limited());
    EXPECT_EQ(p.Allowance(seconds(0)), RatePacer::kUnlimited);
    EXPECT_EQ(p.Until(seconds(0), 1'000'000), nanoseconds(0));

    p.SetRate(100);
    EXPECT_TRUE(p.Limited());
    EXPECT_EQ(p.Chunk(), 1u) << "never a zero-byte chunk at slow rates";
    EXPECT_EQ(p.Allowance(seconds(5)), 0u) << "a new rate starts a new reckoning";
    p.Start(seconds(5));
    EXPECT_EQ(p.Allowance(seconds(6)), 100u);
}

TEST(VirtualPrinterPacing, LongRunsAtTheHighestRateDoNotOverflow) {
    RatePacer p(1'000'000'000);
    p.Start(nanoseconds(0));
    const nanoseconds tenDays = seconds(10 * 86'400);
    EXPECT_EQ(p.Allowance(tenDays), 864'000'000'000'000u);
    EXPECT_EQ(p.Until(nanoseconds(0), 864'000'000'000'000u), tenDays);
}

TEST(VirtualPrinterLineSettings, SpeedAndSoftwareFlowControl) {
    struct Case {
        speed_t speed;
        tcflag_t iflag;
        const char* text;
    } cases[] = {
        {B115200, IXON | IXOFF, "baud=115200 ixon=1 ixoff=1"},
        {B9600, 0, "baud=9600 ixon=0 ixoff=0"},
        {B19200, IXON, "baud=19200 ixon=1 ixoff=0"},
        {B57600, IXOFF | ICRNL, "baud=57600 ixon=0 ixoff=1"},
        {B38400, IXANY, "baud=38400 ixon=0 ixoff=0"},
    };
    for (const Case& c : cases) {
        termios t{};
        ASSERT_EQ(cfsetospeed(&t, c.speed), 0);
        t.c_iflag = c.iflag;
        EXPECT_EQ(FormatLineSettings(LineSettingsFromTermios(t)), c.text);
    }
    EXPECT_EQ(FormatLineSettings(LineSettings{std::nullopt, true, false}), "baud=? ixon=1 ixoff=0");
    EXPECT_FALSE(BaudFromSpeed(static_cast<speed_t>(0x7fff)));
}

TEST(VirtualPrinterLineSettings, ByteRateOfTheHostsLine) {
    struct Case {
        std::optional<std::uint32_t> baud;
        std::uint64_t rate;
    } cases[] = {
        {115200, 11520},   {9600, 960}, {2400, 240}, {50, 5}, {0, 0}, // hung up: no pace to keep
        {std::nullopt, 0},                                            // a speed we cannot name
    };
    for (const Case& c : cases)
        EXPECT_EQ(ByteRateForLine(LineSettings{c.baud, false, false}), c.rate)
            << c.baud.value_or(12345);
}

} // namespace
} // namespace kestrel::vprinter
