// Keeps the user-interface thread alive while a download holds it: paint,
// timer and sent messages are handled so Windows never marks the window as
// not responding, while keyboard and mouse input is thrown away, because
// nothing may be pressed while firmware is on the wire.
#pragma once

#include <cstdint>
#include <limits>

namespace kestrel {

// Microseconds from a performance-counter reading. Divides before it
// multiplies: counter * 1,000,000 leaves 64 bits after about ten days of
// uptime at 10 MHz (51 minutes at 3 GHz), and a wait that spans that jump
// would end weeks later with the port still open.
constexpr int64_t CounterToMicros(int64_t counter, int64_t frequency) {
    constexpr int64_t kMicros = 1000000;
    const int64_t seconds = counter / frequency;
    if (seconds > std::numeric_limits<int64_t>::max() / kMicros - 1)
        return std::numeric_limits<int64_t>::max();
    // The remainder is below the frequency, so this stays far inside 64 bits.
    return seconds * kMicros + counter % frequency * kMicros / frequency;
}

// The performance counter in microseconds.
int64_t NowMicros();

// Handles what is waiting now; returns at once.
void PumpPaintAndTimers();

// Waits up to `ms` milliseconds, handling paint, timer and sent messages
// as they come.
void WaitPumping(uint32_t ms);

} // namespace kestrel
