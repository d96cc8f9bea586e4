#include "drivers/common/windows_family.h"

bool IsWindows95Family(uint32_t versionWord) {
    return (versionWord & 0x80000000u) != 0 && (versionWord & 0xFFu) >= 4;
}
