/*
 * The hidden window through which the system tells usb.dll that its printer
 * is going, gone or back. It is an ordinary window of a class whose own
 * procedure is the system's default; ours is set on the window alone and
 * taken off again before the library goes, so neither the window nor the
 * class can call into code that has been unloaded.
 */
#ifndef KESTREL_DRIVERS_USB_USB_NOTIFY_WINDOW_H
#define KESTREL_DRIVERS_USB_USB_NOTIFY_WINDOW_H

#include <windows.h>

class CUsbNotifyWindow {
  public:
    // Answers one device-change message: the event and its record.
    using Handler = LRESULT (*)(WPARAM event, LPARAM record);

    CUsbNotifyWindow() = default;
    ~CUsbNotifyWindow() { Destroy(); }
    CUsbNotifyWindow(const CUsbNotifyWindow&) = delete;
    CUsbNotifyWindow& operator=(const CUsbNotifyWindow&) = delete;

    // Makes the window on the calling thread, which then serves its
    // messages; true at once when the window is still there.
    bool Create(Handler handler);
    HWND Get() const { return m_hwnd; }
    // Destroys the window on its own thread; from any other thread it is
    // detached from our procedure and asked to close when its thread next
    // takes messages.
    void Destroy();

  private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM w, LPARAM l);

    HWND m_hwnd = nullptr; // the creating thread's; read by the library's unload
};

#endif
