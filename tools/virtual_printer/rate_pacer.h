// Reading at a fixed byte rate stands for a slow serial line: the printer
// takes the host's bytes no faster than the wire would carry them.
//
// The allowance is reckoned from one anchor (the moment bytes were first
// seen waiting) rather than by adding up sleeps, so wake-up jitter does not
// accumulate over a long transfer. When the host stops sending the line goes
// idle: an idle wire carries nothing, so no credit is saved up for a burst.
#pragma once

#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>

namespace kestrel::vprinter {

class RatePacer {
  public:
    using Nanos = std::chrono::nanoseconds;
    static constexpr std::uint64_t kUnlimited = std::numeric_limits<std::uint64_t>::max();

    explicit RatePacer(std::uint64_t bytesPerSecond = 0) : rate_(bytesPerSecond) {}

    bool Limited() const { return rate_ != 0; }
    std::uint64_t Rate() const { return rate_; }
    // Changing the rate starts a new reckoning.
    void SetRate(std::uint64_t bytesPerSecond);

    bool Anchored() const { return anchor_.has_value(); }
    // Bytes have been seen waiting at `now`; the reckoning starts there
    // unless it is already running.
    void Start(Nanos now);
    // The line has gone quiet (a read found less than it was allowed).
    void Idle() { anchor_.reset(); }

    // Bytes that may be taken at `now`: kUnlimited without a rate, 0 before Start.
    std::uint64_t Allowance(Nanos now) const;
    // Time from `now` until Allowance reaches `bytes` (zero if it already has).
    Nanos Until(Nanos now, std::uint64_t bytes) const;
    void Take(std::uint64_t bytes) { taken_ += bytes; }

    // How many bytes to wait for before waking up to read: about 2 ms of the
    // line, so a slow rate does not turn into one system call per byte.
    std::uint64_t Chunk() const;

  private:
    std::uint64_t rate_;
    std::optional<Nanos> anchor_;
    std::uint64_t taken_ = 0; // since the anchor
};

} // namespace kestrel::vprinter
