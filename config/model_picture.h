// Which printer picture the main window shows for a family.
#pragma once

#include <cstdint>

namespace kestrel {

// A bitmap resource id from resources/resource.h.
int PictureForPrinterType(int32_t typeCode);

}  // namespace kestrel
