#include "download/printer_address.h"

namespace kestrel {

std::optional<Ipv4Address> ParseDottedAddress(std::string_view text) {
    Ipv4Address address{};
    size_t at = 0;
    for (size_t part = 0; part < address.size(); ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != '.')
                return std::nullopt;
            ++at;
        }
        unsigned value = 0;
        size_t digits = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 3) {
            value = value * 10 + static_cast<unsigned>(text[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0 || value > 255)
            return std::nullopt;
        address[part] = static_cast<uint8_t>(value);
    }
    if (at != text.size())
        return std::nullopt;
    return address;
}

AddressVerdict JudgePrinterAddress(const Ipv4Address& address) {
    if (address == Ipv4Address{0, 0, 0, 0})
        return AddressVerdict::Unspecified;
    if (address == Ipv4Address{255, 255, 255, 255})
        return AddressVerdict::Broadcast;
    if (address[0] >= 224 && address[0] <= 239)
        return AddressVerdict::Multicast;
    return AddressVerdict::Usable;
}

AddressVerdict JudgePrinterAddress(std::string_view dotted) {
    const std::optional<Ipv4Address> address = ParseDottedAddress(dotted);
    if (!address)
        return AddressVerdict::NotAnAddress;
    return JudgePrinterAddress(*address);
}

} // namespace kestrel
