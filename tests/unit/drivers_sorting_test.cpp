// How incoming printer bytes are split into plain bytes and status records.
#include "drivers/common/status_record_sorting.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Records each run as it arrives so the tests also see the order.
struct CRecordingSink : IByteSink {
    Bytes received;
    std::vector<Bytes> records;
    std::string trace; // 'r' per plain byte, 'S' per record, in arrival order
    void AppendReceived(const uint8_t* d, size_t n) override {
        received.insert(received.end(), d, d + n);
        trace.append(n, 'r');
    }
    void AppendRecord(const uint8_t* r) override {
        records.emplace_back(r, r + 4);
        trace += 'S';
    }
};

struct SortCase {
    const char* name;
    Bytes input;
    std::string trace;
    Bytes received;
    std::vector<Bytes> records;
};

TEST(DriversSerialSorting, SplitsReadsIntoRecordsAndPlainBytes) {
    const SortCase cases[] = {
        {"record between plain bytes",
         {0x41, 0x14, 0x00, 0x00, 0x0F, 0x42, 0x43},
         "rSrr",
         {0x41, 0x42, 0x43},
         {{0x14, 0x00, 0x00, 0x0F}}},
        {"automatic status letters", {0x35, 0x40, 0x41, 0x00}, "S", {}, {{0x35, 0x40, 0x41, 0x00}}},
        {"letter outside @AB", {0x35, 0x40, 0x43, 0x00}, "rrrr", {0x35, 0x40, 0x43, 0x00}, {}},
        {"record cut short at the end", {0x14, 0x00, 0x00}, "rrr", {0x14, 0x00, 0x00}, {}},
        {"back to back records",
         {0x10, 0x20, 0x03, 0x0F, 0x5C, 0x60, 0x0C, 0x0F},
         "SS",
         {},
         {{0x10, 0x20, 0x03, 0x0F}, {0x5C, 0x60, 0x0C, 0x0F}}},
        // A byte that fails as a record start is dropped from consideration
        // alone; the record starting right after it is still found.
        {"record after a false start",
         {0x14, 0x14, 0x00, 0x00, 0x0F},
         "rS",
         {0x14},
         {{0x14, 0x00, 0x00, 0x0F}}},
        {"second byte out of set", {0x1C, 0x10, 0x00, 0x0F}, "rrrr", {0x1C, 0x10, 0x00, 0x0F}, {}},
        {"third byte out of set", {0x3C, 0x00, 0x01, 0x0F}, "rrrr", {0x3C, 0x00, 0x01, 0x0F}, {}},
        {"last byte not 0F", {0x14, 0x00, 0x00, 0x0E}, "rrrr", {0x14, 0x00, 0x00, 0x0E}, {}},
        {"every status letter",
         {0x35, '`', 'B', 0, 0x35, 'L', '@', 0},
         "SS",
         {},
         {{0x35, '`', 'B', 0}, {0x35, 'L', '@', 0}}},
        {"nothing read", {}, "", {}, {}},
    };
    for (const auto& c : cases) {
        CRecordingSink sink;
        SortSerialBytes(c.input.data(), c.input.size(), sink);
        EXPECT_EQ(sink.trace, c.trace) << c.name;
        EXPECT_EQ(sink.received, c.received) << c.name;
        EXPECT_EQ(sink.records, c.records) << c.name;
    }
}

TEST(DriversSerialSorting, RecordSplitAcrossReadsGoesToTheReceiveQueue) {
    CRecordingSink sink;
    const uint8_t first[] = {0x14, 0x00, 0x00};
    const uint8_t second[] = {0x0F};
    SortSerialBytes(first, sizeof first, sink);
    SortSerialBytes(second, sizeof second, sink);
    EXPECT_TRUE(sink.records.empty());
    EXPECT_EQ(sink.received, (Bytes{0x14, 0x00, 0x00, 0x0F}));
}

TEST(DriversParallelSorting, LooksOnlyAtFirstAndLastByte) {
    const SortCase cases[] = {
        {"middle bytes not examined",
         {0x14, 0x99, 0x99, 0x0F, 0x14, 0x00, 0x00, 0x0E},
         "Srrrr",
         {0x14, 0x00, 0x00, 0x0E},
         {{0x14, 0x99, 0x99, 0x0F}}},
        {"every lead byte",
         {0x10, 1, 2, 0x0F, 0x1C, 1, 2, 0x0F, 0x3C, 1, 2, 0x0F, 0x5C, 1, 2, 0x0F},
         "SSSS",
         {},
         {{0x10, 1, 2, 0x0F}, {0x1C, 1, 2, 0x0F}, {0x3C, 1, 2, 0x0F}, {0x5C, 1, 2, 0x0F}}},
        {"not a lead byte", {0x11, 0, 0, 0x0F}, "rrrr", {0x11, 0, 0, 0x0F}, {}},
        // A record needs four bytes left; 0x0F three bytes on is not enough.
        {"three bytes left", {0x41, 0x14, 0x00, 0x0F}, "rrrr", {0x41, 0x14, 0x00, 0x0F}, {}},
        {"0F one byte early", {0x14, 0x00, 0x0F, 0x00}, "rrrr", {0x14, 0x00, 0x0F, 0x00}, {}},
        // '5' records belong to the serial printers only.
        {"serial letters", {0x35, 0x40, 0x41, 0x00}, "rrrr", {0x35, 0x40, 0x41, 0x00}, {}},
    };
    for (const auto& c : cases) {
        CRecordingSink sink;
        SortParallelBytes(c.input.data(), c.input.size(), sink);
        EXPECT_EQ(sink.trace, c.trace) << c.name;
        EXPECT_EQ(sink.received, c.received) << c.name;
        EXPECT_EQ(sink.records, c.records) << c.name;
    }
}

TEST(DriversUsbSorting, JudgesEachChunkWhole) {
    const SortCase cases[] = {
        {"record with trailing zeros", {0x10, 0, 0, 0x0F, 0, 0}, "S", {}, {{0x10, 0, 0, 0x0F}}},
        {"bare four-byte report", {0x10, 0, 0, 0x0F}, "S", {}, {{0x10, 0, 0, 0x0F}}},
        {"automatic status", {0x35, 0x12, 0x34, 0, 0}, "S", {}, {{0x35, 0x12, 0x34, 0}}},
        {"plain bytes to the first NUL", {0x41, 0x42, 0, 0x43}, "rrr", {0x41, 0x42, 0}, {}},
        {"plain bytes without a NUL", {0x41, 0x42}, "rr", {0x41, 0x42}, {}},
        {"status lead, last byte not 0F", {0x14, 0, 0, 0x0E}, "", {}, {}},
        {"status lead, bytes 4 and 5 set", {0x5C, 0, 0, 0x0F, 1, 2}, "", {}, {}},
        {"automatic status, byte 4 set", {0x35, 1, 2, 0, 9}, "", {}, {}},
        {"record cut short", {0x1C, 0, 0}, "", {}, {}},
        // Only the chunk's first bytes decide; a record later in it is not one.
        {"record behind plain bytes", {0x41, 0x14, 0, 0, 0x0F}, "rrr", {0x41, 0x14, 0}, {}},
    };
    for (const auto& c : cases) {
        CRecordingSink sink;
        SortUsbChunk(c.input.data(), c.input.size(), sink);
        EXPECT_EQ(sink.trace, c.trace) << c.name;
        EXPECT_EQ(sink.received, c.received) << c.name;
        EXPECT_EQ(sink.records, c.records) << c.name;
    }
}

} // namespace
