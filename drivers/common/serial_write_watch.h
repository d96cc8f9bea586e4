/*
 * When a write counts as stalled. A printer may hold the line for
 * seconds of its own (XOFF or DSR off while it erases flash), and a slow
 * line needs seconds for one block anyway, so a write is given up only
 * when the device has taken nothing for a while, and never before the line
 * could have carried the whole block.
 */
#ifndef KESTREL_DRIVERS_COMMON_SERIAL_WRITE_WATCH_H
#define KESTREL_DRIVERS_COMMON_SERIAL_WRITE_WATCH_H

#include "drivers/common/port_bounds.h"

#include <cstdint>

// The character frame as the settings record gives it (stop bits in the
// Windows coding: 0 one, 1 one and a half, 2 two; parity 0 none).
struct SerialLineFormat {
    int32_t baudRate;
    int32_t dataBits;
    int32_t parity;
    int32_t stopBits;
};

// Milliseconds the line needs for `bytes` characters, start and stop bits
// included, rounded up; 0 when the baud rate is not positive.
uint64_t SerialLineTimeMs(const SerialLineFormat& line, uint64_t bytes);

// Bytes handed to the device per call: about a second of line, and at least
// 1 KiB. A device that cannot report its output queue (a pty under Wine
// frees room 1 KiB at a time) shows progress only when a call completes.
// A whole 4096-byte block at 115200 baud goes in one call.
uint32_t SerialWriteChunk(const SerialLineFormat& line);

// How long the device may take nothing before a write is given up: the
// write time-out base (negative counts as 0) plus 10 s, plus the line time
// of one call, since a call's completion may be the only sign of progress.
constexpr uint64_t kSerialStallGraceMs = 10000;
uint64_t SerialStallMs(int32_t baseMs, const SerialLineFormat& line, uint32_t chunk);

// The same rule for a printer on a parallel or USB port, which has no line
// time: the write time-out base (negative counts as 0) plus
// kPrinterStallGraceMs. Its pieces complete or it is stalled.
uint64_t PrinterStallMs(int32_t baseMs);

class CSerialWriteWatch {
  public:
    // A write that began at `startMs` and needs `lineMs` of line time.
    CSerialWriteWatch(uint64_t startMs, uint64_t lineMs, uint64_t stallMs)
        : m_lineEnd(startMs + lineMs), m_lastProgress(startMs), m_stallMs(stallMs) {}

    // The device took bytes at `nowMs`.
    void Progress(uint64_t nowMs) {
        if (nowMs > m_lastProgress)
            m_lastProgress = nowMs;
    }
    bool Stalled(uint64_t nowMs) const { return MsUntilStalled(nowMs) == 0; }
    // How long from `nowMs` until the write would count as stalled.
    uint64_t MsUntilStalled(uint64_t nowMs) const;

  private:
    uint64_t m_lineEnd;
    uint64_t m_lastProgress;
    uint64_t m_stallMs;
};

#endif
