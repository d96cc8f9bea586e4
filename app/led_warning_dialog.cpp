#include "app/led_warning_dialog.h"

#include "framework/frame_painting.h"
#include "resources/resource.h"

namespace kestrel {

CLedWarningDialog::CLedWarningDialog() : CDialog(IDD_LED_WARNING) {}

bool CLedWarningDialog::OnInitDialog() {
    SetUpImageButton(okButton_, Handle(), IDC_LED_OK, "OK", 42, 3);
    return true;
}

bool CLedWarningDialog::OnCommand(int id, int notifyCode, HWND control) {
    if (id == IDC_LED_OK && notifyCode == BN_CLICKED) {
        EndDialog(IDOK);
        return true;
    }
    return CDialog::OnCommand(id, notifyCode, control);
}

bool CLedWarningDialog::OnPaint(HDC dc) {
    RECT client{};
    ::GetClientRect(Handle(), &client);
    PaintWhiteFrame(dc, client);
    return true;
}

}  // namespace kestrel
