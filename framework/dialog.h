// The modal dialog every window of the program is built on: a resource
// template run by DialogBoxParam, with one dialog procedure that binds the
// C++ object at WM_INITDIALOG and routes messages to virtual handlers.
#pragma once

#include <windows.h>

#include <string>

namespace kestrel {

class CDialog {
public:
    explicit CDialog(int templateId) : templateId_(templateId) {}
    virtual ~CDialog() = default;
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog; returns the value given to EndDialog, or -1 when the
    // template could not be made into a window.
    INT_PTR DoModal(HWND parent = nullptr);

    HWND Handle() const { return window_; }
    int TemplateId() const { return templateId_; }

    // Control access.
    HWND Item(int id) const { return ::GetDlgItem(window_, id); }
    std::string ItemText(int id) const;
    void SetItemText(int id, const std::string& text) const;
    void EnableItem(int id, bool enable) const;
    void ShowItem(int id, bool show) const;
    LRESULT SendItem(int id, UINT message, WPARAM w = 0, LPARAM l = 0) const {
        return ::SendDlgItemMessageA(window_, id, message, w, l);
    }

    void EndDialog(INT_PTR result);

protected:
    // Returns whether the default focus should be set (as WM_INITDIALOG).
    virtual bool OnInitDialog() { return true; }
    // Returns true when the command was handled. By default IDOK ends with
    // OnOK and IDCANCEL with OnCancel.
    virtual bool OnCommand(int id, int notifyCode, HWND control);
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // Called between BeginPaint and EndPaint; returns false to leave the
    // window's own painting alone (the default).
    virtual bool OnPaint(HDC /*dc*/) { return false; }
    // WM_CTLCOLOR*: the program's colours unless a dialog says otherwise.
    virtual HBRUSH OnCtlColor(HDC dc, HWND control, UINT message);
    virtual bool OnSysCommand(WPARAM /*command*/, LPARAM /*position*/) { return false; }
    // Any other message; set `result` and return true when handled.
    virtual bool OnMessage(UINT /*message*/, WPARAM /*w*/, LPARAM /*l*/, INT_PTR& /*result*/) {
        return false;
    }
    // Sees each message of the modal loop before the dialog manager does;
    // return true to swallow it. Only asked when WantsPreTranslate() is true.
    virtual bool PreTranslateMessage(const MSG& /*msg*/) { return false; }
    virtual bool WantsPreTranslate() const { return false; }

private:
    static INT_PTR CALLBACK StaticProc(HWND window, UINT message, WPARAM w, LPARAM l);
    static LRESULT CALLBACK MessageFilterProc(int code, WPARAM w, LPARAM l);
    INT_PTR Dispatch(UINT message, WPARAM w, LPARAM l);

    int templateId_;
    HWND window_ = nullptr;
};

}  // namespace kestrel
