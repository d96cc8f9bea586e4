#include "config/usb_discovery.h"

namespace kestrel {
namespace {

struct UsbIdentity {
    const char* product;
    int32_t typeCode;
};

// First product present wins, in this order (a path naming two products of
// this vendor takes the earlier row).
constexpr UsbIdentity kMainVendorProducts[] = {
    {"pid_0002", 200}, {"pid_0001", 100}, {"pid_0004", 101}, {"pid_0006", 203}, {"pid_000b", 352},
};
constexpr const char* kMainVendor = "vid_7a31";
constexpr const char* kOtherVendor = "vid_6c02";
constexpr const char* kOtherVendorProduct = "pid_4010";
constexpr int32_t kOtherVendorTypeCode = 300;

std::string Upper(const char* text) {
    std::string s(text);
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// The searches are case-sensitive: each form of the text is tested with the
// case the system writes it in.
int32_t TypeCodeFromIds(std::string_view text, bool upperCase) {
    auto has = [&](const char* lower) {
        const std::string needle = upperCase ? Upper(lower) : std::string(lower);
        return text.find(needle) != std::string_view::npos;
    };
    if (has(kMainVendor)) {
        for (const UsbIdentity& id : kMainVendorProducts)
            if (has(id.product))
                return id.typeCode;
        return kNoUsbTypeCode;
    }
    if (has(kOtherVendor) && has(kOtherVendorProduct))
        return kOtherVendorTypeCode;
    return kNoUsbTypeCode;
}

} // namespace

int32_t UsbTypeCodeFromPath(std::string_view path) {
    return TypeCodeFromIds(path, false);
}

int32_t UsbTypeCodeFromDeviceInstance(std::string_view deviceInstance) {
    return TypeCodeFromIds(deviceInstance, true);
}

bool IsWindows9xVersion(uint32_t version) {
    const bool notNt = (version & 0x80000000u) != 0;
    const uint32_t major = version & 0xFFu;
    return notNt && major >= 4;
}

std::vector<UsbPortEntry> FindUsbPrinterEntries(IUsbInterfaces& interfaces, int32_t printerType,
                                                size_t entriesAlready) {
    std::vector<UsbPortEntry> found;
    if (printerType == kNoUsbTypeCode)
        return found;
    // Every interface, not only those up to the first window in which
    // something opened: a hub or keyboard at a low index must not hide a
    // printer further on.
    for (uint32_t index = 0; index < kMostUsbInterfaces; ++index) {
        const UsbInterfaceProbe probe = interfaces.OpenAt(index);
        if (probe.result == UsbInterfaceProbe::Result::NoMoreItems)
            break;
        if (probe.result != UsbInterfaceProbe::Result::Opened)
            continue;
        if (interfaces.TypeCodeOf(probe.devicePath, printerType) != printerType)
            continue;
        found.push_back({UsbPortLabel(entriesAlready + found.size()), probe.devicePath});
    }
    return found;
}

} // namespace kestrel
