#include "drivers/lpt/lpt_port.h"

#include "drivers/common/serial_write_watch.h"
#include "drivers/common/status_record_sorting.h"
#include "drivers/common/watched_write.h"
#include "drivers/lpt/status_register.h"

#include <algorithm>
#include <cstring>

namespace {

// The parallel-port driver's status request (CTL_CODE of the parallel
// device type, function 1, buffered, any access).
constexpr DWORD kIoctlParQueryInformation = 0x160004;
constexpr DWORD kPerByteMs = 5;
constexpr DWORD kAttemptPauseMs = 500;
constexpr DWORD kStatusPauseMs = 500;
constexpr DWORD kStatusReadBytes = 20;
constexpr DWORD kStatusReadWaitMs = 30;
// A status request normally answers at once; one that does not is given
// up so that the status thread keeps its rhythm.
constexpr DWORD kStatusQueryWaitMs = 1000;
constexpr uint8_t kPollByte = 0x00;

DWORD ClampMs(uint64_t ms) {
    return static_cast<DWORD>(std::min<uint64_t>(ms, INFINITE - 1));
}

// Cancels `ov` and waits until the device has let go of it, so that its
// buffer and record may go. False when it is still in flight afterwards.
bool CancelAndComplete(HANDLE device, OVERLAPPED& ov) {
    ::CancelIoEx(device, &ov);
    return ::WaitForSingleObject(ov.hEvent, kCancelGraceMs) == WAIT_OBJECT_0;
}

// As above, for memory on the caller's stack: it must not be left while the
// device may still write to it, however long that takes.
void CancelAndCompleteOrWait(HANDLE device, OVERLAPPED& ov) {
    if (!CancelAndComplete(device, ov))
        ::WaitForSingleObject(ov.hEvent, INFINITE); // unbounded: see above
}

DWORD Moved(const OVERLAPPED& ov, DWORD asked) {
    return std::min(static_cast<DWORD>(ov.InternalHigh), asked);
}

} // namespace

