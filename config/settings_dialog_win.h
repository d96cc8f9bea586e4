// The connection settings dialog: the user picks COM, LPT, USB or Ethernet
// and its parameters. The rules for what ends up in the record live in
// settings_rules.h; this class only moves values to and from controls.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/image_button.h"
#include "config/settings_rules.h"
#include "framework/dialog.h"
#include "framework/gdi_object.h"

namespace kestrel {

class CSettingsDialog : public CDialog {
public:
    CSettingsDialog(const SettingsFields& fields, int32_t printerType);

    // The working copy; the caller takes it after IDOK.
    const SettingsFields& Fields() const { return fields_; }
    ConnectionKind Kind() const { return static_cast<ConnectionKind>(kind_); }
    const std::vector<UsbPortEntry>& UsbPorts() const { return usbPorts_; }

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int notifyCode, HWND control) override;
    // Enter and Escape never close this dialog (the key filter swallows
    // both keys); closing it otherwise (Alt+F4) is a Cancel.
    void OnOK() override {}
    bool WantsPreTranslate() const override { return true; }
    bool PreTranslateMessage(const MSG& msg) override;
    // White with a thin black frame: the dialog has neither caption nor border.
    bool OnPaint(HDC dc) override;
    // The kind buttons and the unnamed labels and group box: dark red on white.
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT message) override;

private:
    void SwitchKind(ConnectionKind kind);
    void FillPortControls();
    void FindUsbPrinters();
    void EmptyLists(bool includingPortList);
    void ShowKind();
    // Radio group and TCP port from the controls; false (after the refusal
    // message) when the port field does not hold a port number.
    bool ReadDialogData();
    void ReadBackSettings();

    SettingsFields fields_;
    int32_t printerType_;
    int kind_ = -1;
    uint32_t tcpPort_ = 0;
    std::vector<UsbPortEntry> usbPorts_;  // grows only, for the life of the dialog
    CImageButton okButton_;
    CImageButton cancelButton_;
    Brush labelBrush_;  // made once, released with the dialog
};

}  // namespace kestrel
