// The program's push button: drawn from three face bitmaps (normal, held
// down, disabled) with a caption in a font and colours of its own. The
// control is owner-drawn in the dialog template and subclassed here.
#pragma once

#include <windows.h>

#include <string>

#include "framework/button_face.h"
#include "framework/gdi_object.h"
#include "framework/image_list.h"
#include "framework/subclassed_control.h"

namespace kestrel {

class CImageButton : public CSubclassedControl {
  public:
    CImageButton() = default;
    ~CImageButton() override;

    // Bitmap resource ids; 0 for pressed or disabled means none. Replaces
    // the faces of an earlier call.
    void SetBitmaps(int normal, int pressed, int disabled);
    void SetCaption(const std::string& text) { caption_ = text; }
    void SetCaptionFont(const char* faceName, int height);
    // The caption's top-left corner inside the button; -1 centres it.
    void SetTextOrigin(int x, int y);
    void SetTextColors(COLORREF normal, COLORREF disabled);
    // Subclasses control `id` of `dialog`; its window text becomes the
    // caption, for whoever reads buttons by their text.
    bool Subclass(HWND dialog, int id);

    void DrawItem(const DRAWITEMSTRUCT& item);

  protected:
    LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override;

  private:
    BITMAP face_{}; // of the normal face; only its size is used
    ImageList images_;
    FaceImages faces_;
    std::string caption_;
    RECT faceRect_{};
    COLORREF captionColour_ = RGB(255, 255, 255);
    COLORREF disabledCaptionColour_ = RGB(255, 255, 255);
    int captionX_ = kCaptionUnset;
    int captionY_ = kCaptionUnset;
    UINT captionFormat_ = DT_SINGLELINE | DT_CENTER | DT_VCENTER;
    Font font_;
};

// The set-up every push button of the program gets: the three faces
// (139-141), Arial 15, caption RGB(40,40,40) or RGB(129,129,129) when
// disabled, at (x, y); then the control is subclassed.
bool SetUpImageButton(CImageButton& button, HWND dialog, int id, const char* caption, int x, int y);

} // namespace kestrel
