#include "framework/frame_painting.h"

#include "framework/gdi_object.h"

namespace kestrel {

void PaintWhiteFrame(HDC dc, const RECT& rect) {
    Pen pen(::CreatePen(PS_SOLID, 1, RGB(0, 0, 0)));
    Brush brush(::CreateSolidBrush(RGB(255, 255, 255)));
    SelectedObject usePen(dc, pen.Get());
    SelectedObject useBrush(dc, brush.Get());
    ::Rectangle(dc, rect.left, rect.top, rect.right, rect.bottom);
}

}  // namespace kestrel
