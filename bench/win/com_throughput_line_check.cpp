// Proves the serial harness before it is trusted with a benchmark: opens
// \\.\COMn as a program would, sets 115200 baud 8N1 with XON/XOFF both ways,
// and writes a counting pattern (byte i is i mod 256) that the virtual
// printer must record unchanged. Given the printer's control file, it also
// has the printer send a status record and reads it back through the port.
// Given a device path instead of a COM number (\\.\LPT2, \\?\usb#...), it
// leaves the line settings alone and only writes (and reads back when the
// device takes serial time-outs).
// Usage: com_throughput_line_check.exe COM-NUMBER|DEVICE-PATH BYTE-COUNT [CONTROL-PATH]
#include "framework/win_handle.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool ReadBackStatusRecord(HANDLE port, const char* controlPath) {
    {
        kestrel::UniqueHandle control(CreateFileA(controlPath, GENERIC_WRITE, FILE_SHARE_READ,
                                                  nullptr, OPEN_EXISTING, 0, nullptr));
        if (!control) {
            const DWORD error = GetLastError();
            std::fprintf(stderr, "CreateFile %s: error %lu\n", controlPath, error);
            return false;
        }
        const char command[] = "send 14 00 00 0f\r\n";
        DWORD done = 0;
        if (!WriteFile(control.Get(), command, sizeof command - 1, &done, nullptr) ||
            done != sizeof command - 1) {
            const DWORD error = GetLastError();
            std::fprintf(stderr, "writing the control file: error %lu\n", error);
            return false;
        }
    }
    unsigned char record[4] = {};
    DWORD got = 0;
    while (got < sizeof record) {
        DWORD n = 0;
        // The port's read time-out bounds each call; a call that times out reads nothing.
        if (!ReadFile(port, record + got, sizeof record - got, &n, nullptr) || n == 0) {
            const DWORD error = GetLastError();
            std::fprintf(stderr, "ReadFile: %lu of 4 bytes, error %lu\n", got, error);
            return false;
        }
        got += n;
    }
    const unsigned char want[4] = {0x14, 0x00, 0x00, 0x0F};
    if (std::memcmp(record, want, sizeof want) != 0) {
        std::fprintf(stderr, "read back %02x %02x %02x %02x, not 14 00 00 0f\n", record[0],
                     record[1], record[2], record[3]);
        return false;
    }
    std::printf("read back the status record 14 00 00 0f\n");
    return true;
}

// 115200 baud 8N1, XON/XOFF both ways.
bool SetLine(HANDLE port) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port, &dcb)) {
        const DWORD error = GetLastError();
        std::fprintf(stderr, "GetCommState: error %lu\n", error);
        return false;
    }
    dcb.BaudRate = 115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fOutX = 1;
    dcb.fInX = 1;
    if (!SetCommState(port, &dcb)) {
        const DWORD error = GetLastError();
        std::fprintf(stderr, "SetCommState: error %lu\n", error);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s COM-NUMBER|DEVICE-PATH BYTE-COUNT [CONTROL-PATH]\n",
                     argv[0]);
        return 2;
    }
    const std::string port_arg = argv[1];
    const bool serial = port_arg.find_first_not_of("0123456789") == std::string::npos;
    const std::string path = serial ? "\\\\.\\COM" + port_arg : port_arg;
    const unsigned long count = std::strtoul(argv[2], nullptr, 10);

    kestrel::UniqueHandle port(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    if (!port) {
        const DWORD error = GetLastError();
        std::fprintf(stderr, "CreateFile %s: error %lu\n", path.c_str(), error);
        return 1;
    }
    if (serial && !SetLine(port.Get()))
        return 1;
    // A bound, so a printer that stopped reading fails the check instead of hanging it.
    COMMTIMEOUTS timeouts{};
    timeouts.WriteTotalTimeoutConstant = 20000;
    timeouts.ReadTotalTimeoutConstant = 10000;
    const bool bounded = SetCommTimeouts(port.Get(), &timeouts) != 0;
    if (!bounded && serial) {
        const DWORD error = GetLastError();
        std::fprintf(stderr, "SetCommTimeouts: error %lu\n", error);
        return 1;
    }
    std::vector<unsigned char> bytes(count);
    for (unsigned long i = 0; i < count; ++i)
        bytes[i] = static_cast<unsigned char>(i & 0xFF);
    DWORD written = 0;
    if (!WriteFile(port.Get(), bytes.data(), count, &written, nullptr) || written != count) {
        const DWORD error = GetLastError();
        std::fprintf(stderr, "WriteFile: %lu of %lu bytes, error %lu\n", written, count, error);
        return 1;
    }
    std::printf("wrote %lu bytes to %s\n", written, path.c_str());
    if (argc == 4) {
        // Without a read time-out a lost record would hang the check.
        if (!bounded)
            std::printf("no serial time-outs on %s: status record not read back\n", path.c_str());
        else if (!ReadBackStatusRecord(port.Get(), argv[3]))
            return 1;
    }
    return 0;
}
