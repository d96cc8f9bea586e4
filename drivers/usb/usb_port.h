/*
 * The USB printer behind usb.dll. It follows the device through removal and
 * re-plugging: the notification window refuses removal while the port is
 * open, marks the device gone when it is pulled and opens it again when it
 * comes back or a write finds the handle dead; after a reconnection by a
 * write the printer is told to switch its automatic status back on.
 */
#ifndef KESTREL_DRIVERS_USB_USB_PORT_H
#define KESTREL_DRIVERS_USB_USB_PORT_H

#include "drivers/common/port_driver.h"
#include "drivers/common/port_call_gate.h"
#include "drivers/common/port_queues.h"
#include "drivers/common/shared_port.h"
#include "drivers/common/status_thread.h"
#include "drivers/common/win_handle.h"
#include "drivers/common/port_lock.h"
#include "drivers/common/worker_transfer.h"
#include "drivers/usb/device_notification.h"
#include "drivers/usb/usb_notify_window.h"

#include <atomic>
#include <memory>
#include <string>

constexpr int32_t kUsbPowerClosed = 0;
constexpr int32_t kUsbPowerPresent = 1;
constexpr int32_t kUsbPowerRemoved = -1;

class CUsbPort : public CDriverPort {
  public:
    explicit CUsbPort(CUsbNotifyWindow::Handler onDeviceChange);
    ~CUsbPort();
    CUsbPort(const CUsbPort&) = delete;
    CUsbPort& operator=(const CUsbPort&) = delete;

    int32_t SetDeviceOption(const ConnectionSettings& settings) override;
    int32_t OpenPort() override;
    int32_t Write(const uint8_t* data, uint32_t count) override;
    int32_t Read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs) override;
    void ClosePort() override;
    int32_t IsPowerState() override { return m_powerState.load(); }
    CPortQueues& Queues() override { return m_queues; }

    // The notification window's device-change message, on its thread.
    LRESULT OnDeviceChange(WPARAM event, LPARAM record);

  private:
    struct CReadState; // the status thread's buffer and overlapped record
    struct CWriteResult {
        bool ok = false;
        uint32_t written = 0;
        bool deviceLost = false; // error 5 or 6
    };

    // As OpenPort took it: a SetDeviceOption on an open port waits for the next open.
    bool Synchronous() const { return m_openSynchronous; }
    // The device is overlapped whatever the caller asked (see OpenDevice).
    WorkerTransferTarget Target() { return {m_device.Get(), false, &m_ioLock, m_gate.StopEvent()}; }
    bool OpenDevice();
    void CloseDevice();
    void Reopen();
    CWriteResult DirectWrite(const uint8_t* data, uint32_t count);
    int32_t DirectRead(uint8_t* buffer, uint32_t count);
    int32_t BufferedRead(uint8_t* buffer, uint32_t count, uint32_t timeoutMs);
    DWORD StatusPass(CReadState& st);

    CPortLock m_receiveLock;
    CPortLock m_statusLock;
    CPortQueues m_queues{m_receiveLock, m_statusLock};
    CPortLock m_ioLock; // one transfer of Write or Read (and their workers)
    // Swapping m_device (the window's thread) against the status thread
    // starting or cancelling a read on it; never held across a wait.
    CPortLock m_deviceLock;
    CStatusThread m_statusThread;
    CPortCallGate m_gate; // the caller's Write and Read against ClosePort
    // Heap-held so that a status thread that had to be terminated with a
    // read in flight can leave it behind instead of freeing it under the I/O.
    std::unique_ptr<CReadState> m_readState;

    // Written by the thread that opened the port (its calls and the
    // notification window) under m_deviceLock; the status thread reads it
    // under that lock.
    CHandle m_device;
    std::string m_path;
    int32_t m_queueCapacity = 0;
    int32_t m_synchronous = 0;
    int32_t m_readMode = 0;
    int32_t m_writeMode = 0;
    int32_t m_writeTimeout = 0;
    int32_t m_readTimeout = 0;
    // The path and the synchronous flag as OpenPort took them.
    std::string m_openPath;
    bool m_openSynchronous = false;

    std::atomic<bool> m_open{false};                    // status thread reads
    std::atomic<int32_t> m_powerState{kUsbPowerClosed}; // status thread reads

    // The opening thread's only.
    CUsbNotifyWindow::Handler m_onDeviceChange;
    CUsbNotifyWindow m_window;
    bool m_interfacePending = true;
    CDeviceNotification m_interfaceRegistration;
    CDeviceNotification m_handleRegistration;
};

#endif
