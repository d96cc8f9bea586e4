// How long each step of the closing wait lasts. Always kClosingStepMs in a
// build a user gets. A tree built with tests also reads
// KESTREL_TEST_CLOSING_STEP_MS, so that scenarios about something else than
// the closing wait (a failed send, the spooler, the console's exit codes)
// need not sit through it; the scenarios that prove the wait run it in full.
#pragma once

#include <cstdint>

namespace kestrel {

uint32_t ClosingStepMs();

} // namespace kestrel
