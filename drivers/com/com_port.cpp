#include "drivers/com/com_port.h"

#include "drivers/common/serial_device_path.h"
#include "drivers/common/status_record_sorting.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr DWORD kFirstPauseMs = 300;
constexpr DWORD kIdlePauseMs = 100;
constexpr DWORD kDataPauseMs = 10;
constexpr DWORD kCycleBytes = 100;
constexpr DWORD kReadShortfallSleepMs = 30;
// How often a pending write looks at the device's output queue.
constexpr DWORD kProgressPollMs = 200;
// Longest wait between two looks at the receive queue in Read.
constexpr DWORD kReadPollMs = 50;
// A status read asks only for bytes the device already holds; if it is
// still pending after this long it is cancelled so the thread stays
// responsive to its stop event.
constexpr DWORD kStatusReadWaitMs = 2000;

// Cancels `ov` on `device` and waits for it to complete. False when the
// transfer is still in flight afterwards (its memory must not be freed).
bool CancelAndComplete(HANDLE device, OVERLAPPED& ov, bool sameThread) {
    if (sameThread)
        ::CancelIo(device);
    else
        ::CancelIoEx(device, &ov);
    return ::WaitForSingleObject(ov.hEvent, kCancelGraceMs) == WAIT_OBJECT_0;
}

} // namespace

// One block on its way to the device, on the heap: the device owns the
// copy and the overlapped record until the transfer completes, which a
// driver that ignores cancellation may never do.
struct CComPort::CWriteTransfer {
    std::unique_ptr<uint8_t[]> data;
    OVERLAPPED ov{};
    CHandle event;
};

