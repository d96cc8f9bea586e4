#include "framework/dialog.h"

#include <vector>

#include "framework/dialog_colours.h"
#include "framework/gdi_object.h"
#include "framework/subclassed_control.h"

namespace kestrel {
namespace {

// Modal dialogs nest (main window -> settings -> message box), all on the
// user-interface thread; the innermost one that asked for it sees the
// message filter first. UI thread only.
thread_local std::vector<CDialog*> t_modalStack;
thread_local HHOOK t_filterHook = nullptr;

class ModalScope {
public:
    explicit ModalScope(CDialog* dialog) { t_modalStack.push_back(dialog); }
    ~ModalScope() { t_modalStack.pop_back(); }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;
};

// The thread's message-filter hook, installed while the outermost modal
// dialog runs. It is what lets a dialog filter keys before DialogBox's own
// loop hands them to IsDialogMessage.
class FilterHookScope {
public:
    explicit FilterHookScope(HOOKPROC proc) {
        if (t_filterHook == nullptr) {
            t_filterHook = ::SetWindowsHookExA(WH_MSGFILTER, proc, nullptr, ::GetCurrentThreadId());
            owner_ = t_filterHook != nullptr;
        }
    }
    ~FilterHookScope() {
        if (owner_) {
            ::UnhookWindowsHookEx(t_filterHook);
            t_filterHook = nullptr;
        }
    }
    FilterHookScope(const FilterHookScope&) = delete;
    FilterHookScope& operator=(const FilterHookScope&) = delete;

private:
    bool owner_ = false;
};

}  // namespace

INT_PTR CDialog::DoModal(HWND parent) {
    ModalScope scope(this);
    FilterHookScope hook(&CDialog::MessageFilterProc);
    const INT_PTR result =
        ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId_), parent,
                          &CDialog::StaticProc, reinterpret_cast<LPARAM>(this));
    window_ = nullptr;
    return result;
}

void CDialog::EndDialog(INT_PTR result) {
    if (window_ != nullptr) ::EndDialog(window_, result);
}

std::string CDialog::ItemText(int id) const {
    HWND item = Item(id);
    if (item == nullptr) return {};
    const int length = ::GetWindowTextLengthA(item);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const int copied = ::GetWindowTextA(item, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

void CDialog::SetItemText(int id, const std::string& text) const {
    ::SetDlgItemTextA(window_, id, text.c_str());
}

void CDialog::EnableItem(int id, bool enable) const {
    if (HWND item = Item(id)) ::EnableWindow(item, enable ? TRUE : FALSE);
}

void CDialog::ShowItem(int id, bool show) const {
    if (HWND item = Item(id)) ::ShowWindow(item, show ? SW_SHOW : SW_HIDE);
}

bool CDialog::OnCommand(int id, int notifyCode, HWND /*control*/) {
    if (notifyCode != BN_CLICKED) return false;
    if (id == IDOK) {
        OnOK();
        return true;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}

HBRUSH CDialog::OnCtlColor(HDC dc, HWND /*control*/, UINT message) {
    return DefaultControlColour(dc, message);
}

LRESULT CALLBACK CDialog::MessageFilterProc(int code, WPARAM w, LPARAM l) {
    if (code == MSGF_DIALOGBOX && !t_modalStack.empty()) {
        CDialog* top = t_modalStack.back();
        const MSG* msg = reinterpret_cast<const MSG*>(l);
        // Only messages for the innermost dialog or its controls; a message
        // box above it has its own keys.
        if (top->window_ != nullptr && top->WantsPreTranslate() &&
            (msg->hwnd == top->window_ || ::IsChild(top->window_, msg->hwnd)) &&
            top->PreTranslateMessage(*msg)) {
            return 1;
        }
    }
    return ::CallNextHookEx(t_filterHook, code, w, l);
}

INT_PTR CALLBACK CDialog::StaticProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    CDialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(l);
        self->window_ = window;
        ::SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(window, DWLP_USER));
    }
    // Messages before WM_INITDIALOG (WM_SETFONT) have no object yet.
    if (self == nullptr) return FALSE;
    return self->Dispatch(message, w, l);
}

INT_PTR CDialog::Dispatch(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog() ? TRUE : FALSE;
    case WM_COMMAND:
        return OnCommand(LOWORD(w), HIWORD(w), reinterpret_cast<HWND>(l)) ? TRUE : FALSE;
    case WM_PAINT: {
        // Painting only when the dialog wants it keeps the system's own
        // painting (the minimised icon, the background) for the rest.
        if (::GetUpdateRect(window_, nullptr, FALSE) == FALSE) return FALSE;
        bool painted = false;
        {
            PaintDc dc(window_);
            painted = OnPaint(dc.Get());
        }
        return painted ? TRUE : FALSE;
    }
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORMSGBOX:
        return reinterpret_cast<INT_PTR>(
            OnCtlColor(reinterpret_cast<HDC>(w), reinterpret_cast<HWND>(l), message));
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(l);
        if (item != nullptr && item->CtlType != ODT_MENU && item->hwndItem != nullptr &&
            ::SendMessageA(item->hwndItem, kReflectedDrawItem, w, l) != 0) {
            return TRUE;
        }
        INT_PTR result = 0;
        return OnMessage(message, w, l, result) ? result : FALSE;
    }
    case WM_SYSCOMMAND:
        if (OnSysCommand(w, l)) {
            ::SetWindowLongPtrA(window_, DWLP_MSGRESULT, 0);
            return TRUE;
        }
        return FALSE;
    default: {
        INT_PTR result = 0;
        if (OnMessage(message, w, l, result)) return result;
        return FALSE;
    }
    }
}

}  // namespace kestrel
