#include "console/device_port_form.h"

#include <cctype>
#include <cstdio>
#include <optional>

#include "download/printer_address.h"
#include "framework/number_text.h"

namespace kestrel {
namespace {

constexpr const char* kLinuxForms =
    "a tty path (/dev/ttyS0, /dev/ttyUSB0), /dev/usb/lpN, /dev/lpN, usb:N, "
    "serial:PATH, usb:PATH, parallel:PATH or ADDRESS:TCPPORT";

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

bool IsWindowsName(const std::string& item) {
    std::string upper;
    for (char c : item)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const char* prefix : {"COM", "LPT", "\\\\.\\COM"}) {
        if (!StartsWith(upper, prefix))
            continue;
        const std::string rest = upper.substr(std::string(prefix).size());
        if (!rest.empty() && ParseUnsignedText(rest, 999))
            return true;
    }
    return !item.empty() && item[0] == '\\';
}

// A forced kind: "serial:PATH", "usb:PATH", "parallel:PATH".
bool ReadForced(const std::string& item, PortTarget& target) {
    static const struct {
        const char* prefix;
        PortKind kind;
    } forced[] = {{"serial:", PortKind::Serial},
                  {"usb:", PortKind::Usb},
                  {"parallel:", PortKind::Parallel}};
    for (const auto& f : forced) {
        if (StartsWith(item, f.prefix) && item.size() > std::string(f.prefix).size() &&
            item[std::string(f.prefix).size()] == '/') {
            target.kind = f.kind;
            target.portName = item.substr(std::string(f.prefix).size());
            return true;
        }
    }
    return false;
}

} // namespace

std::string ReadUsbIndex(const std::string& item, PortTarget& target) {
    const auto n = ParseUnsignedText(item.substr(4), 999);
    if (!n || *n == 0)
        return "--port: " + item + " must be usb:N with N from 1 (the Nth printer found)";
    target.kind = PortKind::Usb;
    target.usbIndex = static_cast<int>(*n);
    return {};
}

std::string ReadNetworkPort(const std::string& item, PortTarget& target) {
    const size_t colon = item.rfind(':');
    const std::optional<Ipv4Address> address = ParseDottedAddress(item.substr(0, colon));
    if (!address || JudgePrinterAddress(*address) != AddressVerdict::Usable)
        return "--port: " + item.substr(0, colon) +
               " is not a printer's IPv4 address (four numbers 0-255; not 0.0.0.0, "
               "255.255.255.255 or multicast)";
    const auto tcpPort = ParseUnsignedText(item.substr(colon + 1), 65535);
    if (!tcpPort || *tcpPort == 0)
        return "--port: the TCP port of " + item + " must be a number from 1 to 65535";
    target.kind = PortKind::Network;
    char dotted[16];
    std::snprintf(dotted, sizeof dotted, "%u.%u.%u.%u", (*address)[0], (*address)[1], (*address)[2],
                  (*address)[3]);
    target.portName = dotted;
    target.tcpPort = static_cast<uint16_t>(*tcpPort);
    return {};
}

std::string ReadDevicePort(const std::string& item, PortTarget& target) {
    target = PortTarget{};
    target.given = item;
    if (IsWindowsName(item))
        return "--port: " + item + " is a Windows port name; on Linux use " + kLinuxForms;
    if (ReadForced(item, target))
        return {};
    if (StartsWith(item, "usb:"))
        return ReadUsbIndex(item, target);
    if (item[0] == '/') {
        // The kernel's own names say the kind; any other path is a tty.
        target.kind = StartsWith(item, "/dev/usb/lp") ? PortKind::Usb
                      : StartsWith(item, "/dev/lp")   ? PortKind::Parallel
                                                      : PortKind::Serial;
        target.portName = item;
        return {};
    }
    if (item.find(':') == std::string::npos)
        return "--port: " + item + " is not a port; use " + kLinuxForms;
    return ReadNetworkPort(item, target);
}

std::string UnsupportedOnLinux(const PortTarget& target) {
    if (target.kind == PortKind::Usb)
        return "--port: " + target.given + ": USB printers are not yet supported on Linux";
    return {};
}

} // namespace kestrel
