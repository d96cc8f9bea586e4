/*
 * Owner of one kernel handle (file, event, mutex, thread). Win32 reports
 * "no handle" as NULL from some calls and INVALID_HANDLE_VALUE from others;
 * both count as empty here, so callers never have to remember which.
 */
#ifndef KESTREL_DRIVERS_COMMON_WIN_HANDLE_H
#define KESTREL_DRIVERS_COMMON_WIN_HANDLE_H

#include <windows.h>

class CHandle {
  public:
    CHandle() = default;
    explicit CHandle(HANDLE h) : m_h(Normal(h)) {}
    ~CHandle() { Close(); }
    CHandle(CHandle&& other) noexcept : m_h(other.Release()) {}
    CHandle& operator=(CHandle&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;

    HANDLE Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr; }

    void Reset(HANDLE h = nullptr) {
        Close();
        m_h = Normal(h);
    }
    // Gives up ownership without closing.
    HANDLE Release() {
        HANDLE h = m_h;
        m_h = nullptr;
        return h;
    }
    void Close() {
        if (m_h) {
            ::CloseHandle(m_h);
            m_h = nullptr;
        }
    }

  private:
    static HANDLE Normal(HANDLE h) { return h == INVALID_HANDLE_VALUE ? nullptr : h; }
    HANDLE m_h = nullptr;
};

#endif