struct CComPort::CReadState {
    uint8_t buffer[kCycleBytes] = {};
    OVERLAPPED ov{};
    CHandle event{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    DWORD pause = kFirstPauseMs;
};

CComPort::CComPort() : m_arrived(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

CComPort::~CComPort() {
    // The caller should have closed the port; if not, a thread running in a
    // library that is being unloaded would crash the process, so close here.
    ClosePort();
    ReapAbandonedWrites();
    for (auto& t : m_abandonedWrites)
        (void)t.release(); // still owned by the device: left behind on purpose
}

int32_t CComPort::SetDeviceOption(const ConnectionSettings& s) {
    m_baudRate = s.baudRate;
    m_dataBits = s.dataBits;
    m_stopBits = s.stopBits;
    m_parity = s.parity;
    m_handshake = s.handshake;
    m_timeouts.ReadIntervalTimeout = static_cast<DWORD>(s.readIntervalTimeout);
    m_timeouts.ReadTotalTimeoutMultiplier = static_cast<DWORD>(s.readTotalTimeoutMultiplier);
    m_timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(s.readTotalTimeoutConstant);
    m_timeouts.WriteTotalTimeoutMultiplier = static_cast<DWORD>(s.writeTotalTimeoutMultiplier);
    m_timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(s.writeTotalTimeoutConstant);
    m_queueCapacity = s.inputBufferSize;
    m_outputBufferSize = s.outputBufferSize;
    m_writeTimeout = s.writeTimeout;
    if (!s.portName || !*s.portName)
        return 0;
    m_portName = s.portName;
    return 1;
}

int32_t CComPort::OpenPort() {
    if (m_device)
        return m_open ? 1 : 0;
    // A failed reopen after an earlier close must not answer "open" later.
    m_open = false;
    m_gate.Open();

    const std::string path = SerialDevicePath(m_portName);
    m_device.Reset(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!m_device)
        return 0;

    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (!::GetCommState(m_device.Get(), &dcb))
        return 0;
    dcb.BaudRate = static_cast<DWORD>(m_baudRate);
    dcb.ByteSize = static_cast<BYTE>(m_dataBits);
    dcb.Parity = static_cast<BYTE>(m_parity);
    dcb.StopBits = static_cast<BYTE>(m_stopBits);
    dcb.fParity = m_parity != 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 1;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 0;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fNull = 0;
    dcb.fOutX = dcb.fInX = m_handshake != 0;
    if (!::SetCommState(m_device.Get(), &dcb) || !::SetCommTimeouts(m_device.Get(), &m_timeouts))
        return 0; // half-open: the handle stays until ClosePort
    ::PurgeComm(m_device.Get(), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);

    m_open = true;
    m_queues.Allocate(m_queueCapacity);

    m_readState = std::make_unique<CReadState>();
    CReadState* st = m_readState.get();
    if (!st->event || !m_statusThread.Start([this, st] { return StatusPass(*st); })) {
        // Without the thread nothing would ever reach the queues or the
        // power state; report the failure rather than a half-working port.
        m_readState.reset();
        m_device.Close();
        m_open = false;
        return 0;
    }
    return 1;
}

DWORD CComPort::StatusPass(CReadState& st) {
    HANDLE device = m_device.Get();
    if (device) {
        DWORD modem = 0;
        bool cts = ::GetCommModemStatus(device, &modem) && (modem & MS_CTS_ON);
        m_powerState = cts ? kPowerCtsOn : kPowerCtsOff;
    }
    if (!m_open)
        return st.pause;
    st.pause = kIdlePauseMs;

    DWORD errors = 0;
    COMSTAT stat{};
    if (!::ClearCommError(device, &errors, &stat) || stat.cbInQue == 0)
        return st.pause;

    const DWORD want = std::min<DWORD>(stat.cbInQue, kCycleBytes);
    ::ResetEvent(st.event.Get());
    st.ov = OVERLAPPED{};
    st.ov.hEvent = st.event.Get();
    DWORD got = 0;
    if (!::ReadFile(device, st.buffer, want, &got, &st.ov)) {
        if (::GetLastError() != ERROR_IO_PENDING)
            return st.pause;
        HANDLE waits[] = {st.event.Get(), m_statusThread.StopEvent()};
        if (::WaitForMultipleObjects(2, waits, FALSE, kStatusReadWaitMs) != WAIT_OBJECT_0 &&
            !CancelAndComplete(device, st.ov, true)) {
            // The device still owns the buffer; this thread must not reuse
            // or leave it until the transfer ends.
            ::WaitForSingleObject(st.event.Get(), INFINITE); // unbounded: see above
        }
        // A cancelled read may still have taken bytes off the device.
        got = static_cast<DWORD>(st.ov.InternalHigh);
    }
    if (got == 0)
        return st.pause;
    SortSerialBytes(st.buffer, std::min<DWORD>(got, kCycleBytes), m_queues);
    ::SetEvent(m_arrived.Get());
    st.pause = kDataPauseMs;
    return st.pause;
}

uint64_t CComPort::StallMs(const SerialLineFormat& line, uint32_t chunk) const {
    uint64_t bound = SerialStallMs(m_writeTimeout, line, chunk);
    // When the device has a total time-out of its own it ends a call first;
    // ours only catches a device that does not.
    bound += uint64_t{m_timeouts.WriteTotalTimeoutMultiplier} * chunk +
             m_timeouts.WriteTotalTimeoutConstant;
    return bound;
}

CComPort::ChunkEnd CComPort::WriteChunk(CWriteTransfer& t, uint32_t offset, uint32_t count,
                                        CSerialWriteWatch& watch) {
    HANDLE device = m_device.Get();
    ::ResetEvent(t.event.Get());
    t.ov = OVERLAPPED{};
    t.ov.hEvent = t.event.Get();
    DWORD moved = 0;
    if (!::WriteFile(device, t.data.get() + offset, count, nullptr, &t.ov) &&
        ::GetLastError() != ERROR_IO_PENDING)
        return {0, false};
    // Where the device reports its output queue (Windows' serial driver
    // counts pending writes in it), a shrinking queue is progress too.
    DWORD lowestQueue = MAXDWORD;
    for (;;) {
        const uint64_t now = ::GetTickCount64();
        const uint64_t left = watch.MsUntilStalled(now);
        if (left == 0)
            break;
        const DWORD wait = static_cast<DWORD>(std::min<uint64_t>(left, kProgressPollMs));
        HANDLE waits[] = {t.event.Get(), m_gate.StopEvent()};
        const DWORD woke = ::WaitForMultipleObjects(2, waits, FALSE, wait);
        if (woke == WAIT_OBJECT_0) {
            ::GetOverlappedResult(device, &t.ov, &moved, FALSE);
            return {moved, false};
        }
        if (woke != WAIT_TIMEOUT)
            break; // the port is closing

        DWORD errors = 0;
        COMSTAT stat{};
        if (::ClearCommError(device, &errors, &stat)) {
            if (stat.cbOutQue < lowestQueue && lowestQueue != MAXDWORD)
                watch.Progress(::GetTickCount64());
            lowestQueue = std::min<DWORD>(lowestQueue, stat.cbOutQue);
        }
    }
    if (!CancelAndComplete(device, t.ov, true))
        return {0, true};
    // A cancelled write still reports what the device took before it.
    ::GetOverlappedResult(device, &t.ov, &moved, FALSE);
    return {moved, false};
}

int32_t CComPort::Write(const uint8_t* data, uint32_t count) {
    CPortCallGate::CVisit visit(m_gate);
    if (!visit || !m_open || !data || count == 0)
        return 0;
    CPortLockGuard io(m_ioLock);
    ReapAbandonedWrites();
    auto t = std::make_unique<CWriteTransfer>();
    t->data.reset(new (std::nothrow) uint8_t[count]);
    t->event.Reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!t->data || !t->event)
        return 0;
    std::memcpy(t->data.get(), data, count);

    const SerialLineFormat line{m_baudRate, m_dataBits, m_parity, m_stopBits};
    const uint32_t chunk = SerialWriteChunk(line);
    CSerialWriteWatch watch(::GetTickCount64(), SerialLineTimeMs(line, count),
                            StallMs(line, chunk));
    uint32_t done = 0;
    while (done < count) {
        const uint32_t ask = std::min(chunk, count - done);
        const ChunkEnd end = WriteChunk(*t, done, ask, watch);
        if (end.abandoned) {
            // The device still owns the buffer and the record: they stay
            // until it lets go, and the caller's block was never used.
            m_abandonedWrites.push_back(std::move(t));
            break;
        }
        done += std::min<uint32_t>(end.moved, ask);
        if (end.moved < ask || m_gate.Stopping())
            break; // the device's own time-out, a cancel, a failure or a close
        watch.Progress(::GetTickCount64());
    }
    return static_cast<int32_t>(done);
}

void CComPort::ReapAbandonedWrites() {
    auto& list = m_abandonedWrites;
    list.erase(std::remove_if(list.begin(), list.end(),
                              [](const std::unique_ptr<CWriteTransfer>& t) {
                                  return HasOverlappedIoCompleted(&t->ov);
                              }),
               list.end());
}

int32_t CComPort::Read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs) {
    CPortCallGate::CVisit visit(m_gate);
    if (!visit || !m_open || !buffer || count == 0)
        return 0;
    if (static_cast<uint32_t>(std::max(m_queues.ReceiveCount(), 0)) < count)
        ::Sleep(kReadShortfallSleepMs);
    const uint64_t start = ::GetTickCount64();
    uint32_t taken = 0;
    for (;;) {
        taken += static_cast<uint32_t>(m_queues.TakeReceived(buffer + taken, count - taken));
        const uint64_t elapsed = ::GetTickCount64() - start;
        if (elapsed >= timeoutMs || taken >= count || m_gate.Stopping())
            break;
        // Woken by the status thread when bytes arrive; the cap only covers
        // a signal that came before this wait began.
        const DWORD wait = static_cast<DWORD>(std::min<uint64_t>(timeoutMs - elapsed, kReadPollMs));
        if (!m_arrived || ::WaitForSingleObject(m_arrived.Get(), wait) == WAIT_FAILED)
            ::Sleep(wait);
    }
    return static_cast<int32_t>(taken);
}

void CComPort::ClosePort() {
    // A Write or Read in flight on another thread gives up and leaves first.
    m_gate.Close();
    if (m_statusThread.Stop() == ThreadEnd::Terminated && m_readState && m_device) {
        // The thread may have died with its read in flight on the buffer.
        OVERLAPPED& ov = m_readState->ov;
        if (ov.hEvent && !HasOverlappedIoCompleted(&ov) &&
            !CancelAndComplete(m_device.Get(), ov, false))
            (void)m_readState.release(); // still owned by the device: left behind on purpose
    }
    m_readState.reset();
    m_device.Close();
    m_queues.ReleaseReceive();
}
