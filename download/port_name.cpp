#include "download/port_name.h"

namespace kestrel {

PortKind ClassifyPortName(std::string_view name) {
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
