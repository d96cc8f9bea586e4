// The notice at the end of a download that asks the user to watch the
// printer's LED until the flash has been written.
#pragma once

#include "framework/image_button.h"
#include "framework/dialog.h"

namespace kestrel {

class CLedWarningDialog : public CDialog {
public:
    CLedWarningDialog();

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int notifyCode, HWND control) override;
    bool OnPaint(HDC dc) override;

private:
    CImageButton okButton_;
};

}  // namespace kestrel
