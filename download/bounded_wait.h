// A wait that lets the window paint between short slices and ends by the
// clock. Counting slices instead would let every repaint between them
// stretch the bound: a 30 s limit could last minutes on a busy machine.
#pragma once

#include <cstdint>
#include <functional>

namespace kestrel {

enum class SliceResult { Ready, Failed, NotYet };
enum class WaitResult { Ready, Failed, TimedOut };

// How long one slice may wait before the window gets its turn.
inline constexpr uint32_t kWaitSliceMs = 20;

// Calls `slice` with at most kWaitSliceMs (never more than what is left)
// until it is Ready or Failed, or until `limitMs` have passed on `nowMs`.
WaitResult WaitInSlices(uint32_t limitMs, const std::function<uint64_t()>& nowMs,
                        const std::function<SliceResult(uint32_t sliceMs)>& slice);

} // namespace kestrel
