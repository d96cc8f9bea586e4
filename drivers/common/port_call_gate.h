/*
 * How a port is closed while a Write or Read of it may be in flight on
 * another thread (kestrelc closes the port from its main thread on Ctrl+C
 * while its driver thread is stuck on a printer that stopped reading).
 * Every call passes the gate; ClosePort raises the stop event, which each
 * wait of a transfer watches, and waits (bounded) until the calls inside
 * have left, so that the device and the threads can go under nobody's feet
 * and the library can be unloaded once ClosePort returns.
 */
#ifndef KESTREL_DRIVERS_COMMON_PORT_CALL_GATE_H
#define KESTREL_DRIVERS_COMMON_PORT_CALL_GATE_H

#include "drivers/common/win_handle.h"

#include <atomic>
#include <cstdint>

class CPortCallGate {
  public:
    CPortCallGate();
    CPortCallGate(const CPortCallGate&) = delete;
    CPortCallGate& operator=(const CPortCallGate&) = delete;

    // Manual-reset; set from the start of a close until the next open.
    HANDLE StopEvent() const { return m_stop.Get(); }
    bool Stopping() const { return m_stopping.load(); }
    // At OpenPort, with no call inside: transfers may run again.
    void Open();
    // Raises the stop signal and waits up to kCallsLeaveWaitMs for the calls
    // inside to leave. False when one is still inside.
    bool Close();

    // One call's stay in the port; false (and nothing to do) while closing.
    class CVisit {
      public:
        explicit CVisit(CPortCallGate& gate);
        ~CVisit();
        CVisit(const CVisit&) = delete;
        CVisit& operator=(const CVisit&) = delete;
        explicit operator bool() const { return m_inside; }

      private:
        CPortCallGate& m_gate;
        bool m_inside;
    };

  private:
    CHandle m_stop;
    std::atomic<bool> m_stopping{false};
    std::atomic<int32_t> m_inside{0};
};

#endif
