// What the virtual printer is asked to do, read from its command line.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::vprinter {

// Bytes the printer sends on its own at a time after it is ready.
struct TimedSend {
    std::chrono::milliseconds at{0};
    std::vector<std::uint8_t> bytes;
};

struct PrinterOptions {
    std::string recordPath;               // every byte received, appended as it arrives
    std::string settingsPath;             // the line settings the host applied
    std::string controlPath;              // FIFO of run-time commands
    std::string linkPath;                 // symlink to the host's end of the line
    std::string chunksPath;               // FIFO for printer-to-host chunks (USB)
    std::optional<std::uint16_t> tcpPort; // listen on 127.0.0.1 instead of a pty
    // TCP only: the connection's receive buffer (SO_RCVBUF). Loopback buffers
    // otherwise grow to megabytes and swallow a whole image, so a printer
    // that stops reading would never be felt by the host.
    std::optional<std::uint64_t> receiveBuffer;
    std::uint64_t rate = 0;               // bytes per second read from the line; 0 = no limit
    bool rateFromLine = false;            // follow the host's baud rate instead (8N1: baud / 10)
    std::optional<std::uint64_t> stopReadingAfter;
    std::optional<std::uint64_t> dropAfter;
    std::vector<TimedSend> sends; // in the order given
    std::optional<std::chrono::milliseconds> idleExit;
    bool help = false;
};

struct OptionsParse {
    std::optional<PrinterOptions> options;
    std::string error;
};

// args excludes the program name. "--opt value" and "--opt=value" both work.
OptionsParse ParsePrinterOptions(const std::vector<std::string_view>& args);

const char* PrinterUsage();

} // namespace kestrel::vprinter
