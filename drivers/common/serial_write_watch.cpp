#include "drivers/common/serial_write_watch.h"

#include <algorithm>

namespace {

constexpr uint32_t kMinChunk = 1024;

// Bits per character in halves, so that one and a half stop bits count.
uint64_t HalfBitsPerCharacter(const SerialLineFormat& line) {
    const uint64_t data = static_cast<uint64_t>(std::clamp(line.dataBits, 0, 16));
    const uint64_t parity = line.parity != 0 ? 1 : 0;
    const uint64_t stopHalves = line.stopBits == 1 ? 3 : line.stopBits == 2 ? 4 : 2;
    return 2 * (1 + data + parity) + stopHalves;
}

} // namespace

uint64_t SerialStallMs(int32_t baseMs, const SerialLineFormat& line, uint32_t chunk) {
    return static_cast<uint64_t>(std::max(baseMs, 0)) + kSerialStallGraceMs +
           SerialLineTimeMs(line, chunk);
}

uint64_t PrinterStallMs(int32_t baseMs) {
    return static_cast<uint64_t>(std::max(baseMs, 0)) + kPrinterStallGraceMs;
}

uint64_t SerialLineTimeMs(const SerialLineFormat& line, uint64_t bytes) {
    if (line.baudRate <= 0)
        return 0;
    const uint64_t halfBitsPerSecond = 2 * static_cast<uint64_t>(line.baudRate);
    const uint64_t halfBits = bytes * HalfBitsPerCharacter(line);
    return (halfBits * 1000 + halfBitsPerSecond - 1) / halfBitsPerSecond;
}

uint32_t SerialWriteChunk(const SerialLineFormat& line) {
    if (line.baudRate <= 0)
        return kMinChunk;
    const uint64_t perSecond =
        2 * static_cast<uint64_t>(line.baudRate) / HalfBitsPerCharacter(line);
    return static_cast<uint32_t>(std::max<uint64_t>(perSecond, kMinChunk));
}

uint64_t CSerialWriteWatch::MsUntilStalled(uint64_t nowMs) const {
    const uint64_t stallAt = m_lastProgress + m_stallMs;
    const uint64_t endsAt = std::max(stallAt, m_lineEnd);
    return endsAt > nowMs ? endsAt - nowMs : 0;
}
