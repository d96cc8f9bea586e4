// The white face with a thin black frame that the program's caption-less
// dialogs paint over their whole client area.
#pragma once

#include <windows.h>

namespace kestrel {

void PaintWhiteFrame(HDC dc, const RECT& rect);

}  // namespace kestrel
