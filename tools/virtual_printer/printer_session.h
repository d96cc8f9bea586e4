// One run of the virtual printer: waits on the line, the control channel and
// the clock, and does what the options and commands ask, until it is told
// to stop or has been idle too long.
#pragma once

#include "tools/virtual_printer/chunk_fifo.h"
#include "tools/virtual_printer/control_channel.h"
#include "tools/virtual_printer/control_command.h"
#include "tools/virtual_printer/host_link.h"
#include "tools/virtual_printer/printer_options.h"
#include "tools/virtual_printer/rate_pacer.h"
#include "tools/virtual_printer/record_file.h"
#include "tools/virtual_printer/settings_file.h"
#include "tools/virtual_printer/transport.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace kestrel::vprinter {

class PrinterSession {
  public:
    PrinterSession(const PrinterOptions& options, Transport& transport, HostLink& link);

    // Opens the record, settings and control files. The printer is ready
    // (and says so) only after this succeeded.
    bool Prepare(std::string& error);

    // Runs until `stopFd` becomes readable (a signal arrived), a quit
    // command, the idle limit or a fault. Returns the process exit code.
    int Run(int stopFd);

    std::uint64_t Received() const { return received_; }

  private:
    using Clock = std::chrono::steady_clock;

    enum class Outcome { Continue, Quit, Fault };

    std::chrono::nanoseconds SinceStart(Clock::time_point t) const { return t - start_; }
    std::uint64_t ReadLimit() const;
    bool ReadingWanted() const;
    void PollSettings();
    void FollowLineRate();
    Outcome ReadFromLine(Clock::time_point now);
    void SendToLine();
    Outcome Apply(const ControlCommand& command);
    void DropLine(const char* why);
    void Activity(Clock::time_point now) { lastActivity_ = now; }

    const PrinterOptions& options_;
    Transport& transport_;
    HostLink& link_;
    ChunkFifo chunks_;
    RecordFile record_;
    SettingsFile settings_;
    ControlChannel control_;
    RatePacer pacer_;

    Clock::time_point start_;
    Clock::time_point lastActivity_;
    std::uint64_t received_ = 0;
    bool reading_ = true;
    bool stopLimitReached_ = false; // --stop-reading-after no longer applies
    std::deque<std::uint8_t> outbox_;
    std::size_t nextSend_ = 0; // into sends_, ordered by time
    std::vector<TimedSend> sends_;
    std::string lastSettings_;
    std::optional<LineSettings> line_; // as last seen
    bool rateFromLine_ = false;
};

} // namespace kestrel::vprinter
