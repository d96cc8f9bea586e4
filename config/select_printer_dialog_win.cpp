#include "config/select_printer_dialog_win.h"

#include "resources/resource.h"

namespace kestrel {

CSelectPrinterDialog::CSelectPrinterDialog() : CDialog(IDD_SELECT_PRINTER) {}

bool CSelectPrinterDialog::OnInitDialog() {
    // No caption bar, but the window keeps its name for whoever looks for it.
    ::SetWindowTextA(Handle(), "Select Printer");
    for (const PrinterModel& model : PrinterModels()) {
        SendItem(IDC_MODEL_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(model.name));
    }
    return true;
}

bool CSelectPrinterDialog::OnCommand(int id, int notifyCode, HWND control) {
    if (id == IDC_MODEL_LIST) {
        if (notifyCode == LBN_SELCHANGE) OnSelectPrinter();
        return true;
    }
    return CDialog::OnCommand(id, notifyCode, control);
}

void CSelectPrinterDialog::OnSelectPrinter() {
    const LRESULT row = SendItem(IDC_MODEL_LIST, LB_GETCURSEL);
    selection_ = SelectionForRow(row == LB_ERR ? -1 : static_cast<int>(row));
    OnOK();
}

}  // namespace kestrel
