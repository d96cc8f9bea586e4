// The USB id table and the walk over a fake system list of interfaces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/usb_discovery.h"

namespace kestrel {
namespace {

TEST(UsbTypeCode, TableInBothCases) {
    struct Case {
        const char* text;
        int32_t path, deviceInstance;
    } cases[] = {
        {R"(\\?\usb#vid_7a31&pid_0006#0001#{a5dcbf10})", 203, -1},
        {"USB\\VID_7A31&PID_0006\\0001", -1, 203},
        {"vid_7a31&pid_000b", 352, -1},
        {"VID_7A31&PID_000B", -1, 352},
        {"vid_7a31&pid_0004", 101, -1},
        {"vid_6c02&pid_4010", 300, -1},
        {"VID_6C02&PID_4010", -1, 300},
        // Both products of one vendor: the table's earlier row wins.
        {"vid_7a31&pid_0001&pid_0002", 200, -1},
        // The main vendor without its products: the other vendor's row is
        // not tried.
        {"vid_7a31&vid_6c02&pid_4010", -1, -1},
        {"vid_6c02&pid_0006", -1, -1},
        {"vid_046d&pid_c52b", -1, -1},
        {"", -1, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UsbTypeCodeFromPath(c.text), c.path) << c.text;
        EXPECT_EQ(UsbTypeCodeFromDeviceInstance(c.text), c.deviceInstance) << c.text;
    }
}

TEST(UsbTypeCode, WindowsFamilyFromTheVersionWord) {
    EXPECT_FALSE(IsWindows9xVersion(0x1DB10106)); // Windows 7
    EXPECT_TRUE(IsWindows9xVersion(0xC0000A04));  // Windows 98
    EXPECT_FALSE(IsWindows9xVersion(0x80000003)); // Win32s on 3.x
}

using Result = UsbInterfaceProbe::Result;

// The system's list as a table; the type code read from the path.
struct FakeInterfaces : IUsbInterfaces {
    std::vector<UsbInterfaceProbe> list;
    uint32_t asked = 0;
    UsbInterfaceProbe OpenAt(uint32_t index) override {
        asked = index + 1;
        return index < list.size() ? list[index] : UsbInterfaceProbe{};
    }
    int32_t TypeCodeOf(const std::string& path, int32_t) override {
        return UsbTypeCodeFromPath(path);
    }
};

TEST(UsbWalk, FindsEveryOpenablePrinterOfTheFamilyAndNumbersOn) {
    const std::string longPath =
        R"(\\?\usb#vid_7a31&pid_0006#)" + std::string(300, '7') + "#{a5dcbf10}";
    FakeInterfaces system;
    system.list.resize(14, {Result::EnumFailed, ""});
    system.list[0] = {Result::Opened, R"(\\?\usb#vid_046d&pid_c52b#k)"}; // a keyboard
    system.list[3] = {Result::Opened, R"(\\?\usb#vid_7a31&pid_0006#a)"};
    system.list[5] = {Result::NotOpened, R"(\\?\usb#vid_7a31&pid_0006#busy)"};
    system.list[7] = {Result::Opened, R"(\\?\usb#vid_7a31&pid_0002#other)"};
    system.list[9] = {Result::Opened, longPath};
    system.list[12] = {Result::Opened, R"(\\?\usb#vid_7a31&pid_0006#c)"};

    const std::vector<UsbPortEntry> first = FindUsbPrinterEntries(system, 203, 0);
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[0].label, "USB001:");
    EXPECT_EQ(first[0].devicePath, R"(\\?\usb#vid_7a31&pid_0006#a)");
    EXPECT_EQ(first[1].label, "USB002:");
    EXPECT_EQ(first[1].devicePath, longPath); // longer than 255 characters, whole
    EXPECT_EQ(first[2].label, "USB003:");
    EXPECT_EQ(first[2].devicePath, R"(\\?\usb#vid_7a31&pid_0006#c)");
    EXPECT_EQ(system.asked, 15u); // up to the end of the list, not the first window

    // A second fill in the same dialog goes on from the entries it has.
    const std::vector<UsbPortEntry> again = FindUsbPrinterEntries(system, 203, first.size());
    ASSERT_EQ(again.size(), 3u);
    EXPECT_EQ(again[0].label, "USB004:");

    EXPECT_TRUE(FindUsbPrinterEntries(system, 352, 0).empty());
    EXPECT_EQ(FindUsbPrinterEntries(system, 200, 0).size(), 1u);
}

TEST(UsbWalk, AnEnumeratorThatNeverEndsIsStillBounded) {
    struct Endless : FakeInterfaces {
        UsbInterfaceProbe OpenAt(uint32_t index) override {
            asked = index + 1;
            return {Result::EnumFailed, ""};
        }
    } system;
    EXPECT_TRUE(FindUsbPrinterEntries(system, 203, 0).empty());
    EXPECT_EQ(system.asked, kMostUsbInterfaces);
}

} // namespace
} // namespace kestrel
