#include "drivers/usb/usb_notify_window.h"

namespace {

constexpr char kClassName[] = "KestrelUsbNotify";
constexpr char kWindowText[] = "USBPNPWindow";
constexpr int kControlId = 1234;

HINSTANCE ThisLibrary() {
    HMODULE module = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                             GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCSTR>(&ThisLibrary), &module);
    return module;
}

bool RegisterOnce(HINSTANCE instance) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = instance;
    wc.lpszClassName = kClassName;
    // A class left from an earlier load of the library is as good: its
    // procedure is the system's, never ours.
    return ::RegisterClassA(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

} // namespace

bool CUsbNotifyWindow::Create(Handler handler) {
    if (m_hwnd && ::IsWindow(m_hwnd))
        return true;
    m_hwnd = nullptr; // its thread ended, and the window with it
    HINSTANCE instance = ThisLibrary();
    if (!RegisterOnce(instance))
        return false;
    HWND hwnd = ::CreateWindowExA(
        0, kClassName, kWindowText, WS_CHILD, 0, 0, 0, 0, ::GetDesktopWindow(),
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kControlId)), instance, nullptr);
    if (!hwnd)
        return false;
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(handler));
    ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Procedure));
    m_hwnd = hwnd;
    return true;
}

void CUsbNotifyWindow::Destroy() {
    HWND hwnd = m_hwnd;
    m_hwnd = nullptr;
    if (!hwnd || !::IsWindow(hwnd))
        return;
    ::SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&::DefWindowProcA));
    if (::GetWindowThreadProcessId(hwnd, nullptr) == ::GetCurrentThreadId())
        ::DestroyWindow(hwnd);
    else
        ::PostMessageA(hwnd, WM_CLOSE, 0, 0); // the default procedure destroys it
}

LRESULT CALLBACK CUsbNotifyWindow::Procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_DEVICECHANGE) {
        auto handler = reinterpret_cast<Handler>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (handler)
            return handler(w, l);
    }
    return ::DefWindowProcA(hwnd, message, w, l);
}
