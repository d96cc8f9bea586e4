/*
 * Printers interleave four-byte status records with ordinary replies. The
 * status threads split each read into the two by the patterns below. Each
 * read is sorted by itself: a record split across two reads is not seen as
 * one and its bytes count as ordinary bytes.
 */
#ifndef KESTREL_DRIVERS_COMMON_STATUS_RECORD_SORTING_H
#define KESTREL_DRIVERS_COMMON_STATUS_RECORD_SORTING_H

#include "drivers/common/byte_sink.h"

#include <cstddef>
#include <cstdint>

constexpr size_t kStatusRecordSize = 4;

// The serial printers' record shapes: 1x/3C/5C with fixed flag positions,
// or '5' followed by the automatic status letters and a NUL.
bool IsSerialStatusRecord(const uint8_t* p);
// The parallel printers check only the first and last byte.
bool IsParallelStatusRecord(const uint8_t* p);

// Walks `count` bytes: a record is passed whole, any other byte alone
// (consecutive plain bytes are handed over as one run).
void SortSerialBytes(const uint8_t* data, size_t count, IByteSink& sink);
void SortParallelBytes(const uint8_t* data, size_t count, IByteSink& sink);

// USB printers answer one chunk per read, and a chunk is judged whole by
// its first byte: a status lead makes it a record (its first four bytes) or
// nothing; any other chunk is plain bytes up to and including its first
// NUL, the rest dropped. Bytes past `count` count as 0, so a printer's bare
// four-byte report 10 00 00 0F is a record.
void SortUsbChunk(const uint8_t* chunk, size_t count, IByteSink& sink);

#endif
