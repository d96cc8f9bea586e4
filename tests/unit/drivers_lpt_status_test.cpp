// What lpt.dll decides from the system's version word: where the printer's
// status comes from, what counts as ready, and the time-outs it opens with.
#include "drivers/common/windows_family.h"
#include "drivers/lpt/lpt_status_rules.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t kWindows98 = 0xC0000A04;  // 4.10, top bit set
constexpr uint32_t kWindows95 = 0xC3B60004;  // 4.0
constexpr uint32_t kWin32sOn31 = 0x80000A03; // top bit, major 3: not the 95 family
constexpr uint32_t kWindows7 = 0x1DB10106;   // what Wine reports
constexpr uint32_t kWindowsNt4 = 0x05650004;

TEST(DriversLptStatus, VersionWordChoosesTheFamily) {
    for (uint32_t v : {kWindows98, kWindows95})
        EXPECT_TRUE(IsWindows95Family(v)) << std::hex << v;
    for (uint32_t v : {kWin32sOn31, kWindows7, kWindowsNt4})
        EXPECT_FALSE(IsWindows95Family(v)) << std::hex << v;
    EXPECT_TRUE(CLptStatusRules(kWindows98).ReadsStatusRegister());
    EXPECT_FALSE(CLptStatusRules(kWindows7).ReadsStatusRegister());
}

TEST(DriversLptStatus, RegisterAddressByPortName) {
    EXPECT_EQ(CLptStatusRules::StatusRegisterAddress("LPT1"), 0x379);
    EXPECT_EQ(CLptStatusRules::StatusRegisterAddress("LPT1:"), 0x379);
    for (const char* other : {"LPT2", "LPT3", "LPT"})
        EXPECT_EQ(CLptStatusRules::StatusRegisterAddress(other), 0x279) << other;
}

TEST(DriversLptStatus, StatusPowerStateAndReadyPerFamily) {
    struct Case {
        uint32_t version;
        std::optional<uint8_t> raw; // register value or the driver's answer
        int32_t power, ready;
    } cases[] = {
        // 95 family: the register's top bit is inverted; ready is exactly 0x58.
        {kWindows98, 0xD8, 0x58, 1},
        {kWindows98, 0x58, 0xD8, 0}, // busy
        {kWindows98, 0xD9, 0x59, 0}, // a low bit set
        {kWindows98, 0x80, 0x00, 0},
        // NT family: the driver's flags as they come; ready is selected alone.
        {kWindows7, 0x80, 0x80, 1},
        {kWindows7, 0x81, 0x81, 0},
        {kWindows7, 0x58, 0x58, 0},
        // A failed request is no status at all, never the ready value.
        {kWindows7, std::nullopt, 0, 0},
        {kWindows98, std::nullopt, 0, 0},
    };
    for (const auto& c : cases) {
        CLptStatusRules rules(c.version);
        EXPECT_EQ(rules.PowerState(c.raw), c.power)
            << std::hex << c.version << " " << int(c.raw.value_or(0xEE));
        EXPECT_EQ(rules.ReadyFlag(c.raw), c.ready)
            << std::hex << c.version << " " << int(c.raw.value_or(0xEE));
    }
}

TEST(DriversLptStatus, NinetyFiveFamilyForcesTheReadTimeoutsToOne) {
    const LptTimeouts given{10, 20, 30, 40, 50};
    EXPECT_EQ(CLptStatusRules(kWindows98).TimeoutsForOpen(given), (LptTimeouts{1, 1, 1, 40, 50}));
    EXPECT_EQ(CLptStatusRules(kWindows7).TimeoutsForOpen(given), given);
}

} // namespace
