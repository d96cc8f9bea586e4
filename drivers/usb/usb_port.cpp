#include "drivers/usb/usb_port.h"

#include "drivers/common/serial_write_watch.h"
#include "drivers/common/status_record_sorting.h"
#include "drivers/common/watched_write.h"
#include "drivers/common/windows_family.h"
#include "drivers/usb/debug_log.h"

#include <dbt.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr uint8_t kReEnableCommand[] = {0x1D, 0x61, 0x0F};
constexpr DWORD kStatusChunk = 16;
constexpr DWORD kPresentPauseMs = 10;
constexpr DWORD kRemovedPauseMs = 500;
constexpr uint32_t kPerByteMs = 5;
// Before the rest of a block that the device took only in part.
constexpr DWORD kShortWritePauseMs = 10;

// {A5DCBF10-6530-11D2-901F-00C04FB951ED}, the class of every USB device.
constexpr GUID kUsbDeviceInterface = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

DWORD BoundMs(int32_t baseMs, uint32_t count) {
    uint64_t bound = uint64_t(std::max(baseMs, 0)) + uint64_t{kPerByteMs} * count;
    return static_cast<DWORD>(std::min<uint64_t>(bound, INFINITE - 1));
}

// Device paths are not bound to the ANSI calls' 260 characters: the wide
// call takes them at any length.
std::wstring Widen(const std::string& text) {
    int n = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (n <= 0)
        return {};
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

// Waits for a cancelled transfer to end. False when it is still in flight
// afterwards: its buffer and record then belong to the device for good.
bool AwaitCancelled(HANDLE event) {
    return ::WaitForSingleObject(event, kCancelGraceMs) == WAIT_OBJECT_0;
}

} // namespace

