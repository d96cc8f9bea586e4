#include "framework/subclassed_control.h"

namespace kestrel {
namespace {
// One subclass id for all our controls; the object pointer travels as the
// reference data.
constexpr UINT_PTR kSubclassId = 0x4B45;
}  // namespace

bool CSubclassedControl::Attach(HWND dialog, int id) {
    Detach();
    HWND control = ::GetDlgItem(dialog, id);
    if (control == nullptr) return false;
    if (!::SetWindowSubclass(control, &CSubclassedControl::SubclassProc, kSubclassId,
                             reinterpret_cast<DWORD_PTR>(this))) {
        return false;
    }
    window_ = control;
    return true;
}

void CSubclassedControl::Detach() {
    if (window_ == nullptr) return;
    ::RemoveWindowSubclass(window_, &CSubclassedControl::SubclassProc, kSubclassId);
    window_ = nullptr;
}

LRESULT CALLBACK CSubclassedControl::SubclassProc(HWND window, UINT message, WPARAM w, LPARAM l,
                                                  UINT_PTR /*id*/, DWORD_PTR data) {
    auto* self = reinterpret_cast<CSubclassedControl*>(data);
    if (message == WM_NCDESTROY) {
        // The control goes before its object: drop the link so that the
        // object's destructor does not touch a dead window.
        ::RemoveWindowSubclass(window, &CSubclassedControl::SubclassProc, kSubclassId);
        self->window_ = nullptr;
        return ::DefSubclassProc(window, message, w, l);
    }
    return self->WindowProc(message, w, l);
}

}  // namespace kestrel
