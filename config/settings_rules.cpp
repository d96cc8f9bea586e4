#include "config/settings_rules.h"

#include <cstdio>

#include "framework/number_text.h"
#include "download/port_name.h"
#include "download/printer_address.h"

namespace kestrel {

ConnectionKind KindForPortName(std::string_view portName) {
    switch (ClassifyPortName(portName)) {
    case PortKind::Serial: return ConnectionKind::Com;
    case PortKind::Parallel: return ConnectionKind::Lpt;
    case PortKind::Usb: return ConnectionKind::Usb;
    case PortKind::Network: break;
    }
    return ConnectionKind::Ethernet;
}

PortControlLayout LayoutFor(ConnectionKind kind) {
    PortControlLayout layout;
    if (kind == ConnectionKind::Ethernet) {
        layout.portLabel = "IP";
        layout.baudLabel = "PORT";
        layout.addressFields = true;
        return layout;
    }
    layout.portLabel = "Port";
    layout.baudLabel = "Baudrate";
    if (kind == ConnectionKind::Lpt) {
        layout.portRows = {"LPT1", "LPT2", "LPT3"};
        return layout;
    }
    if (kind == ConnectionKind::Usb) return layout;

    for (int n = 1; n <= 9; ++n) layout.portRows.push_back("COM" + std::to_string(n));
    // Ten and above only open in the device namespace form.
    for (int n = 10; n <= 20; ++n) layout.portRows.push_back("\\\\.\\COM" + std::to_string(n));
    layout.serialListsEnabled = true;
    layout.baudRows = {"2400", "4800", "9600", "19200", "38400", "57600", "115200"};
    layout.baudDefault = 2;
    layout.dataBitRows = {"8"};
    layout.dataBitDefault = 0;
    layout.parityRows = {"NONE", "ODD", "EVEN"};
    layout.parityDefault = 0;
    layout.stopBitRows = {"1"};
    layout.stopBitDefault = 0;
    layout.handshakeRows = {"DTR/DSR", "XON/XOFF"};
    layout.handshakeDefault = 0;
    return layout;
}

std::string UsbPortLabel(size_t entriesAlready) {
    char label[32];
    std::snprintf(label, sizeof label, "USB%03zu:", entriesAlready + 1);
    return label;
}

std::string UnknownUsbPortMessage(const std::string& label) {
    return "\"" + label + "\" is not a USB printer that was found. Choose a port from the list.";
}

ReadBackResult ReadBackSettings(const DialogChoice& choice, const std::vector<UsbPortEntry>& usb,
                                SettingsFields& fields) {
    if (choice.kind == ConnectionKind::Ethernet) {
        if (JudgePrinterAddress(choice.address) != AddressVerdict::Usable)
            return ReadBackResult::UnusableAddress;
        char address[32];
        std::snprintf(address, sizeof address, "%d.%d.%d.%d", choice.address[0],
                      choice.address[1], choice.address[2], choice.address[3]);
        fields.portName = address;
        fields.baudRate = static_cast<int32_t>(choice.tcpPort);
        return ReadBackResult::Accepted;
    }
    if (choice.portRow < 0) return ReadBackResult::InvalidPortName;

    if (choice.kind == ConnectionKind::Usb) {
        // The label the user sees is the one meant; keeping the earlier port
        // instead would send the firmware somewhere the user did not choose.
        const std::string& label =
            choice.portFieldText.empty() ? choice.portRowText : choice.portFieldText;
        const UsbPortEntry* chosen = nullptr;
        for (const UsbPortEntry& entry : usb) {
            if (entry.label == label) {
                chosen = &entry;
                break;
            }
        }
        if (chosen == nullptr) return ReadBackResult::UnknownUsbPort;
        fields.portName = chosen->devicePath;
    } else {
        fields.portName = choice.portRowText;
    }
    fields.baudRate = LeadingNumber(choice.baudRowText);
    fields.dataBits = LeadingNumber(choice.dataBitRowText);
    if (choice.parityRow >= 0) fields.parity = choice.parityRow;
    fields.handshake = choice.handshakeRow;
    fields.stopBits = choice.stopBitRow;
    return ReadBackResult::Accepted;
}

StoredConnection::StoredConnection() { ApplyConfirmed(fields_); }

void StoredConnection::ApplyConfirmed(const SettingsFields& fields) {
    fields_ = fields;
    record_ = ConnectionSettings{};
    record_.baudRate = fields_.baudRate;
    record_.dataBits = fields_.dataBits;
    record_.stopBits = fields_.stopBits;
    record_.parity = fields_.parity;
    record_.handshake = fields_.handshake;
    record_.readIntervalTimeout = 10;
    record_.readTotalTimeoutMultiplier = 10;
    record_.readTotalTimeoutConstant = 10;
    record_.writeTotalTimeoutMultiplier = 0;
    record_.writeTotalTimeoutConstant = 0;
    record_.inputBufferSize = 8192;
    record_.outputBufferSize = 4096;
    record_.transferMode = fields_.transferMode;
    record_.writeMode = 0;
    record_.writeTimeout = 3000;
    record_.readTimeout = 0;
    record_.reserved = 0;
}

ConnectionSettings StoredConnection::Record() const {
    ConnectionSettings record = record_;
    record.portName = fields_.portName.c_str();
    return record;
}

}  // namespace kestrel
