/*
 * The serial port behind com.dll: an overlapped communications device with
 * DTR/DSR handshake (plus XON/XOFF on request), a status thread that
 * watches CTS for the power state and sorts what the printer sends, and a
 * write that waits for the device to take each block for as long as the
 * line needs and the device keeps taking bytes.
 */
#ifndef KESTREL_DRIVERS_COM_COM_PORT_H
#define KESTREL_DRIVERS_COM_COM_PORT_H

#include "drivers/common/port_driver.h"
#include "drivers/common/port_call_gate.h"
#include "drivers/common/port_queues.h"
#include "drivers/common/shared_port.h"
#include "drivers/common/serial_write_watch.h"
#include "drivers/common/status_thread.h"
#include "drivers/common/win_handle.h"
#include "drivers/common/port_lock.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

constexpr int32_t kPowerNotPolled = 2000;
constexpr int32_t kPowerCtsOn = 2001;
constexpr int32_t kPowerCtsOff = 2003;

class CComPort : public CDriverPort {
  public:
    CComPort();
    virtual ~CComPort();
    CComPort(const CComPort&) = delete;
    CComPort& operator=(const CComPort&) = delete;

    int32_t SetDeviceOption(const ConnectionSettings& settings) override;
    int32_t OpenPort() override;
    int32_t Write(const uint8_t* data, uint32_t count) override;
    int32_t Read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs) override;
    void ClosePort() override;
    int32_t IsPowerState() override { return m_powerState.load(); }
    CPortQueues& Queues() override { return m_queues; }

  private:
    struct CReadState;     // the status thread's buffer and overlapped record
    struct CWriteTransfer; // one block's copy and overlapped record
    struct ChunkEnd {
        DWORD moved;
        bool abandoned; // cancelled but not completed: the device still owns it
    };

    DWORD StatusPass(CReadState& st);
    uint64_t StallMs(const SerialLineFormat& line, uint32_t chunk) const;
    ChunkEnd WriteChunk(CWriteTransfer& t, uint32_t offset, uint32_t count,
                        CSerialWriteWatch& watch);
    void ReapAbandonedWrites();

    CPortLock m_receiveLock;
    CPortLock m_statusLock;
    CPortQueues m_queues{m_receiveLock, m_statusLock};
    CPortLock m_ioLock; // Write only
    CStatusThread m_statusThread;
    CPortCallGate m_gate; // the caller's Write and Read against ClosePort
    // Heap-held so that a status thread that had to be terminated with a
    // read in flight can leave it behind instead of freeing it under the I/O.
    std::unique_ptr<CReadState> m_readState;
    // Writes whose cancellation did not complete; freed once the device
    // lets go of them (Write's thread, under the I/O lock).
    std::vector<std::unique_ptr<CWriteTransfer>> m_abandonedWrites;
    // Auto-reset: set by the status thread when bytes reach the receive
    // queue, waited on by Read.
    CHandle m_arrived;

    // Caller's thread only, except: the status thread reads m_device while
    // it runs (set before it starts, closed after it stops).
    CHandle m_device;
    std::string m_portName;
    int32_t m_baudRate = 0, m_dataBits = 0, m_stopBits = 0, m_parity = 0, m_handshake = 0;
    COMMTIMEOUTS m_timeouts{};
    int32_t m_queueCapacity = 0;
    int32_t m_outputBufferSize = 0; // kept, not used
    int32_t m_writeTimeout = 0;     // base of the stall bound

    std::atomic<bool> m_open{false};                    // caller writes, status thread reads
    std::atomic<int32_t> m_powerState{kPowerNotPolled}; // status thread writes
};

#endif