struct CUsbPort::CReadState {
    uint8_t buffer[kStatusChunk] = {};
    OVERLAPPED ov{};
    CHandle event{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

CUsbPort::CUsbPort(CUsbNotifyWindow::Handler onDeviceChange) : m_onDeviceChange(onDeviceChange) {}

CUsbPort::~CUsbPort() {
    // A status thread left running in a library that is being unloaded would
    // crash the process, and a held device would stay locked to others.
    ClosePort();
    m_window.Destroy();
}

int32_t CUsbPort::SetDeviceOption(const ConnectionSettings& s) {
    if (!s.portName || !*s.portName)
        return 0;
    m_path = s.portName;
    m_queueCapacity = s.inputBufferSize;
    m_synchronous = s.outputBufferSize;
    m_readMode = s.transferMode;
    m_writeMode = s.writeMode;
    m_writeTimeout = s.writeTimeout;
    m_readTimeout = s.readTimeout;
    return 1;
}

void CUsbPort::CloseDevice() {
    CPortLockGuard guard(m_deviceLock);
    if (!m_device)
        return;
    // A status read pending on the handle ends now, with what it gathered,
    // rather than waiting on a handle that is gone.
    ::CancelIoEx(m_device.Get(), nullptr);
    m_device.Close();
}

bool CUsbPort::OpenDevice() {
    CloseDevice();
    const std::wstring path = Widen(m_openPath);
    // Overlapped even for a caller that asked for blocking transfers: a
    // blocking write to a printer that stopped reading could be neither
    // bounded nor ended by ClosePort (under Wine not even cancelled).
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    {
        CPortLockGuard guard(m_deviceLock);
        m_device.Reset(h);
    }
    DEV_BROADCAST_HANDLE forHandle{};
    forHandle.dbch_size = sizeof forHandle;
    forHandle.dbch_devicetype = DBT_DEVTYP_HANDLE;
    forHandle.dbch_handle = h;
    m_handleRegistration.Reset(
        ::RegisterDeviceNotificationA(m_window.Get(), &forHandle, DEVICE_NOTIFY_WINDOW_HANDLE));
    if (m_interfacePending) {
        DEV_BROADCAST_DEVICEINTERFACE_A forClass{};
        forClass.dbcc_size = sizeof forClass;
        forClass.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        forClass.dbcc_classguid = kUsbDeviceInterface;
        HDEVNOTIFY n =
            ::RegisterDeviceNotificationA(m_window.Get(), &forClass, DEVICE_NOTIFY_WINDOW_HANDLE);
        if (!n) {
            // Without arrival notices the port could not follow the printer.
            m_handleRegistration.End();
            CloseDevice();
            return false;
        }
        m_interfaceRegistration.Reset(n);
        m_interfacePending = false;
    }
    return true;
}

int32_t CUsbPort::OpenPort() {
    if (m_device && m_open)
        return 0;
    // After a removal the open flag outlives the handle; closing first keeps
    // a second status thread from starting beside the first.
    if (m_device || m_open)
        ClosePort();
    m_openPath = m_path;
    m_openSynchronous = m_synchronous != 0;
    m_gate.Open();
    if (!m_window.Create(m_onDeviceChange) || !OpenDevice())
        return 0;
    m_open = true;
    m_powerState = kUsbPowerPresent;
    if (!Synchronous() && m_readMode == 2) {
        m_queues.Allocate(m_queueCapacity);
        m_readState = std::make_unique<CReadState>();
        CReadState* st = m_readState.get();
        if (!st->event || !m_statusThread.Start([this, st] { return StatusPass(*st); })) {
            // Without the thread nothing would ever reach the queues; report
            // the failure rather than a half-working port.
            ClosePort();
            return 0;
        }
    }
    return 1;
}

CUsbPort::CWriteResult CUsbPort::DirectWrite(const uint8_t* data, uint32_t count) {
    // Given up only when the printer has taken nothing for the stall bound:
    // a byte-proportional limit would cut a printer that pauses, and none at
    // all would hold the caller for ever. A stalled printer is still there,
    // so a stall is no lost device: reopening it would not help, and the
    // re-enable command would only stall a second time.
    const WatchedWriteEnd end = WatchedWrite(m_device.Get(), m_gate.StopEvent(), data, count,
                                             PrinterStallMs(m_writeTimeout), kShortWritePauseMs);
    CWriteResult result;
    result.written = end.written;
    result.ok = end.written == count;
    result.deviceLost = end.error == ERROR_ACCESS_DENIED || end.error == ERROR_INVALID_HANDLE;
    return result;
}

int32_t CUsbPort::Write(const uint8_t* data, uint32_t count) {
    CPortCallGate::CVisit visit(m_gate);
    if (!visit || !m_open || !data || count == 0)
        return 0;
    if (m_writeMode == 1)
        return static_cast<int32_t>(WorkerWrite(Target(), data, count, m_writeTimeout));

    // Held across the reconnection and the re-enable command (recursive).
    CPortLockGuard io(m_ioLock);
    const CWriteResult result = DirectWrite(data, count);
    if (result.ok)
        return static_cast<int32_t>(result.written);
    if (result.deviceLost && !m_gate.Stopping()) {
        if (OpenDevice()) {
            m_powerState = kUsbPowerPresent;
            // Once, and without a further reconnection should it fail too.
            DirectWrite(kReEnableCommand, sizeof kReEnableCommand);
        } else {
            m_powerState = kUsbPowerClosed;
        }
        return 0;
    }
    // Stalled, or the port is closing: what the printer took.
    return static_cast<int32_t>(result.written);
}

int32_t CUsbPort::DirectRead(uint8_t* buffer, uint32_t count) {
    CPortLockGuard io(m_ioLock);
    HANDLE device = m_device.Get();
    CHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event)
        return 0;
    OVERLAPPED ov{};
    ov.hEvent = event.Get();
    if (!::ReadFile(device, buffer, count, nullptr, &ov)) {
        if (::GetLastError() != ERROR_IO_PENDING)
            return 0;
        // A printer that never answers must not hold the caller for ever:
        // the read gets the worker's bound, then keeps what it gathered.
        HANDLE waits[] = {event.Get(), m_gate.StopEvent()};
        if (::WaitForMultipleObjects(2, waits, FALSE, BoundMs(m_readTimeout, count)) !=
            WAIT_OBJECT_0) {
            ::CancelIo(device);
            // The caller's buffer and `ov` must outlive the transfer, so the
            // cancellation is completed before returning, however long it takes.
            if (!AwaitCancelled(event.Get()))
                ::WaitForSingleObject(event.Get(), INFINITE); // unbounded: see above
        }
    }
    return static_cast<int32_t>(std::min<ULONG_PTR>(ov.InternalHigh, count));
}

int32_t CUsbPort::BufferedRead(uint8_t* buffer, uint32_t count, uint32_t timeoutMs) {
    if (static_cast<uint32_t>(std::max(m_queues.ReceiveCount(), 0)) < count)
        ::WaitForSingleObject(m_gate.StopEvent(), timeoutMs); // once, unless closing
    return static_cast<int32_t>(m_queues.TakeReceived(buffer, count));
}

int32_t CUsbPort::Read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs) {
    CPortCallGate::CVisit visit(m_gate);
    if (!visit || !m_open || !buffer || count == 0)
        return 0;
    if (m_readMode != 2 && count < kStatusChunk)
        return 0;
    switch (m_readMode) {
    case 0:
        return DirectRead(buffer, count);
    case 1:
        // The worker's buffer is as large as the request.
        return static_cast<int32_t>(WorkerRead(Target(), buffer, count, m_readTimeout));
    default:
        return BufferedRead(buffer, count, timeoutMs);
    }
}

