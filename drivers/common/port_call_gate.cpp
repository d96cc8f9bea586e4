#include "drivers/common/port_call_gate.h"

#include "drivers/common/port_bounds.h"

CPortCallGate::CPortCallGate() : m_stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

void CPortCallGate::Open() {
    m_stopping = false;
    if (m_stop)
        ::ResetEvent(m_stop.Get());
}

bool CPortCallGate::Close() {
    // The flag first: a call that enters after it turns back at once; one
    // that entered before is counted below and sees the event.
    m_stopping = true;
    if (m_stop)
        ::SetEvent(m_stop.Get());
    const ULONGLONG start = ::GetTickCount64();
    while (m_inside.load() > 0) {
        if (::GetTickCount64() - start > kCallsLeaveWaitMs)
            return false;
        ::Sleep(1);
    }
    return true;
}

CPortCallGate::CVisit::CVisit(CPortCallGate& gate) : m_gate(gate), m_inside(true) {
    m_gate.m_inside.fetch_add(1);
    if (m_gate.m_stopping.load()) {
        m_gate.m_inside.fetch_sub(1);
        m_inside = false;
    }
}

CPortCallGate::CVisit::~CVisit() {
    if (m_inside)
        m_gate.m_inside.fetch_sub(1);
}
