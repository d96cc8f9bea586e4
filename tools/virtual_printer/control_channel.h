// The FIFO that carries run-time commands. The printer holds a writer of
// its own on it, so that a test closing its end is not an end of file that
// would wake the printer without pause; a test may open, write and close
// as often as it likes.
#pragma once

#include "tools/virtual_printer/control_command.h"
#include "tools/virtual_printer/unique_fd.h"

#include <string>
#include <vector>

namespace kestrel::vprinter {

class ControlChannel {
  public:
    ControlChannel() = default;
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;
    ~ControlChannel();

    // Makes the FIFO (replacing a stale FIFO left by a killed run).
    bool Open(const std::string& path, std::string& error);
    int PollFd() const { return reader_.Get(); }
    // Reads what is waiting; returns complete lines.
    std::vector<std::string> ReadLines();

  private:
    std::string path_;
    UniqueFd reader_;
    UniqueFd keepOpen_;
    ControlLineBuffer lines_;
};

} // namespace kestrel::vprinter
