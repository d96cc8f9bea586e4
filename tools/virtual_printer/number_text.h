// Strict number reading for options and commands: the whole text must be the
// number, so "115200x" or "-1" is refused instead of read as something else.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrel::vprinter {

// Bytes per second: far above any serial line, low enough that the pacing
// arithmetic cannot overflow.
inline constexpr std::uint64_t kMaxRate = 1'000'000'000;

std::optional<std::uint64_t> ParseUnsigned(std::string_view text, std::uint64_t max);

// "5", "0.25": seconds with an optional fraction, to millisecond precision.
std::optional<std::chrono::milliseconds> ParseSeconds(std::string_view text);

} // namespace kestrel::vprinter
