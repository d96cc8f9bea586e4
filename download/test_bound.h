// A bound that a tree built with tests may shorten through an environment
// variable, so that a test about something else need not sit through it.
// A build a user gets always has the bound itself.
#pragma once

#include <cstdint>

namespace kestrel {

// `bound`, or in a test tree the value of `variable` when it is a number
// no larger than `bound`.
uint32_t BoundFromTestEnvironment(const char* variable, uint32_t bound);

} // namespace kestrel
