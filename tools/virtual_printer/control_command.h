// The run-time control channel: a test writes one command per line into a
// FIFO (a Windows program under Wine reaches it as Z:\path\to\control).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::vprinter {

enum class ControlAction {
    Send,          // send <hex bytes>: bytes from the printer to the host
    StopReading,   // stop-reading: leave what the host writes in the line
    ResumeReading, // resume-reading
    Drop,          // drop: hang up the line
    SetRate,       // rate <bytes per second> (0 = as fast as it comes) | rate line
    Quit,          // quit: end the printer as SIGTERM would
    Chunk,         // chunk <hex bytes>: one read's worth to the host (--chunks)
    Unplug,        // unplug: remove the --link symlink, as a USB printer pulled out
    Plug,          // plug: make it again
};

struct ControlCommand {
    ControlAction action = ControlAction::Quit;
    std::vector<std::uint8_t> bytes; // Send, Chunk
    std::uint64_t rate = 0;          // SetRate
    bool rateFromLine = false;       // SetRate: follow the host's baud rate
};

struct ControlParse {
    std::optional<ControlCommand> command; // empty for blank lines, comments and errors
    std::string error;                     // set for lines that are not commands
};

ControlParse ParseControlLine(std::string_view line);

// Cuts a byte stream into lines. Writers on Windows end lines with CR LF;
// a line that grows past the bound is a writer gone wrong and is dropped
// rather than held in memory without end.
class ControlLineBuffer {
  public:
    static constexpr std::size_t kMaxLine = 4096;

    void Append(std::string_view chunk);
    std::optional<std::string> NextLine();

  private:
    std::string pending_;
    std::size_t tail_ = 0;    // length of the unfinished last line
    bool discarding_ = false; // inside an overlong line, until its end
};

} // namespace kestrel::vprinter
