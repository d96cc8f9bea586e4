#include "config/model_picture.h"

#include "resources/resource.h"

namespace kestrel {

int PictureForPrinterType(int32_t typeCode) {
    switch (typeCode) {
    case 200: return IDB_PRINTER_TQ110;
    case 203:
    case 352: return IDB_PRINTER_TQ140;
    case 300: return IDB_PRINTER_TQ120;
    case 350: return IDB_PRINTER_TQ140F;
    default: break;
    }
    // 100 and 101, and the default family before a model is chosen.
    return IDB_PRINTER_TQ130;
}

}  // namespace kestrel
