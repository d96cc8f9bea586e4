#include "tools/virtual_printer/printer_session.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <poll.h>
#include <vector>

namespace kestrel::vprinter {
namespace {

using namespace std::chrono_literals;

// How often the host's line settings are looked at: a pty gives no notice
// when they change.
constexpr auto kSettingsPoll = 20ms;
// Upper bound on one wait, so the loop looks at the clock now and then even
// with nothing scheduled.
constexpr auto kLongestWait = 1000ms;
constexpr std::size_t kReadBuffer = 65536;

void Log(const std::string& message) {
    std::cerr << "virtual_printer: " << message << std::endl;
}

} // namespace

PrinterSession::PrinterSession(const PrinterOptions& options, Transport& transport, HostLink& link)
    : options_(options), transport_(transport), link_(link), settings_(options.settingsPath),
      pacer_(options.rate), sends_(options.sends), rateFromLine_(options.rateFromLine) {
    std::stable_sort(sends_.begin(), sends_.end(),
                     [](const TimedSend& a, const TimedSend& b) { return a.at < b.at; });
    reading_ = !(options_.stopReadingAfter && *options_.stopReadingAfter == 0);
    stopLimitReached_ = !reading_;
}

bool PrinterSession::Prepare(std::string& error) {
    if (!record_.Open(options_.recordPath, error))
        return false;
    if (!options_.controlPath.empty() && !control_.Open(options_.controlPath, error))
        return false;
    if (!options_.chunksPath.empty() && !chunks_.Open(options_.chunksPath, error))
        return false;
    PollSettings();
    return true;
}

std::uint64_t PrinterSession::ReadLimit() const {
    std::uint64_t limit = RatePacer::kUnlimited;
    if (options_.dropAfter)
        limit = std::min(limit, *options_.dropAfter - std::min(*options_.dropAfter, received_));
    if (options_.stopReadingAfter && !stopLimitReached_)
        limit = std::min(limit, *options_.stopReadingAfter -
                                    std::min(*options_.stopReadingAfter, received_));
    return limit;
}

bool PrinterSession::ReadingWanted() const {
    return reading_ && !transport_.Dropped() && ReadLimit() > 0;
}

void PrinterSession::PollSettings() {
    const auto settings = transport_.Settings();
    if (!settings)
        return;
    line_ = settings;
    FollowLineRate();
    const std::string line = FormatLineSettings(*settings);
    if (line == lastSettings_)
        return;
    lastSettings_ = line;
    lastActivity_ = Clock::now();
    std::string error;
    if (!settings_.Update(line, error))
        Log(error);
}

void PrinterSession::FollowLineRate() {
    if (!rateFromLine_ || !line_)
        return;
    const std::uint64_t rate = ByteRateForLine(*line_);
    if (rate != pacer_.Rate())
        pacer_.SetRate(rate);
}

void PrinterSession::DropLine(const char* why) {
    if (transport_.Dropped())
        return;
    transport_.Drop();
    outbox_.clear();
    Log(std::string("dropped the line (") + why + ") after " + std::to_string(received_) +
        " bytes");
}

PrinterSession::Outcome PrinterSession::ReadFromLine(Clock::time_point now) {
    const auto at = SinceStart(now);
    if (pacer_.Limited() && !pacer_.Anchored()) {
        // Bytes are waiting: from here on they arrive at the line's pace.
        pacer_.Start(at);
        return Outcome::Continue;
    }
    const std::uint64_t allowed =
        std::min<std::uint64_t>({pacer_.Allowance(at), ReadLimit(), kReadBuffer});
    if (allowed == 0)
        return Outcome::Continue;
    std::uint8_t buffer[kReadBuffer];
    const IoResult r = transport_.Receive(std::span(buffer, static_cast<std::size_t>(allowed)));
    switch (r.kind) {
    case IoResult::Kind::WouldBlock:
        pacer_.Idle();
        return Outcome::Continue;
    case IoResult::Kind::Closed:
        DropLine("host end gone");
        return Outcome::Continue;
    case IoResult::Kind::Failed:
        Log(std::string("read: ") + std::strerror(r.error));
        return Outcome::Fault;
    case IoResult::Kind::Done:
        break;
    }
    if (r.count < allowed)
        pacer_.Idle();
    if (r.count == 0)
        return Outcome::Continue;
    pacer_.Take(r.count);
    received_ += r.count;
    Activity(now);
    std::string error;
    if (!record_.Append(std::span(buffer, r.count), error)) {
        Log(error);
        return Outcome::Fault;
    }
    if (options_.stopReadingAfter && !stopLimitReached_ &&
        received_ >= *options_.stopReadingAfter) {
        stopLimitReached_ = true;
        reading_ = false;
        pacer_.Idle();
        Log("stopped reading after " + std::to_string(received_) + " bytes");
    }
    if (options_.dropAfter && received_ >= *options_.dropAfter)
        DropLine("--drop-after");
    return Outcome::Continue;
}

void PrinterSession::SendToLine() {
    std::vector<std::uint8_t> chunk(outbox_.begin(), outbox_.end());
    const IoResult r = transport_.Send(chunk);
    if (r.kind == IoResult::Kind::Done) {
        outbox_.erase(outbox_.begin(), outbox_.begin() + static_cast<std::ptrdiff_t>(r.count));
        Activity(Clock::now());
    } else if (r.kind == IoResult::Kind::Closed) {
        DropLine("host end gone");
    } else if (r.kind == IoResult::Kind::Failed) {
        Log(std::string("send: ") + std::strerror(r.error) + "; bytes discarded");
        outbox_.clear();
    }
}

PrinterSession::Outcome PrinterSession::Apply(const ControlCommand& command) {
    switch (command.action) {
    case ControlAction::Send:
        if (transport_.Dropped())
            Log("send after the line was dropped: ignored");
        else
            outbox_.insert(outbox_.end(), command.bytes.begin(), command.bytes.end());
        break;
    case ControlAction::StopReading:
        reading_ = false;
        pacer_.Idle();
        break;
    case ControlAction::ResumeReading:
        reading_ = true;
        break;
    case ControlAction::Drop:
        DropLine("command");
        break;
    case ControlAction::SetRate:
        rateFromLine_ = command.rateFromLine;
        if (rateFromLine_)
            FollowLineRate();
        else
            pacer_.SetRate(command.rate);
        break;
    case ControlAction::Chunk: {
        std::string error;
        if (!chunks_.IsOpen())
            Log("chunk without --chunks: ignored");
        else if (!chunks_.Write(command.bytes, error))
            Log(error);
        break;
    }
    case ControlAction::Unplug:
        if (!link_.Made())
            Log("unplug without --link: ignored");
        link_.Unplug();
        break;
    case ControlAction::Plug: {
        std::string error;
        if (!link_.Made())
            Log("plug without --link: ignored");
        else if (!link_.Plug(error))
            Log(error);
        break;
    }
    case ControlAction::Quit:
        return Outcome::Quit;
    }
    return Outcome::Continue;
}

int PrinterSession::Run(int stopFd) {
    start_ = Clock::now();
    lastActivity_ = start_;
    auto nextSettingsPoll = start_;
    if (options_.dropAfter && *options_.dropAfter == 0)
        DropLine("--drop-after 0");

    for (;;) {
        const auto now = Clock::now();
        while (nextSend_ < sends_.size() && start_ + sends_[nextSend_].at <= now) {
            const auto& bytes = sends_[nextSend_++].bytes;
            if (!transport_.Dropped())
                outbox_.insert(outbox_.end(), bytes.begin(), bytes.end());
        }
        if (now >= nextSettingsPoll && !transport_.Dropped()) {
            PollSettings();
            nextSettingsPoll = now + kSettingsPoll;
        }
        if (options_.idleExit && now - lastActivity_ >= *options_.idleExit) {
            Log("idle for " + std::to_string(options_.idleExit->count()) + " ms: exiting");
            return 0;
        }

        auto wakeAt = now + kLongestWait;
        if (!transport_.Dropped())
            wakeAt = std::min(wakeAt, nextSettingsPoll);
        if (nextSend_ < sends_.size())
            wakeAt = std::min(wakeAt, start_ + sends_[nextSend_].at);
        if (options_.idleExit)
            wakeAt = std::min(wakeAt, lastActivity_ + *options_.idleExit);

        short lineEvents = 0;
        if (!transport_.Dropped()) {
            if (ReadingWanted()) {
                if (!pacer_.Limited() || !pacer_.Anchored()) {
                    lineEvents |= POLLIN;
                } else {
                    const std::uint64_t want = std::min(pacer_.Chunk(), ReadLimit());
                    const auto wait = pacer_.Until(SinceStart(now), want);
                    if (wait.count() == 0)
                        lineEvents |= POLLIN;
                    else
                        wakeAt = std::min(wakeAt,
                                          now + std::chrono::duration_cast<Clock::duration>(wait));
                }
            }
            if (!outbox_.empty())
                lineEvents |= POLLOUT;
        }

        std::vector<pollfd> fds;
        fds.push_back({stopFd, POLLIN, 0});
        const int controlIndex = control_.PollFd() >= 0 ? static_cast<int>(fds.size()) : -1;
        if (controlIndex >= 0)
            fds.push_back({control_.PollFd(), POLLIN, 0});
        const int lineIndex = lineEvents != 0 ? static_cast<int>(fds.size()) : -1;
        if (lineIndex >= 0)
            fds.push_back({transport_.PollFd(), lineEvents, 0});

        // Round up, so a wait for a few microseconds does not become a spin.
        const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(
            std::max(Clock::duration::zero(), wakeAt - now));
        const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(waitMs.count()));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            Log(std::string("poll: ") + std::strerror(errno));
            return 1;
        }
        if (ready == 0)
            continue;
        if (fds[0].revents != 0)
            return 0;
        if (controlIndex >= 0 && fds[static_cast<std::size_t>(controlIndex)].revents != 0) {
            for (const std::string& line : control_.ReadLines()) {
                Activity(Clock::now());
                const ControlParse parsed = ParseControlLine(line);
                if (!parsed.error.empty())
                    Log("control: " + parsed.error);
                if (!parsed.command)
                    continue;
                const Outcome outcome = Apply(*parsed.command);
                // A test that must know a command took effect waits for this line.
                Log("applied: " + line);
                if (outcome == Outcome::Quit)
                    return 0;
            }
        }
        if (lineIndex >= 0 && !transport_.Dropped()) {
            const short revents = fds[static_cast<std::size_t>(lineIndex)].revents;
            if (revents & POLLIN) {
                if (ReadFromLine(Clock::now()) == Outcome::Fault)
                    return 1;
            } else if (revents & (POLLERR | POLLHUP | POLLNVAL)) {
                // Nothing to read yet the line reports trouble: waiting on it
                // again would spin.
                DropLine("line error");
            }
            if ((revents & POLLOUT) && !transport_.Dropped())
                SendToLine();
        }
    }
}

} // namespace kestrel::vprinter
