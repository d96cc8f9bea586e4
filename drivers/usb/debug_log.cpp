#include "drivers/usb/debug_log.h"

#include "drivers/common/win_handle.h"

void AppendDebugLog(const uint8_t* data, uint32_t count) {
    CHandle file(::CreateFileA("debug.bin", GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return;
    ::SetFilePointer(file.Get(), 0, nullptr, FILE_END);
    DWORD written = 0;
    ::WriteFile(file.Get(), data, count, &written, nullptr);
}
