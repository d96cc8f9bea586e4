// Which attached USB printers belong to the chosen family, as portable code:
// the table from USB ids to printer type codes and the walk over the
// system's USB device interfaces. The Windows side (usb_interfaces_win.h)
// only enumerates, opens and reads the registry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings_rules.h"

namespace kestrel {

inline constexpr int32_t kNoUsbTypeCode = -1;

// The type code named by the vendor and product ids in a device interface
// path, where the system writes them in lower case ("vid_7a31&pid_0006").
int32_t UsbTypeCodeFromPath(std::string_view path);
// The same table in upper case, for the registry's "DeviceInstance" value
// on the Windows 95 family.
int32_t UsbTypeCodeFromDeviceInstance(std::string_view deviceInstance);

// Whether a GetVersion() value is of the Windows 95/98/Me family.
bool IsWindows9xVersion(uint32_t version);

// One index of the system's list of USB device interfaces.
struct UsbInterfaceProbe {
    enum class Result {
        Opened,      // the device could be opened (and was closed again)
        NotOpened,   // present, but its detail or the device would not open
        EnumFailed,  // the system could not enumerate this index
        NoMoreItems, // past the last interface
    };
    Result result = Result::NoMoreItems;
    std::string devicePath; // any length
};

class IUsbInterfaces {
  public:
    virtual ~IUsbInterfaces() = default;
    virtual UsbInterfaceProbe OpenAt(uint32_t index) = 0;
    // The interface's type code as the system family reads it; for the
    // registry form, kNoUsbTypeCode unless it is `wanted`.
    virtual int32_t TypeCodeOf(const std::string& devicePath, int32_t wanted) = 0;
};

// Walks every interface until there are no more, and returns an entry for
// each openable printer of `printerType`, labelled on from
// `entriesAlready` (a refill in one dialog numbers on).
std::vector<UsbPortEntry> FindUsbPrinterEntries(IUsbInterfaces& interfaces, int32_t printerType,
                                                size_t entriesAlready);

// Never reached on a real machine; only bounds the walk against an
// enumerator that keeps failing without ever reporting the end.
inline constexpr uint32_t kMostUsbInterfaces = 4096;

} // namespace kestrel
