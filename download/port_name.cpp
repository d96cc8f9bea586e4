#include "download/port_name.h"

namespace kestrel {

PortKind ClassifyPortName(std::string_view name) {
    // A backslash name is a USB device path, except a serial port in the
    // device namespace ("\\.\COM10" and up can only be opened that way):
    // the usb library would open it as well, but would never set its baud
    // rate or its handshake, so the serial library takes it.
    if (name.starts_with("COM") || name.starts_with("\\\\.\\COM")) return PortKind::Serial;
    if (name.starts_with("LPT")) return PortKind::Parallel;
    if (name.starts_with('\\')) return PortKind::Usb;
    return PortKind::Network;
}

DriverKind DriverForPort(PortKind kind) {
    switch (kind) {
    case PortKind::Serial: return DriverKind::Com;
    case PortKind::Parallel: return DriverKind::Lpt;
    case PortKind::Usb:
    case PortKind::Network: break;
    }
    return DriverKind::Usb;
}

const char* DriverFileName(DriverKind kind) {
    switch (kind) {
    case DriverKind::Com: return "com.dll";
    case DriverKind::Lpt: return "lpt.dll";
    case DriverKind::Usb: break;
    }
    return "usb.dll";
}

}  // namespace kestrel
