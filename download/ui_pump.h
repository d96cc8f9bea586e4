// Keeps the user-interface thread alive while a download holds it: paint,
// timer and sent messages are handled so Windows never marks the window as
// not responding, while keyboard and mouse input is thrown away, because
// nothing may be pressed while firmware is on the wire.
#pragma once

#include <cstdint>

namespace kestrel {

// Handles what is waiting now; returns at once.
void PumpPaintAndTimers();

// Waits up to `ms` milliseconds, handling paint, timer and sent messages
// as they come.
void WaitPumping(uint32_t ms);

}  // namespace kestrel
