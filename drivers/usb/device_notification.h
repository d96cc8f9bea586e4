/*
 * Owner of one device-notice registration of the notification window.
 * Ending it unregisters; forgetting it drops the handle without a call, for
 * a registration the system has already let go of.
 */
#ifndef KESTREL_DRIVERS_USB_DEVICE_NOTIFICATION_H
#define KESTREL_DRIVERS_USB_DEVICE_NOTIFICATION_H

#include <windows.h>

class CDeviceNotification {
  public:
    CDeviceNotification() = default;
    ~CDeviceNotification() { End(); }
    CDeviceNotification(const CDeviceNotification&) = delete;
    CDeviceNotification& operator=(const CDeviceNotification&) = delete;

    explicit operator bool() const { return m_notify != nullptr; }
    void Reset(HDEVNOTIFY notify) {
        End();
        m_notify = notify;
    }
    void End() {
        if (m_notify)
            ::UnregisterDeviceNotification(m_notify);
        m_notify = nullptr;
    }
    void Forget() { m_notify = nullptr; }

  private:
    HDEVNOTIFY m_notify = nullptr;
};

#endif
