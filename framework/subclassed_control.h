// A control of a dialog whose messages a C++ object sees first, through the
// platform's subclass calls (SetWindowSubclass/DefSubclassProc). The
// subclass is removed when the object goes, or when the control is destroyed.
#pragma once

#include <windows.h>

#include <commctrl.h>

namespace kestrel {

// WM_DRAWITEM goes to the dialog; the dialog hands it on to the control it
// names under this message, so an owner-drawn control draws itself.
// Answer TRUE when drawn.
inline constexpr UINT kReflectedDrawItem = WM_APP + 0x3C00 + WM_DRAWITEM;

class CSubclassedControl {
public:
    CSubclassedControl() = default;
    virtual ~CSubclassedControl() { Detach(); }
    CSubclassedControl(const CSubclassedControl&) = delete;
    CSubclassedControl& operator=(const CSubclassedControl&) = delete;

    // Subclasses the control `id` of `dialog`; false if there is no such
    // control or the subclass could not be set.
    bool Attach(HWND dialog, int id);
    void Detach();
    HWND Handle() const { return window_; }

protected:
    // Default: the control's own procedure.
    virtual LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) {
        return ::DefSubclassProc(window_, message, w, l);
    }

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM w, LPARAM l,
                                         UINT_PTR id, DWORD_PTR data);
    HWND window_ = nullptr;
};

}  // namespace kestrel
