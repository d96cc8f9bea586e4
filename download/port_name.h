// How a port name chooses its connection. One rule, used by the engine, the
// loader and the spooler hand-off alike.
#pragma once

#include <string_view>

namespace kestrel {

enum class PortKind { Serial, Parallel, Usb, Network };

// The three driver libraries the program carries.
enum class DriverKind { Com, Lpt, Usb };

// "COM..." and "\\.\COM..." are serial (the settings dialog offers COM10 and
// above in the second form, and they need the serial driver's line
// settings); "LPT..." is parallel; any other name that starts with a
// backslash is a USB device path; anything else is a network address.
// Comparisons are case-sensitive.
PortKind ClassifyPortName(std::string_view name);

// The library a connection writes to disk. A network download still writes
// (and deletes) the usb library without loading it.
DriverKind DriverForPort(PortKind kind);

// "com.dll", "lpt.dll", "usb.dll".
const char* DriverFileName(DriverKind kind);

// Whether the port can be held by a spooler printer.
inline bool IsSpoolerPort(PortKind kind) {
    return kind == PortKind::Serial || kind == PortKind::Parallel;
}

}  // namespace kestrel
