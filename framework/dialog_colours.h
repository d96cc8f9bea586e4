// The colours every dialog of the program uses unless it says otherwise:
// white background, dark grey text.
#pragma once

#include <windows.h>

namespace kestrel {

inline constexpr COLORREF kDialogBackground = RGB(255, 255, 255);
inline constexpr COLORREF kDialogText = RGB(80, 80, 80);

// Colours a WM_CTLCOLOR* request the way the program does by default:
// dialogs, labels, buttons and message boxes get the program's colours;
// edit fields and lists keep the system's. Returns the brush to hand back,
// or NULL for "let the system decide".
HBRUSH DefaultControlColour(HDC dc, UINT message);

// The program-wide background brush; lives until the process ends.
HBRUSH DialogBackgroundBrush();

}  // namespace kestrel
