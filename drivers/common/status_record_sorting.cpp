#include "drivers/common/status_record_sorting.h"

#include <cstring>

namespace {

bool OneOf(uint8_t b, const char* set, size_t n) {
    return std::memchr(set, b, n) != nullptr;
}

bool IsAutoStatusLead(uint8_t b) {
    return OneOf(b, "\x10\x14\x1C\x3C\x5C", 5);
}

template <bool (*IsRecord)(const uint8_t*)>
void Sort(const uint8_t* data, size_t count, IByteSink& sink) {
    size_t runStart = 0;
    size_t i = 0;
    while (i < count) {
        if (count - i >= kStatusRecordSize && IsRecord(data + i)) {
            if (i > runStart)
                sink.AppendReceived(data + runStart, i - runStart);
            sink.AppendRecord(data + i);
            i += kStatusRecordSize;
            runStart = i;
        } else {
            ++i;
        }
    }
    if (count > runStart)
        sink.AppendReceived(data + runStart, count - runStart);
}

} // namespace

bool IsSerialStatusRecord(const uint8_t* p) {
    if (IsAutoStatusLead(p[0]))
        return OneOf(p[1], "\x00\x20\x40\x60", 4) && OneOf(p[2], "\x00\x03\x0C\x0F", 4) &&
               p[3] == 0x0F;
    if (p[0] == 0x35)
        return OneOf(p[1], "@ABDHL`", 7) && OneOf(p[2], "@AB", 3) && p[3] == 0x00;
    return false;
}

bool IsParallelStatusRecord(const uint8_t* p) {
    return IsAutoStatusLead(p[0]) && p[3] == 0x0F;
}

void SortSerialBytes(const uint8_t* data, size_t count, IByteSink& sink) {
    Sort<IsSerialStatusRecord>(data, count, sink);
}

void SortParallelBytes(const uint8_t* data, size_t count, IByteSink& sink) {
    Sort<IsParallelStatusRecord>(data, count, sink);
}

void SortUsbChunk(const uint8_t* chunk, size_t count, IByteSink& sink) {
    if (count == 0)
        return;
    uint8_t b[6] = {};
    std::memcpy(b, chunk, count < sizeof b ? count : sizeof b);
    if (IsAutoStatusLead(b[0])) {
        if (b[3] == 0x0F && (b[4] == 0 || b[5] == 0))
            sink.AppendRecord(b);
        return;
    }
    if (b[0] == 0x35) {
        if (b[3] == 0 && b[4] == 0)
            sink.AppendRecord(b);
        return;
    }
    const void* nul = std::memchr(chunk, 0, count);
    const size_t keep =
        nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - chunk) + 1 : count;
    sink.AppendReceived(chunk, keep);
}