void CUsbPort::ClosePort() {
    // A Write or Read in flight on another thread gives up and leaves first.
    m_gate.Close();
    if (m_statusThread.Stop() == ThreadEnd::Terminated && m_readState) {
        // The thread may have died with its read in flight on the buffer.
        OVERLAPPED& ov = m_readState->ov;
        if (ov.hEvent && !HasOverlappedIoCompleted(&ov)) {
            CloseDevice(); // cancels it
            if (!AwaitCancelled(ov.hEvent))
                (void)m_readState.release(); // still the device's: left behind on purpose
        }
    }
    m_readState.reset();
    if (m_device)
        ::CancelIo(m_device.Get());
    m_handleRegistration.End();
    m_interfaceRegistration.End();
    m_interfacePending = true;
    CloseDevice();
    m_queues.ReleaseAll();
    m_open = false;
}

DWORD CUsbPort::StatusPass(CReadState& st) {
    if (!m_open || m_powerState != kUsbPowerPresent)
        return kRemovedPauseMs;
    // A short read leaves the rest as 0, never the last chunk's bytes.
    std::memset(st.buffer, 0, sizeof st.buffer);
    ::ResetEvent(st.event.Get());
    st.ov = OVERLAPPED{};
    st.ov.hEvent = st.event.Get();
    HANDLE device = nullptr;
    {
        CPortLockGuard guard(m_deviceLock);
        device = m_device.Get();
        if (!device)
            return kPresentPauseMs;
        if (!::ReadFile(device, st.buffer, kStatusChunk, nullptr, &st.ov) &&
            ::GetLastError() != ERROR_IO_PENDING)
            return kPresentPauseMs;
    }
    HANDLE waits[] = {st.event.Get(), m_statusThread.StopEvent()};
    const DWORD waitMs = static_cast<DWORD>(std::max(m_readTimeout, 0));
    if (::WaitForMultipleObjects(2, waits, FALSE, waitMs) != WAIT_OBJECT_0) {
        {
            CPortLockGuard guard(m_deviceLock);
            if (m_device.Get() == device)
                ::CancelIoEx(device, &st.ov);
            // else the handle was closed, which cancelled the read
        }
        if (!AwaitCancelled(st.event.Get()))
            ::WaitForSingleObject(st.event.Get(),
                                  INFINITE); // the buffer is the device's until then
    }
    // A cancelled read keeps what it had gathered.
    const DWORD got = static_cast<DWORD>(std::min<ULONG_PTR>(st.ov.InternalHigh, kStatusChunk));
    if (got == 0)
        return kPresentPauseMs;
    AppendDebugLog(st.buffer, got);
    SortUsbChunk(st.buffer, got, m_queues);
    return kPresentPauseMs;
}

void CUsbPort::Reopen() {
    if (m_open && m_powerState == kUsbPowerRemoved && OpenDevice())
        m_powerState = kUsbPowerPresent;
}

LRESULT CUsbPort::OnDeviceChange(WPARAM event, LPARAM record) {
    if (!record)
        return TRUE;
    // Any notice that comes while the printer is away is a chance to get it
    // back; one that fails costs nothing.
    Reopen();
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(record);
    if (header->dbch_devicetype == DBT_DEVTYP_HANDLE) {
        const auto* notice = reinterpret_cast<const DEV_BROADCAST_HANDLE*>(record);
        if (!m_device || notice->dbch_handle != m_device.Get())
            return TRUE;
        switch (event) {
        case DBT_DEVICEQUERYREMOVE:
            return BROADCAST_QUERY_DENY;
        case DBT_DEVICEREMOVEPENDING:
        case DBT_DEVICEREMOVECOMPLETE:
            if (IsWindows95Family(::GetVersion()))
                m_handleRegistration.Forget();
            else
                m_handleRegistration.End();
            if (m_open)
                CloseDevice();
            m_powerState = kUsbPowerRemoved;
            return TRUE;
        default:
            return TRUE;
        }
    }
    if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE && event == DBT_DEVICEARRIVAL)
        Reopen();
    return TRUE;
}
