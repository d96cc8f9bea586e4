/*
 * The parallel port behind lpt.dll: plain blocking or overlapped transfers,
 * direct or on a worker with a time-out, and in the queue read mode a
 * status thread that polls the printer's status, reads what it sends, pokes
 * it with one byte per pass and sorts the bytes into the two queues.
 */
#ifndef KESTREL_DRIVERS_LPT_LPT_PORT_H
#define KESTREL_DRIVERS_LPT_LPT_PORT_H

#include "drivers/common/port_driver.h"
#include "drivers/common/port_call_gate.h"
#include "drivers/common/port_queues.h"
#include "drivers/common/shared_port.h"
#include "drivers/common/status_thread.h"
#include "drivers/common/win_handle.h"
#include "drivers/common/port_lock.h"
#include "drivers/common/worker_transfer.h"
#include "drivers/lpt/lpt_status_rules.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>

class CLptPort : public CDriverPort {
  public:
    // `versionWord` as GetVersion() gives it; it chooses how the status is read.
    explicit CLptPort(uint32_t versionWord);
    virtual ~CLptPort();
    CLptPort(const CLptPort&) = delete;
    CLptPort& operator=(const CLptPort&) = delete;

    int32_t SetDeviceOption(const ConnectionSettings& settings) override;
    int32_t OpenPort() override;
    int32_t Write(const uint8_t* data, uint32_t count) override;
    int32_t Read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs) override;
    void ClosePort() override;
    int32_t IsPowerState() override;
    CPortQueues& Queues() override { return m_queues; }

  private:
    struct CStatusRead; // the status thread's buffer and overlapped record

    bool QueueReadMode() const { return m_readMode != 0 && m_readMode != 1; }
    WorkerTransferTarget Target() {
        return {m_device.Get(), m_deviceSynchronous, &m_ioLock, m_gate.StopEvent()};
    }
    // The caller's blocks and the status thread's poll byte alike.
    int32_t WriteBlock(const uint8_t* data, uint32_t count);
    uint32_t DirectRead(uint8_t* buffer, uint32_t count);
    std::optional<uint8_t> RawStatus();
    std::optional<uint8_t> QueryDeviceStatus();
    DWORD StatusPass(CStatusRead& st);
    DWORD StatusRead(CStatusRead& st);

    const CLptStatusRules m_rules;

    CPortLock m_receiveLock;
    CPortLock m_statusLock;
    CPortQueues m_queues{m_receiveLock, m_statusLock};
    // One device transfer at a time (direct transfers, workers, the status
    // thread's writes; not its reads or status requests).
    CPortLock m_ioLock;
    // One Write at a time, from its first attempt to its last, so that the
    // status thread's poll byte never lands inside a caller's block and two
    // worker writes never overlap. Taken before m_ioLock, never after.
    CPortLock m_writeLock;
    CStatusThread m_statusThread;
    CPortCallGate m_gate; // the caller's Write and Read against ClosePort
    // Heap-held so that a status thread that had to be terminated with a
    // read in flight can leave it behind instead of freeing it under the I/O.
    std::unique_ptr<CStatusRead> m_statusRead;

    // Caller's thread only, except: the status thread uses m_device and
    // m_deviceSynchronous while it runs (set before it starts, changed only
    // after it has stopped).
    CHandle m_device;
    // How the held device was opened: blocking only on the 95 family (see
    // OpenPort), overlapped everywhere else whatever the caller asked.
    bool m_deviceSynchronous = false;
    std::string m_portName;
    LptTimeouts m_timeouts;
    int32_t m_queueCapacity = 0;
    int32_t m_synchronous = 0;
    std::atomic<int32_t> m_readMode{0};
    // Read by the status thread's writes; written by SetDeviceOption.
    std::atomic<int32_t> m_writeMode{0};
    std::atomic<uint32_t> m_writeBaseMs{1000};
    std::atomic<uint32_t> m_readBaseMs{1000};
    // The second port's until SetDeviceOption names the first.
    std::atomic<uint16_t> m_statusAddress;

    std::atomic<bool> m_open{false}; // caller writes, status thread reads
    std::atomic<int32_t> m_ready{0}; // OpenPort and the status thread write
};

#endif
