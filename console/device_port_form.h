// Which printer a port given on Linux names: a device path (its kind read
// off the path, or forced with a prefix) or ADDRESS:TCPPORT. Decided from
// the text alone, so that a script's mistake is refused before anything is
// opened; whether the path is really a tty is the port's own business.
#pragma once

#include <string>

#include "console/command_line.h"

namespace kestrel {

// Fills `target` from one item of --port as given on Linux; returns the
// complaint otherwise. Windows names (COM3, LPT1) are refused with the
// Linux forms named.
std::string ReadDevicePort(const std::string& item, PortTarget& target);

// "usb:N" (the Nth printer of the family) and ADDRESS:TCPPORT, the same on
// every system.
std::string ReadUsbIndex(const std::string& item, PortTarget& target);
std::string ReadNetworkPort(const std::string& item, PortTarget& target);

// Why a port of this kind cannot be flashed from Linux yet; empty when it can.
std::string UnsupportedOnLinux(const PortTarget& target);

} // namespace kestrel
