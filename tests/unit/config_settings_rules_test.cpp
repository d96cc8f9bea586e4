#include "config/settings_rules.h"
#include "download/printer_address.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrel {
namespace {

TEST(SettingsKind, OpensOnTheKindOfTheStoredPort) {
    struct Case {
        const char* port;
        ConnectionKind kind;
    } cases[] = {
        {"COM1", ConnectionKind::Com},
        {"\\\\.\\COM15", ConnectionKind::Com},
        {"LPT2", ConnectionKind::Lpt},
        {"\\\\?\\usb#vid_7a31&pid_0006#0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}",
         ConnectionKind::Usb},
        {"192.168.0.10", ConnectionKind::Ethernet},
        {"com1", ConnectionKind::Ethernet},  // case-sensitive
        {"", ConnectionKind::Ethernet},
    };
    for (const Case& c : cases) EXPECT_EQ(KindForPortName(c.port), c.kind) << c.port;
}

TEST(SettingsLayout, ComOffersTwentyPortsAndSerialDefaults) {
    const PortControlLayout com = LayoutFor(ConnectionKind::Com);
    ASSERT_EQ(com.portRows.size(), 20u);
    EXPECT_EQ(com.portRows.front(), "COM1");
    EXPECT_EQ(com.portRows[8], "COM9");
    EXPECT_EQ(com.portRows[9], "\\\\.\\COM10");
    EXPECT_EQ(com.portRows.back(), "\\\\.\\COM20");
    // Every port row the dialog offers must reach the serial driver.
    for (const std::string& row : com.portRows) {
        EXPECT_EQ(KindForPortName(row), ConnectionKind::Com) << row;
    }
    EXPECT_EQ(com.baudRows.at(com.baudDefault), "9600");
    EXPECT_EQ(com.handshakeRows, (std::vector<std::string>{"DTR/DSR", "XON/XOFF"}));
    EXPECT_TRUE(com.serialListsEnabled);
    EXPECT_FALSE(com.addressFields);
    EXPECT_EQ(com.baudLabel, "Baudrate");
}

TEST(SettingsLayout, OtherKindsHaveNoSerialRows) {
    for (ConnectionKind kind : {ConnectionKind::Lpt, ConnectionKind::Usb, ConnectionKind::Ethernet}) {
        const PortControlLayout layout = LayoutFor(kind);
        EXPECT_FALSE(layout.serialListsEnabled);
        EXPECT_TRUE(layout.baudRows.empty() && layout.dataBitRows.empty() &&
                    layout.parityRows.empty() && layout.stopBitRows.empty() &&
                    layout.handshakeRows.empty());
    }
    EXPECT_EQ(LayoutFor(ConnectionKind::Lpt).portRows,
              (std::vector<std::string>{"LPT1", "LPT2", "LPT3"}));
    EXPECT_TRUE(LayoutFor(ConnectionKind::Usb).portRows.empty());
    const PortControlLayout ethernet = LayoutFor(ConnectionKind::Ethernet);
    EXPECT_TRUE(ethernet.addressFields);
    EXPECT_EQ(ethernet.portLabel, "IP");
    EXPECT_EQ(ethernet.baudLabel, "PORT");
}

TEST(SettingsUsbLabel, NumbersOnFromTheEntriesAlreadyFound) {
    EXPECT_EQ(UsbPortLabel(0), "USB001:");
    EXPECT_EQ(UsbPortLabel(1), "USB002:");
    EXPECT_EQ(UsbPortLabel(99), "USB100:");
    EXPECT_EQ(UsbPortLabel(999), "USB1000:");
}

// A choice as the COM lists open, untouched.
DialogChoice ComDefaults() {
    DialogChoice c;
    c.kind = ConnectionKind::Com;
    c.portRow = 0;
    c.portRowText = "COM1";
    c.baudRowText = "9600";
    c.dataBitRowText = "8";
    c.parityRow = 0;
    c.stopBitRow = 0;
    c.handshakeRow = 0;
    return c;
}

TEST(SettingsReadBack, WritesEachKindsFields) {
    SettingsFields before;
    before.portName = "old";
    before.baudRate = 1;
    before.dataBits = 2;
    before.stopBits = 3;
    before.parity = 1;
    before.handshake = 4;
    before.transferMode = 7;

    struct Case {
        const char* name;
        DialogChoice choice;
        SettingsFields expected;
    };
    DialogChoice xon = ComDefaults();
    xon.handshakeRow = 1;
    xon.parityRow = 2;
    xon.portRow = 14;
    xon.portRowText = "\\\\.\\COM15";
    xon.baudRowText = "115200";

    DialogChoice lpt;
    lpt.kind = ConnectionKind::Lpt;
    lpt.portRow = 1;
    lpt.portRowText = "LPT2";

    DialogChoice ethernet;
    ethernet.kind = ConnectionKind::Ethernet;
    ethernet.address = {10, 0, 0, 7};
    ethernet.tcpPort = 9100;


    DialogChoice usb;
    usb.kind = ConnectionKind::Usb;
    usb.portRow = 1;
    usb.portRowText = "USB002:";

    const Case cases[] = {
        {"com untouched", ComDefaults(), {"COM1", 9600, 8, 0, 0, 0, 7}},
        {"com xon even", xon, {"\\\\.\\COM15", 115200, 8, 0, 2, 1, 7}},
        // Parallel: empty serial lists read as 0 and -1; parity is kept.
        {"lpt", lpt, {"LPT2", 0, 0, -1, 1, -1, 7}},
        {"usb", usb, {"\\\\?\\usb#two", 0, 0, -1, 1, -1, 7}},
        // Ethernet: address and port only.
        {"ethernet", ethernet, {"10.0.0.7", 9100, 2, 3, 1, 4, 7}},
    };
    const std::vector<UsbPortEntry> found = {{"USB001:", "\\\\?\\usb#one"},
                                             {"USB002:", "\\\\?\\usb#two"}};
    for (const Case& c : cases) {
        SettingsFields fields = before;
        ASSERT_EQ(ReadBackSettings(c.choice, found, fields), ReadBackResult::Accepted) << c.name;
        EXPECT_EQ(fields.portName, c.expected.portName) << c.name;
        EXPECT_EQ(fields.baudRate, c.expected.baudRate) << c.name;
        EXPECT_EQ(fields.dataBits, c.expected.dataBits) << c.name;
        EXPECT_EQ(fields.stopBits, c.expected.stopBits) << c.name;
        EXPECT_EQ(fields.parity, c.expected.parity) << c.name;
        EXPECT_EQ(fields.handshake, c.expected.handshake) << c.name;
        EXPECT_EQ(fields.transferMode, 7) << c.name;
    }
}

TEST(SettingsReadBack, AddressThatCannotBeAPrinterIsRefusedAndWritesNothing) {
    // The first is what an address control left empty reads as.
    const Ipv4Address refused[] = {{0, 0, 0, 0}, {255, 255, 255, 255}, {224, 0, 0, 1},
                                   {239, 1, 2, 3}};
    for (const Ipv4Address& address : refused) {
        DialogChoice choice;
        choice.kind = ConnectionKind::Ethernet;
        choice.address = address;
        choice.tcpPort = 9100;
        SettingsFields fields;
        EXPECT_EQ(ReadBackSettings(choice, {}, fields), ReadBackResult::UnusableAddress)
            << int(address[0]);
        EXPECT_EQ(fields.portName, "COM1");
        EXPECT_EQ(fields.baudRate, 9600);
    }
}

TEST(SettingsReadBack, TypedPortNameIsRefusedAndWritesNothing) {
    for (ConnectionKind kind : {ConnectionKind::Com, ConnectionKind::Lpt, ConnectionKind::Usb}) {
        DialogChoice typed = ComDefaults();
        typed.kind = kind;
        typed.portRow = -1;
        typed.portRowText = "COM7";
        SettingsFields fields;
        fields.portName = "LPT1";
        fields.baudRate = 1234;
        EXPECT_EQ(ReadBackSettings(typed, {}, fields), ReadBackResult::InvalidPortName);
        EXPECT_EQ(fields.portName, "LPT1");
        EXPECT_EQ(fields.baudRate, 1234);
    }
}

TEST(SettingsReadBack, UsbLabelNoPrinterHasIsRefusedAndWritesNothing) {
    const std::vector<UsbPortEntry> found = {{"USB001:", "\\\\?\\usb#one"}};
    DialogChoice chosen;
    chosen.kind = ConnectionKind::Usb;
    chosen.portRow = 0;
    chosen.portRowText = "USB001:";
    DialogChoice unknownRow = chosen;  // a row discovery did not make
    unknownRow.portRowText = "USB009:";
    DialogChoice typedOver = chosen;  // the row chosen, then another label typed over it
    typedOver.portFieldText = "USB005:";
    for (const DialogChoice& choice : {unknownRow, typedOver}) {
        SettingsFields fields;
        fields.portName = "COM3";
        fields.baudRate = 1234;
        EXPECT_EQ(ReadBackSettings(choice, found, fields), ReadBackResult::UnknownUsbPort);
        EXPECT_EQ(fields.portName, "COM3");
        EXPECT_EQ(fields.baudRate, 1234);
    }
    SettingsFields fields;
    EXPECT_EQ(ReadBackSettings(chosen, found, fields), ReadBackResult::Accepted);
    EXPECT_EQ(fields.portName, "\\\\?\\usb#one");
}

TEST(StoredConnectionTest, StartsAsAConfirmedComOneRecord) {
    StoredConnection stored;
    const ConnectionSettings r = stored.Record();
    EXPECT_STREQ(r.portName, "COM1");
    EXPECT_EQ(r.baudRate, 9600);
    EXPECT_EQ(r.dataBits, 8);
    EXPECT_EQ(r.stopBits, 0);
    EXPECT_EQ(r.parity, 0);
    EXPECT_EQ(r.handshake, 0);
    EXPECT_EQ(r.transferMode, 1);
    EXPECT_EQ(r.inputBufferSize, 8192);
}

TEST(StoredConnectionTest, ConfirmingWritesTheFixedDriverValues) {
    StoredConnection stored;
    SettingsFields lpt{"LPT1", 0, 0, -1, 0, -1, 1};
    stored.ApplyConfirmed(lpt);
    const ConnectionSettings r = stored.Record();
    EXPECT_STREQ(r.portName, "LPT1");
    const int32_t got[] = {r.baudRate, r.dataBits, r.stopBits, r.parity, r.handshake,
                           r.readIntervalTimeout, r.readTotalTimeoutMultiplier,
                           r.readTotalTimeoutConstant, r.writeTotalTimeoutMultiplier,
                           r.writeTotalTimeoutConstant, r.inputBufferSize, r.outputBufferSize,
                           r.transferMode, r.writeMode, r.writeTimeout, r.readTimeout,
                           r.reserved};
    const int32_t want[] = {0, 0, -1, 0, -1, 10, 10, 10, 0, 0, 8192, 4096, 1, 0, 3000, 0, 0};
    for (size_t i = 0; i < std::size(want); ++i) EXPECT_EQ(got[i], want[i]) << "field " << i + 2;

    // The record's name points into the stored object, not at a temporary.
    SettingsFields network{"10.0.0.7", 9100, 8, 0, 0, 0, 1};
    stored.ApplyConfirmed(network);
    EXPECT_STREQ(stored.Record().portName, "10.0.0.7");
    EXPECT_EQ(stored.Record().baudRate, 9100);
}

}  // namespace
}  // namespace kestrel
