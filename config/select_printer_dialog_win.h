// The model list shown at start-up: one click picks the printer family.
#pragma once

#include "config/printer_models.h"
#include "framework/dialog.h"

namespace kestrel {

class CSelectPrinterDialog : public CDialog {
public:
    CSelectPrinterDialog();

    const ModelSelection& Selection() const { return selection_; }

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int notifyCode, HWND control) override;

private:
    void OnSelectPrinter();

    ModelSelection selection_;  // empty name and the default family until a row is chosen
};

}  // namespace kestrel
