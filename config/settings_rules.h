// What the connection settings dialog shows for each connection kind, and
// what confirming it writes into the connection record. The dialog only
// moves these values to and from its controls.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/common/port_driver.h"

namespace kestrel {

// The radio group's order.
enum class ConnectionKind : int { Com = 0, Lpt = 1, Usb = 2, Ethernet = 3 };

// The kind the dialog opens on for a stored port name.
ConnectionKind KindForPortName(std::string_view portName);

// Labels, visibility and rows of the dialog's controls for one kind.
struct PortControlLayout {
    std::string portLabel;  // label 1023
    std::string baudLabel;  // label 1022
    bool addressFields = false;  // true: address and TCP port shown, port and baud lists hidden
    bool serialListsEnabled = false;  // the five lists after the port list
    std::vector<std::string> portRows;  // USB rows come from discovery instead
    std::vector<std::string> baudRows, dataBitRows, parityRows, stopBitRows, handshakeRows;
    int baudDefault = -1, dataBitDefault = -1, parityDefault = -1, stopBitDefault = -1,
        handshakeDefault = -1;
};
PortControlLayout LayoutFor(ConnectionKind kind);

// A USB printer found by discovery: its row label and device path.
struct UsbPortEntry {
    std::string label;
    std::string devicePath;
};
// "USB001:" for the first entry of the dialog's list, and so on; the
// numbering goes on across refills within one dialog.
std::string UsbPortLabel(size_t entriesAlready);

// The fields of the record the dialog works on (the rest are fixed values
// the Configuration command writes).
struct SettingsFields {
    std::string portName = "COM1";
    int32_t baudRate = 9600;
    int32_t dataBits = 8;
    int32_t stopBits = 0;
    int32_t parity = 0;
    int32_t handshake = 0;
    int32_t transferMode = 1;
};

// What the controls hold when OK is pressed.
struct DialogChoice {
    ConnectionKind kind = ConnectionKind::Com;
    int portRow = -1;  // -1: the user typed into the list
    std::string portRowText;
    // What the port field shows, when it differs from the chosen row's text
    // (typed over it); "" when it does not.
    std::string portFieldText;
    std::string baudRowText;  // "" when no row is chosen
    std::string dataBitRowText;
    int parityRow = -1, stopBitRow = -1, handshakeRow = -1;
    std::array<uint8_t, 4> address{};
    uint32_t tcpPort = 0;
};

enum class ReadBackResult {
    Accepted,
    InvalidPortName,  // no row chosen: the dialog ends as cancelled
    UnusableAddress,  // the dialog stays open for another address
    UnknownUsbPort,   // a USB label no printer found has: the dialog stays open
};

// Fills `fields` from the dialog's choice. On a refusal nothing is written.
ReadBackResult ReadBackSettings(const DialogChoice& choice, const std::vector<UsbPortEntry>& usb,
                                SettingsFields& fields);

// The connection the main window keeps: the port name's storage and the
// record that points at it. Starts fully defined (a COM1 record at 9600 8N1,
// DTR/DSR, and the fixed driver values), so no field is ever unset.
class StoredConnection {
public:
    StoredConnection();
    const std::string& PortName() const { return fields_.portName; }
    const SettingsFields& Fields() const { return fields_; }
    // The record with portName pointing into this object; valid while it lives
    // and is not changed.
    ConnectionSettings Record() const;
    // What the Configuration command writes when the dialog is confirmed.
    void ApplyConfirmed(const SettingsFields& fields);

private:
    SettingsFields fields_;
    ConnectionSettings record_{};
};

// The message shown for a port list the user typed into.
inline constexpr const char* kInvalidPortNameMessage = "Invalid Port Name!";
inline constexpr const char* kNoUsbPrinterMessage = "Not Connect USB Printer";
// Our wording for a USB port label that names no printer found.
std::string UnknownUsbPortMessage(const std::string& label);
// Our wording for a TCP port field that does not hold a port number.
inline constexpr const char* kInvalidTcpPortMessage = "Please enter a TCP port number from 0 to 65535.";
inline constexpr uint32_t kMaxTcpPort = 65535;
// Our wording for an Ethernet address that cannot be a printer.
inline constexpr const char* kUnusableAddressMessage =
    "Please enter the printer's IP address. 0.0.0.0, 255.255.255.255 and multicast addresses "
    "(224.0.0.0 to 239.255.255.255) cannot be a printer.";

}  // namespace kestrel
