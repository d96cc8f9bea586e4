#include "drivers/lpt/status_register.h"

#if defined(__i386__)

std::optional<uint8_t> ReadStatusRegister(uint16_t address) {
    uint8_t value;
    __asm__ __volatile__("inb %1, %0" : "=a"(value) : "Nd"(address));
    return value;
}

#else

std::optional<uint8_t> ReadStatusRegister(uint16_t) {
    return std::nullopt;
}

#endif
