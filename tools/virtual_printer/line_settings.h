// The line settings a host applied to its end of the line, as far as a
// pseudo-terminal keeps them: a pty forces eight data bits and no parity,
// so only the speed and the XON/XOFF flags can be reported.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <termios.h>

namespace kestrel::vprinter {

struct LineSettings {
    std::optional<std::uint32_t> baud; // empty for a speed code we do not know
    bool ixon = false;                 // host stops sending on XOFF from us
    bool ixoff = false;                // host sends XOFF when its input fills

    bool operator==(const LineSettings&) const = default;
};

LineSettings LineSettingsFromTermios(const termios& t);

// One line, e.g. "baud=115200 ixon=1 ixoff=1"; an unknown speed is "baud=?".
std::string FormatLineSettings(const LineSettings& s);

// Bytes per second that `baud` carries with eight data bits, no parity and
// one stop bit (ten bits a byte); 0 (no limit) for a speed of 0 or unknown.
std::uint64_t ByteRateForLine(const LineSettings& s);

// Bits per second for a termios speed code, empty when it is not one.
std::optional<std::uint32_t> BaudFromSpeed(speed_t speed);

} // namespace kestrel::vprinter
