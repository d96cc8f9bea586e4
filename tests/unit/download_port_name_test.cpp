#include "download/port_name.h"
#include "download/printer_address.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

TEST(PortName, ClassifiesEveryNameTheDialogsProduce) {
    struct Case {
        const char* name;
        PortKind kind;
        DriverKind driver;
    } cases[] = {
        {"COM1", PortKind::Serial, DriverKind::Com},
        {"COM9", PortKind::Serial, DriverKind::Com},
        // COM10 and above only open in the device namespace form; they are
        // still serial ports that need the serial driver's line settings.
        {"\\\\.\\COM10", PortKind::Serial, DriverKind::Com},
        {"\\\\.\\COM20", PortKind::Serial, DriverKind::Com},
        {"LPT1", PortKind::Parallel, DriverKind::Lpt},
        {"\\\\?\\usb#vid_7a31&pid_0006#0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
         PortKind::Usb, DriverKind::Usb},
        {"\\\\.\\LPT1", PortKind::Usb, DriverKind::Usb},
        {"192.168.0.10", PortKind::Network, DriverKind::Usb},
        // Case-sensitive, and too short to match a prefix.
        {"com1", PortKind::Network, DriverKind::Usb},
        {"CO", PortKind::Network, DriverKind::Usb},
        {"", PortKind::Network, DriverKind::Usb},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ClassifyPortName(c.name), c.kind);
        EXPECT_EQ(DriverForPort(ClassifyPortName(c.name)), c.driver);
    }
    EXPECT_STREQ(DriverFileName(DriverKind::Com), "com.dll");
    EXPECT_STREQ(DriverFileName(DriverKind::Lpt), "lpt.dll");
    EXPECT_STREQ(DriverFileName(DriverKind::Usb), "usb.dll");
}

TEST(PrinterAddress, OnlyAnAddressOfOneDeviceCanBeAPrinter) {
    const struct {
        const char* text;
        AddressVerdict verdict;
    } cases[] = {
        {"192.168.0.10", AddressVerdict::Usable},
        {"127.0.0.1", AddressVerdict::Usable},
        {"223.255.255.255", AddressVerdict::Usable},
        {"240.0.0.1", AddressVerdict::Usable},
        {"255.255.255.254", AddressVerdict::Usable},
        {"0.0.0.1", AddressVerdict::Usable},
        {"0.0.0.0", AddressVerdict::Unspecified},
        {"255.255.255.255", AddressVerdict::Broadcast},
        {"224.0.0.0", AddressVerdict::Multicast},
        {"239.255.255.255", AddressVerdict::Multicast},
        {"", AddressVerdict::NotAnAddress},
        {"10.0.0", AddressVerdict::NotAnAddress},
        {"10.0.0.7.", AddressVerdict::NotAnAddress},
        {"10.0.0.256", AddressVerdict::NotAnAddress},
        {"10.0.0.0007", AddressVerdict::NotAnAddress},
        {" 10.0.0.7", AddressVerdict::NotAnAddress},
        {"10..0.7", AddressVerdict::NotAnAddress},
        {"COM1", AddressVerdict::NotAnAddress},
    };
    for (const auto& c : cases) EXPECT_EQ(JudgePrinterAddress(c.text), c.verdict) << c.text;
    EXPECT_EQ(ParseDottedAddress("10.0.0.7"), (Ipv4Address{10, 0, 0, 7}));
}

}  // namespace
}  // namespace kestrel
