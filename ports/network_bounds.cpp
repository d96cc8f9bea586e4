#include "ports/network_bounds.h"

#include "download/test_bound.h"

namespace kestrel {

uint32_t NetworkStallMs() {
    static const uint32_t stall =
        BoundFromTestEnvironment("KESTREL_TEST_NETWORK_STALL_MS", kNetworkStallLimitMs);
    return stall;
}

} // namespace kestrel
