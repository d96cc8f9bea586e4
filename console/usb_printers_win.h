// The attached USB printers of a family, found as the settings dialog finds
// them, for --list-usb and --port usb:N.
#pragma once

#include <vector>

#include "config/settings_rules.h"

namespace kestrel {

// `silent` keeps discovery's own lines off standard output, where --json
// and --quiet promise nothing but their own lines.
std::vector<UsbPortEntry> FindFamilyUsbPrinters(int32_t printerType, bool silent);

} // namespace kestrel
