// The printer's end of a connection. The pty is the first kind; a TCP
// listener on 127.0.0.1 or a file/FIFO pair fit the same shape: a
// descriptor to wait on, byte transfers that never block, a way to hang up,
// and line settings where the connection has any.
#pragma once

#include "tools/virtual_printer/line_settings.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace kestrel::vprinter {

struct IoResult {
    enum class Kind { Done, WouldBlock, Closed, Failed };
    Kind kind = Kind::Done;
    std::size_t count = 0; // bytes moved when Done
    int error = 0;         // errno when Failed
};

class Transport {
  public:
    virtual ~Transport() = default;

    // The line printed when the printer is ready, e.g. "PTY /dev/pts/7".
    virtual std::string ReadyLine() const = 0;
    // The path a host opens, for --link; empty when there is none.
    virtual std::string HostPath() const = 0;

    // Descriptor to poll for incoming bytes and room to send; -1 when gone.
    virtual int PollFd() const = 0;
    virtual IoResult Receive(std::span<std::uint8_t> buffer) = 0;
    virtual IoResult Send(std::span<const std::uint8_t> bytes) = 0;
    // Hang up. The host sees the line fail; nothing moves afterwards.
    virtual void Drop() = 0;
    virtual bool Dropped() const = 0;

    // What the host set, where the connection keeps line settings.
    virtual std::optional<LineSettings> Settings() const = 0;
};

} // namespace kestrel::vprinter
