/*
 * The printer-status register of a PC parallel port, read straight from
 * processor I/O space. Only the Windows 95 family lets a program do that,
 * and only 32-bit programs run there: the 64-bit build has no such read at
 * all, and the 32-bit one reaches it only when the version test says so.
 */
#ifndef KESTREL_DRIVERS_LPT_STATUS_REGISTER_H
#define KESTREL_DRIVERS_LPT_STATUS_REGISTER_H

#include <cstdint>
#include <optional>

// The register's raw value; empty where this build cannot read I/O ports.
std::optional<uint8_t> ReadStatusRegister(uint16_t address);

#endif
