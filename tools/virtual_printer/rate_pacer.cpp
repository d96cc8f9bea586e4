#include "tools/virtual_printer/rate_pacer.h"

#include <algorithm>

namespace kestrel::vprinter {
namespace {

constexpr std::uint64_t kNanosPerSecond = 1'000'000'000;

// rate * elapsed / 1e9 without overflow: rate is at most 1e9 and a run
// lasts far less than the centuries it would take to overflow this way.
std::uint64_t BytesIn(std::uint64_t rate, std::uint64_t elapsedNs) {
    return (elapsedNs / kNanosPerSecond) * rate +
           (elapsedNs % kNanosPerSecond) * rate / kNanosPerSecond;
}

// The first moment (ns after the anchor) at which `bytes` are allowed.
std::uint64_t NanosFor(std::uint64_t rate, std::uint64_t bytes) {
    const std::uint64_t whole = bytes / rate;
    const std::uint64_t rest = bytes % rate;
    return whole * kNanosPerSecond + (rest * kNanosPerSecond + rate - 1) / rate;
}

} // namespace

void RatePacer::SetRate(std::uint64_t bytesPerSecond) {
    rate_ = bytesPerSecond;
    Idle();
}

void RatePacer::Start(Nanos now) {
    if (anchor_)
        return;
    anchor_ = now;
    taken_ = 0;
}

std::uint64_t RatePacer::Allowance(Nanos now) const {
    if (!Limited())
        return kUnlimited;
    if (!anchor_ || now <= *anchor_)
        return 0;
    const std::uint64_t carried =
        BytesIn(rate_, static_cast<std::uint64_t>((now - *anchor_).count()));
    return carried > taken_ ? carried - taken_ : 0;
}

RatePacer::Nanos RatePacer::Until(Nanos now, std::uint64_t bytes) const {
    if (!Limited() || bytes == 0)
        return Nanos{0};
    // Not yet anchored: the reckoning would start now, with nothing taken.
    const Nanos anchor = anchor_.value_or(now);
    const std::uint64_t taken = anchor_ ? taken_ : 0;
    const Nanos due = anchor + Nanos(static_cast<Nanos::rep>(NanosFor(rate_, taken + bytes)));
    return due > now ? due - now : Nanos{0};
}

std::uint64_t RatePacer::Chunk() const {
    if (!Limited())
        return 1;
    return std::max<std::uint64_t>(1, rate_ / 500);
}

} // namespace kestrel::vprinter
