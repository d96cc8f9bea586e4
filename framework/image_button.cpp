#include "framework/image_button.h"

#include <commctrl.h>

#include <cstring>

#include "resources/resource.h"

namespace kestrel {
namespace {

Bitmap LoadFace(int id) {
    if (id == 0)
        return Bitmap();
    return Bitmap(::LoadBitmapA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id)));
}

} // namespace

CImageButton::~CImageButton() {
    // Before the members go, so that no late message draws with them.
    Detach();
}

void CImageButton::SetBitmaps(int normal, int pressed, int disabled) {
    images_.Reset();
    faces_ = {};
    const Bitmap normalFace = LoadFace(normal);
    if (!normalFace || ::GetObjectA(normalFace.Get(), sizeof face_, &face_) == 0)
        return;
    faceRect_ = {0, 0, face_.bmWidth, face_.bmHeight};
    ImageList list(::ImageList_Create(face_.bmWidth, face_.bmHeight, ILC_COLORDDB, 1, 2));
    if (!list)
        return;
    faces_.normal = ::ImageList_Add(list.Get(), normalFace.Get(), nullptr);
    if (faces_.normal < 0)
        return;
    // Each face keeps the index it got, so a face that fails to load takes
    // no other face's place.
    auto add = [&](int id) {
        const Bitmap face = LoadFace(id);
        return face ? ::ImageList_Add(list.Get(), face.Get(), nullptr) : -1;
    };
    faces_.pressed = add(pressed);
    faces_.disabled = add(disabled);
    images_ = std::move(list);
}

void CImageButton::SetCaptionFont(const char* faceName, int height) {
    LOGFONTA font{};
    font.lfHeight = height;
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    std::strncpy(font.lfFaceName, faceName, LF_FACESIZE - 1);
    font_.Reset(::CreateFontIndirectA(&font));
}

void CImageButton::SetTextOrigin(int x, int y) {
    captionX_ = x;
    captionY_ = y;
}

void CImageButton::SetTextColors(COLORREF normal, COLORREF disabled) {
    captionColour_ = normal;
    disabledCaptionColour_ = disabled;
}

bool CImageButton::Subclass(HWND dialog, int id) {
    if (!Attach(dialog, id))
        return false;
    ::SetWindowTextA(Handle(), caption_.c_str());
    return true;
}

void CImageButton::DrawItem(const DRAWITEMSTRUCT& item) {
    if (item.CtlType != ODT_BUTTON)
        return;
    HDC dc = item.hDC;
    RECT face = faceRect_;
    if (faces_.normal >= 0) {
        // The face's size whatever the template says; the place and the
        // tab order stay.
        RECT now{};
        ::GetWindowRect(item.hwndItem, &now);
        if (now.right - now.left != face_.bmWidth || now.bottom - now.top != face_.bmHeight) {
            ::SetWindowPos(item.hwndItem, nullptr, 0, 0, face_.bmWidth, face_.bmHeight,
                           SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    } else {
        face = item.rcItem; // no face: the frame fills the control
    }
    ::DrawFrameControl(dc, &face, DFC_BUTTON, DFCS_BUTTONPUSH);

    const FaceChoice choice = ChooseFace(faces_, (item.itemState & ODS_DISABLED) != 0,
                                         (item.itemState & ODS_SELECTED) != 0);
    if (choice.image >= 0) {
        IMAGELISTDRAWPARAMS draw{};
        draw.cbSize = sizeof draw;
        draw.himl = images_.Get();
        draw.i = choice.image;
        draw.hdcDst = dc;
        draw.cx = face_.bmWidth;
        draw.cy = face_.bmHeight;
        draw.rgbBk = CLR_DEFAULT;
        draw.rgbFg = CLR_DEFAULT;
        draw.fStyle = ILD_NORMAL;
        draw.dwRop = SRCCOPY;
        ::ImageList_DrawIndirect(&draw);
    }
    if (caption_.empty())
        return;
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, choice.caption == CaptionColour::Disabled ? disabledCaptionColour_
                       : choice.caption == CaptionColour::Normal ? captionColour_
                                                                 : RGB(0, 0, 0));
    SelectedObject useFont(dc, font_.Get());
    if (CaptionIsPlaced(captionX_, captionY_)) {
        ::TextOutA(dc, captionX_, captionY_, caption_.c_str(), static_cast<int>(caption_.size()));
    } else {
        ::DrawTextA(dc, caption_.c_str(), -1, &face, captionFormat_);
    }
}

LRESULT CImageButton::WindowProc(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case kReflectedDrawItem:
        DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(l));
        return TRUE;
    case WM_SETFOCUS:
    case WM_ENABLE: {
        const LRESULT result = CSubclassedControl::WindowProc(message, w, l);
        ::InvalidateRect(Handle(), nullptr, TRUE);
        return result;
    }
    case WM_LBUTTONDBLCLK:
        // Owner-drawn buttons report a second quick click as a double
        // click, which nobody handles; a push button presses again.
        return CSubclassedControl::WindowProc(WM_LBUTTONDOWN, w, l);
    case WM_GETDLGCODE: {
        // The dialog manager gives Enter to the default button and knows no
        // owner-drawn button as one: this button takes Enter itself while
        // it has the focus.
        const LRESULT code = CSubclassedControl::WindowProc(message, w, l);
        const MSG* key = reinterpret_cast<const MSG*>(l);
        if (key != nullptr && key->message == WM_KEYDOWN && key->wParam == VK_RETURN) {
            return code | DLGC_WANTMESSAGE;
        }
        return code;
    }
    case WM_KEYDOWN:
        if (w == VK_RETURN) {
            const bool repeat = (l & (LPARAM{1} << 30)) != 0;
            if (!repeat && ::IsWindowEnabled(Handle())) {
                ::SendMessageA(::GetParent(Handle()), WM_COMMAND,
                               MAKEWPARAM(::GetDlgCtrlID(Handle()), BN_CLICKED),
                               reinterpret_cast<LPARAM>(Handle()));
            }
            return 0;
        }
        break;
    default:
        break;
    }
    return CSubclassedControl::WindowProc(message, w, l);
}

bool SetUpImageButton(CImageButton& button, HWND dialog, int id, const char* caption, int x,
                      int y) {
    button.SetBitmaps(IDB_BUTTON_NORMAL, IDB_BUTTON_PRESSED, IDB_BUTTON_DISABLED);
    button.SetCaption(caption);
    button.SetCaptionFont("Arial", 15);
    button.SetTextOrigin(x, y);
    button.SetTextColors(RGB(40, 40, 40), RGB(129, 129, 129));
    return button.Subclass(dialog, id);
}

} // namespace kestrel
