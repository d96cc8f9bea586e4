#include "tools/virtual_printer/line_settings.h"

namespace kestrel::vprinter {
namespace {

struct SpeedCode {
    speed_t code;
    std::uint32_t baud;
};

constexpr SpeedCode kSpeeds[] = {
    {B0, 0},           {B50, 50},     {B75, 75},       {B110, 110},
    {B134, 134},       {B150, 150},   {B200, 200},     {B300, 300},
    {B600, 600},       {B1200, 1200}, {B1800, 1800},   {B2400, 2400},
    {B4800, 4800},     {B9600, 9600}, {B19200, 19200}, {B38400, 38400},
#ifdef B57600
    {B57600, 57600},
#endif
#ifdef B115200
    {B115200, 115200},
#endif
#ifdef B230400
    {B230400, 230400},
#endif
#ifdef B460800
    {B460800, 460800},
#endif
#ifdef B921600
    {B921600, 921600},
#endif
};

} // namespace

std::optional<std::uint32_t> BaudFromSpeed(speed_t speed) {
    for (const SpeedCode& s : kSpeeds)
        if (s.code == speed)
            return s.baud;
    return std::nullopt;
}

LineSettings LineSettingsFromTermios(const termios& t) {
    LineSettings s;
    s.baud = BaudFromSpeed(cfgetospeed(&t));
    s.ixon = (t.c_iflag & IXON) != 0;
    s.ixoff = (t.c_iflag & IXOFF) != 0;
    return s;
}

std::uint64_t ByteRateForLine(const LineSettings& s) {
    if (!s.baud || *s.baud == 0)
        return 0;
    return *s.baud < 10 ? 1 : *s.baud / 10;
}

std::string FormatLineSettings(const LineSettings& s) {
    std::string out = "baud=";
    out += s.baud ? std::to_string(*s.baud) : "?";
    out += s.ixon ? " ixon=1" : " ixon=0";
    out += s.ixoff ? " ixoff=1" : " ixoff=0";
    return out;
}

} // namespace kestrel::vprinter
