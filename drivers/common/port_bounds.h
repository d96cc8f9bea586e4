/*
 * How long the port machinery waits for the printer and for its own
 * threads, in one place, so that the bounds of the three libraries can be
 * read (and added up) together.
 */
#ifndef KESTREL_DRIVERS_COMMON_PORT_BOUNDS_H
#define KESTREL_DRIVERS_COMMON_PORT_BOUNDS_H

#include <cstdint>

// A printer on a parallel or USB port may take nothing for this long, past
// the write time-out base, before a write is given up: long enough for one
// that holds BUSY while it erases its flash, short enough that a dead one
// is given up within a minute.
constexpr uint64_t kPrinterStallGraceMs = 40000;
// Bytes per transfer of such a write: each completed piece is a sign of
// progress (a pty under Wine frees room a kilobyte at a time).
constexpr uint32_t kPrinterWritePiece = 1024;
// Time a cancelled transfer gets to complete before the driver below is
// taken for stuck and the transfer's memory is left to it.
constexpr uint32_t kCancelGraceMs = 5000;
// Time a thread of the library gets to end once told to, before it is
// terminated.
constexpr uint32_t kThreadStopWaitMs = 2000;
// Time ClosePort gives a Write or Read in flight on another thread to
// leave the library once it has been told the port is closing; each of
// their waits watches that signal, so they leave within a few milliseconds.
constexpr uint32_t kCallsLeaveWaitMs = 3000;

#endif
