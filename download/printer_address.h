// Which IPv4 addresses can be a printer. An empty address control reads as
// 0.0.0.0, which some systems (Wine among them) connect to the local
// machine; broadcast and multicast addresses reach no single device. Both
// the settings dialog and the engine refuse them, so that firmware never
// goes to something that is not the printer.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrel {

enum class AddressVerdict {
    Usable,
    NotAnAddress, // not four dotted decimal parts of 0 to 255
    Unspecified,  // 0.0.0.0
    Broadcast,    // 255.255.255.255
    Multicast,    // 224.0.0.0 to 239.255.255.255
};

using Ipv4Address = std::array<uint8_t, 4>;

// Exactly "a.b.c.d": four decimal parts of at most three digits, no blanks.
std::optional<Ipv4Address> ParseDottedAddress(std::string_view text);

AddressVerdict JudgePrinterAddress(const Ipv4Address& address);
AddressVerdict JudgePrinterAddress(std::string_view dotted);

} // namespace kestrel