struct CLptPort::CStatusRead {
    uint8_t buffer[kStatusReadBytes] = {};
    OVERLAPPED ov{};
    CHandle event{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

CLptPort::CLptPort(uint32_t versionWord)
    : m_rules(versionWord), m_statusAddress(CLptStatusRules::StatusRegisterAddress("")) {}

CLptPort::~CLptPort() {
    // The caller should have closed the port; a status thread left running
    // in a library that is being unloaded would crash the process.
    ClosePort();
}

int32_t CLptPort::SetDeviceOption(const ConnectionSettings& s) {
    // Case-sensitive on purpose: the names the program itself makes.
    if (!s.portName || std::strncmp(s.portName, "LPT", 3) != 0)
        return 0;
    m_portName = s.portName;
    m_statusAddress = CLptStatusRules::StatusRegisterAddress(m_portName);
    m_timeouts.readInterval = static_cast<uint32_t>(s.readIntervalTimeout);
    m_timeouts.readMultiplier = static_cast<uint32_t>(s.readTotalTimeoutMultiplier);
    m_timeouts.readConstant = static_cast<uint32_t>(s.readTotalTimeoutConstant);
    m_timeouts.writeMultiplier = static_cast<uint32_t>(s.writeTotalTimeoutMultiplier);
    m_timeouts.writeConstant = static_cast<uint32_t>(s.writeTotalTimeoutConstant);
    m_queueCapacity = s.inputBufferSize;
    m_synchronous = s.outputBufferSize;
    m_readMode = s.transferMode;
    m_writeMode = s.writeMode;
    // A negative base would read as some seven weeks.
    m_writeBaseMs = static_cast<uint32_t>(std::max(s.writeTimeout, 0));
    m_readBaseMs = static_cast<uint32_t>(std::max(s.readTimeout, 0));
    return 1;
}

int32_t CLptPort::OpenPort() {
    if (m_device)
        return m_open ? 1 : 0;
    const bool synchronous = m_synchronous != 0;
    // The queue is filled only by the status thread, which needs overlapped
    // reads: a port that could never deliver a byte is refused.
    if (synchronous && QueueReadMode())
        return 0;
    // A blocking transfer could be neither bounded by the printer's progress
    // nor ended by a ClosePort from another thread, so the device is
    // overlapped whatever the caller asked; only the 95 family's parallel
    // driver, which has no overlapped transfers, keeps blocking ones.
    const bool blockingDevice = synchronous && m_rules.ReadsStatusRegister();
    m_device.Reset(
        ::CreateFileA(m_portName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                      blockingDevice ? FILE_ATTRIBUTE_NORMAL : FILE_FLAG_OVERLAPPED, nullptr));
    if (!m_device)
        return 0;
    m_deviceSynchronous = blockingDevice;
    m_gate.Open();

    // Kept until the next SetDeviceOption, as the device has them.
    m_timeouts = m_rules.TimeoutsForOpen(m_timeouts);
    COMMTIMEOUTS timeouts{m_timeouts.readInterval, m_timeouts.readMultiplier,
                          m_timeouts.readConstant, m_timeouts.writeMultiplier,
                          m_timeouts.writeConstant};
    // Many parallel drivers refuse both; the port works without them.
    ::SetCommTimeouts(m_device.Get(), &timeouts);
    ::PurgeComm(m_device.Get(), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);

    // Before the thread starts, so that its first pass already reads and
    // the ready flag is its own from then on.
    m_open = true;
    m_ready = 1;
    if (!synchronous && QueueReadMode()) {
        m_queues.Allocate(m_queueCapacity);
        m_statusRead = std::make_unique<CStatusRead>();
        CStatusRead* st = m_statusRead.get();
        if (!st->event || !m_statusThread.Start([this, st] { return StatusPass(*st); })) {
            // Nothing would ever reach the queue: report the failure rather
            // than a half-working port.
            m_statusRead.reset();
            m_device.Close();
            m_open = false;
            return 0;
        }
    }
    return 1;
}

int32_t CLptPort::Write(const uint8_t* data, uint32_t count) {
    CPortCallGate::CVisit visit(m_gate);
    return visit ? WriteBlock(data, count) : 0;
}

int32_t CLptPort::WriteBlock(const uint8_t* data, uint32_t count) {
    if (!m_open || !data || count == 0)
        return 0;
    // After ClosePort the open flag stays set; the device is gone, and any
    // transfer could only fail.
    if (!m_device)
        return 0;
    CPortLockGuard whole(m_writeLock);
    if (m_writeMode == 1 || m_deviceSynchronous)
        return static_cast<int32_t>(WorkerWrite(Target(), data, count, m_writeBaseMs));
    // The program's record gives the device no write time-outs, and a
    // printer may hold BUSY for many seconds while it erases its flash: the
    // block ends only when the printer has taken nothing for the stall bound.
    // What a short piece left is tried again after a pause.
    CPortLockGuard io(m_ioLock);
    const WatchedWriteEnd end =
        WatchedWrite(m_device.Get(), m_gate.StopEvent(), data, count,
                     PrinterStallMs(static_cast<int32_t>(m_writeBaseMs.load())), kAttemptPauseMs);
    return static_cast<int32_t>(end.written);
}

int32_t CLptPort::Read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs) {
    CPortCallGate::CVisit visit(m_gate);
    if (!visit || !m_open || !buffer || count == 0)
        return 0;
    if (!QueueReadMode()) {
        if (!m_device)
            return 0; // closed: see WriteBlock
        if (m_readMode == 1)
            return static_cast<int32_t>(WorkerRead(Target(), buffer, count, m_readBaseMs));
        return static_cast<int32_t>(DirectRead(buffer, count));
    }
    if (static_cast<uint32_t>(std::max(m_queues.ReceiveCount(), 0)) < count)
        ::WaitForSingleObject(m_gate.StopEvent(), timeoutMs); // a plain pause unless closing
    return static_cast<int32_t>(m_queues.TakeReceived(buffer, count));
}

uint32_t CLptPort::DirectRead(uint8_t* buffer, uint32_t count) {
    HANDLE device = m_device.Get();
    DWORD got = 0;
    if (m_deviceSynchronous) {
        CPortLockGuard io(m_ioLock);
        ::ReadFile(device, buffer, count, &got, nullptr);
        return std::min<DWORD>(got, count);
    }
    CHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event)
        return 0;
    CPortLockGuard io(m_ioLock);
    OVERLAPPED ov{};
    ov.hEvent = event.Get();
    if (!::ReadFile(device, buffer, count, nullptr, &ov) && ::GetLastError() != ERROR_IO_PENDING)
        return 0;
    // The device's own read time-outs end the read first; this bound only
    // catches a device that has none or ignores them.
    const uint64_t bound = uint64_t{m_readBaseMs} + uint64_t{kPerByteMs} * count +
                           uint64_t{m_timeouts.readMultiplier} * count + m_timeouts.readConstant;
    HANDLE waits[] = {event.Get(), m_gate.StopEvent()};
    if (::WaitForMultipleObjects(2, waits, FALSE, ClampMs(bound)) != WAIT_OBJECT_0)
        CancelAndCompleteOrWait(device, ov);
    return Moved(ov, count);
}

