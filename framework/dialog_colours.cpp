#include "framework/dialog_colours.h"

#include "framework/gdi_object.h"

namespace kestrel {

HBRUSH DialogBackgroundBrush() {
    // A function-local static: made on first use, deleted at process exit.
    static const Brush brush(::CreateSolidBrush(kDialogBackground));
    return brush.Get();
}

HBRUSH DefaultControlColour(HDC dc, UINT message) {
    switch (message) {
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORMSGBOX:
        ::SetTextColor(dc, kDialogText);
        ::SetBkColor(dc, kDialogBackground);
        return DialogBackgroundBrush();
    default:
        return nullptr;
    }
}

}  // namespace kestrel
