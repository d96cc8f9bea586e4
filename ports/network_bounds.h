// How long a printer on Ethernet is waited for, the same on every system:
// a connection, and a printer that takes no byte of the image.
#pragma once

#include <cstdint>

namespace kestrel {

inline constexpr uint32_t kNetworkConnectLimitMs = 30000;
inline constexpr uint32_t kNetworkStallLimitMs = 60000;

// Always kNetworkStallLimitMs in a build a user gets. A tree built with
// tests also reads KESTREL_TEST_NETWORK_STALL_MS, so that the console's
// test of a stalled printer need not sit a minute.
uint32_t NetworkStallMs();

} // namespace kestrel