std::optional<uint8_t> CLptPort::RawStatus() {
    if (m_rules.ReadsStatusRegister())
        return ReadStatusRegister(m_statusAddress);
    return QueryDeviceStatus();
}

std::optional<uint8_t> CLptPort::QueryDeviceStatus() {
    HANDLE device = m_device.Get();
    if (!device)
        return std::nullopt;
    uint8_t status = 0;
    DWORD got = 0;
    if (m_deviceSynchronous) {
        if (!::DeviceIoControl(device, kIoctlParQueryInformation, nullptr, 0, &status, 1, &got,
                               nullptr) ||
            got != 1)
            return std::nullopt;
        return status;
    }
    // An overlapped device takes its requests with a record of their own.
    CHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event)
        return std::nullopt;
    OVERLAPPED ov{};
    ov.hEvent = event.Get();
    if (!::DeviceIoControl(device, kIoctlParQueryInformation, nullptr, 0, &status, 1, nullptr,
                           &ov)) {
        if (::GetLastError() != ERROR_IO_PENDING)
            return std::nullopt;
        if (::WaitForSingleObject(event.Get(), kStatusQueryWaitMs) != WAIT_OBJECT_0)
            CancelAndCompleteOrWait(device, ov);
    }
    if (!::GetOverlappedResult(device, &ov, &got, FALSE) || got != 1)
        return std::nullopt;
    return status;
}

int32_t CLptPort::IsPowerState() {
    if (QueueReadMode())
        return m_ready;
    return m_rules.PowerState(RawStatus());
}

DWORD CLptPort::StatusRead(CStatusRead& st) {
    HANDLE device = m_device.Get();
    DWORD got = 0;
    if (m_rules.ReadsStatusRegister()) {
        // The 95 family's parallel driver has no overlapped reads; its read
        // time-outs of 1 ms keep this short.
        ::ReadFile(device, st.buffer, kStatusReadBytes, &got, nullptr);
        return std::min(got, kStatusReadBytes);
    }
    ::ResetEvent(st.event.Get());
    st.ov = OVERLAPPED{};
    st.ov.hEvent = st.event.Get();
    if (!::ReadFile(device, st.buffer, kStatusReadBytes, nullptr, &st.ov) &&
        ::GetLastError() != ERROR_IO_PENDING)
        return 0;
    if (::WaitForSingleObject(st.event.Get(), kStatusReadWaitMs) != WAIT_OBJECT_0 &&
        !CancelAndComplete(device, st.ov)) {
        // The device still owns the buffer; this thread must not reuse or
        // leave it until the transfer ends.
        ::WaitForSingleObject(st.event.Get(), INFINITE); // unbounded: see above
    }
    // A read cancelled after its wait may already have taken bytes off the
    // line: they are sorted like any others, not lost.
    return Moved(st.ov, kStatusReadBytes);
}

DWORD CLptPort::StatusPass(CStatusRead& st) {
    m_ready = m_rules.ReadyFlag(RawStatus());
    if (!m_open)
        return kStatusPauseMs;
    const DWORD got = StatusRead(st);
    // Tells the printer we are there; skipped once the port is closing so
    // that no new transfer starts under ClosePort (which raises the gate's
    // stop first, ending a poll byte that is on its way).
    if (::WaitForSingleObject(m_statusThread.StopEvent(), 0) == WAIT_TIMEOUT && !m_gate.Stopping())
        WriteBlock(&kPollByte, 1);
    if (got > 0)
        SortParallelBytes(st.buffer, got, m_queues);
    return kStatusPauseMs;
}

void CLptPort::ClosePort() {
    // A Write or Read in flight on another thread gives up and leaves first;
    // the status thread's transfers watch the same signal.
    m_gate.Close();
    HANDLE device = m_device.Get();
    if (m_statusThread.Running()) {
        // Told first, then its transfers cancelled, so that it ends without
        // waiting out a read or a write to a printer that has stopped.
        ::SetEvent(m_statusThread.StopEvent());
        if (device)
            ::CancelIoEx(device, nullptr);
    }
    if (m_statusThread.Stop() == ThreadEnd::Terminated && m_statusRead && device) {
        // The thread may have died with its read in flight on the buffer.
        OVERLAPPED& ov = m_statusRead->ov;
        if (ov.hEvent && !HasOverlappedIoCompleted(&ov) && !CancelAndComplete(device, ov))
            (void)m_statusRead.release(); // still owned by the device: left behind on purpose
    }
    m_statusRead.reset();
    m_device.Close();
    m_queues.ReleaseReceive();
}
