/*
 * Where the status threads put what they sorted out of the incoming bytes:
 * plain bytes for Read, four-byte status records for GetASBState.
 */
#ifndef KESTREL_DRIVERS_COMMON_BYTE_SINK_H
#define KESTREL_DRIVERS_COMMON_BYTE_SINK_H

#include <cstddef>
#include <cstdint>

class IByteSink {
  public:
    virtual ~IByteSink() = default;
    virtual void AppendReceived(const uint8_t* data, size_t count) = 0;
    virtual void AppendRecord(const uint8_t* record) = 0; // 4 bytes
};

#endif
