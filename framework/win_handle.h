// Owners for kernel handles. Both NULL and INVALID_HANDLE_VALUE count as
// empty, because Win32 uses either as the failure value depending on the call.
#pragma once

#include <windows.h>

#include <utility>

namespace kestrel {

class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueHandle() { Close(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    static bool IsEmpty(HANDLE h) { return h == nullptr || h == INVALID_HANDLE_VALUE; }
    explicit operator bool() const { return !IsEmpty(handle_); }
    HANDLE Get() const { return handle_; }
    HANDLE Release() { return std::exchange(handle_, nullptr); }
    void Reset(HANDLE handle = nullptr) {
        Close();
        handle_ = handle;
    }
    // Safe to call twice: the second call finds the handle empty.
    void Close() {
        if (!IsEmpty(handle_)) ::CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    HANDLE handle_ = nullptr;
};

}  // namespace kestrel
