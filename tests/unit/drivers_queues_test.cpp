// The bounded port queues and the shared Clear/GetASBState semantics.
#include "drivers/common/port_queues.h"
#include "drivers/common/status_record_sorting.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct CStdLock : IQueueLock {
    std::recursive_mutex m;
    void Lock() override { m.lock(); }
    void Unlock() override { m.unlock(); }
};

struct PortQueuesTest : ::testing::Test {
    CStdLock receiveLock, statusLock;
    CPortQueues queues{receiveLock, statusLock};

    Bytes TakeAll(size_t max = 1024) {
        Bytes out(max);
        out.resize(queues.TakeReceived(out.data(), max));
        return out;
    }
};

TEST(DriversByteQueue, NeverWritesPastCapacity) {
    struct Case {
        int32_t capacity;
        size_t first, second;
        int32_t count;
        uint64_t dropped;
    } cases[] = {
        {8, 5, 5, 8, 2}, {8, 8, 1, 8, 1}, {8, 9, 0, 8, 1}, {0, 3, 0, 0, 3}, {-5, 3, 0, 0, 3},
    };
    for (const auto& c : cases) {
        CByteQueue q;
        q.Allocate(c.capacity);
        const Bytes data(c.first + c.second, 0xAB);
        q.Append(data.data(), c.first);
        q.Append(data.data() + c.first, c.second);
        EXPECT_EQ(q.Count(), c.count) << c.capacity << "/" << c.first << "/" << c.second;
        EXPECT_EQ(q.Dropped(), c.dropped) << c.capacity << "/" << c.first << "/" << c.second;
    }
}

TEST(DriversByteQueue, KeepsOrderAcrossPartialTakes) {
    CByteQueue q;
    q.Allocate(6);
    const uint8_t a[] = {1, 2, 3, 4};
    q.Append(a, 4);
    uint8_t out[3] = {};
    ASSERT_EQ(q.TakeFront(out, 3), 3u);
    EXPECT_EQ(Bytes(out, out + 3), (Bytes{1, 2, 3}));
    const uint8_t b[] = {5, 6, 7, 8, 9, 10};
    EXPECT_EQ(q.Append(b, 6), 5u); // room for 5 after one byte left
    uint8_t rest[8] = {};
    ASSERT_EQ(q.TakeFront(rest, 8), 6u);
    EXPECT_EQ(Bytes(rest, rest + 6), (Bytes{4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(q.TakeFront(rest, 8), 0u);
}

TEST_F(PortQueuesTest, StatusRecordsComeOutOldestFirstThenNothing) {
    queues.Allocate(16);
    const uint8_t in[] = {0x10, 0, 0, 0x0F, 0x35, '@', 'A', 0};
    SortSerialBytes(in, sizeof in, queues);
    uint8_t rec[4];
    ASSERT_TRUE(queues.TakeStatusRecord(rec));
    EXPECT_EQ(Bytes(rec, rec + 4), (Bytes{0x10, 0, 0, 0x0F}));
    ASSERT_TRUE(queues.TakeStatusRecord(rec));
    EXPECT_EQ(Bytes(rec, rec + 4), (Bytes{0x35, '@', 'A', 0}));
    uint8_t untouched[4] = {9, 9, 9, 9};
    EXPECT_FALSE(queues.TakeStatusRecord(untouched));
    EXPECT_EQ(Bytes(untouched, untouched + 4), (Bytes{9, 9, 9, 9}));
}

TEST_F(PortQueuesTest, StatusQueueTakesOnlyWholeRecords) {
    queues.Allocate(6); // room for one record and a half
    const uint8_t two[] = {0x10, 0, 0, 0x0F, 0x14, 0, 0, 0x0F};
    SortSerialBytes(two, sizeof two, queues);
    EXPECT_EQ(queues.DroppedStatus(), 4u);
    uint8_t rec[4];
    EXPECT_TRUE(queues.TakeStatusRecord(rec));
    EXPECT_EQ(rec[0], 0x10);
    EXPECT_FALSE(queues.TakeStatusRecord(rec));
}

TEST_F(PortQueuesTest, ClearEmptiesReceivedBytesButKeepsRecords) {
    queues.Allocate(16);
    const uint8_t in[] = {0x41, 0x14, 0x00, 0x00, 0x0F, 0x42, 0x43};
    SortSerialBytes(in, sizeof in, queues);
    EXPECT_EQ(queues.ReceiveCount(), 3);
    queues.Clear();
    EXPECT_EQ(queues.ReceiveCount(), 0);
    EXPECT_TRUE(TakeAll().empty());
    uint8_t rec[4];
    EXPECT_TRUE(queues.TakeStatusRecord(rec));
}

TEST_F(PortQueuesTest, ReleasingReceiveStorageKeepsRecordsAndRefusesBytes) {
    queues.Allocate(16);
    const uint8_t in[] = {1, 2, 0x5C, 0x40, 0x0F, 0x0F};
    SortSerialBytes(in, sizeof in, queues);
    queues.ReleaseReceive();
    EXPECT_EQ(queues.ReceiveCount(), 0);
    queues.AppendReceived(in, 2); // a late append after close lands nowhere
    EXPECT_EQ(queues.ReceiveCount(), 0);
    uint8_t rec[4];
    EXPECT_TRUE(queues.TakeStatusRecord(rec));
    EXPECT_EQ(rec[0], 0x5C);
}

TEST_F(PortQueuesTest, ReceiveOverflowDropsTheNewestBytes) {
    queues.Allocate(4);
    const uint8_t in[] = {1, 2, 3, 4, 5, 6};
    queues.AppendReceived(in, sizeof in);
    EXPECT_EQ(queues.DroppedReceived(), 2u);
    EXPECT_EQ(TakeAll(), (Bytes{1, 2, 3, 4}));
}

TEST_F(PortQueuesTest, ConcurrentAppendAndTakeLoseNothingThatFits) {
    queues.Allocate(1 << 20);
    constexpr int kRuns = 2000;
    std::thread producer([&] {
        for (int i = 0; i < kRuns; ++i) {
            const uint8_t run[] = {
                static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8), 0x10, 0x00, 0x00, 0x0F};
            SortSerialBytes(run, sizeof run, queues);
        }
    });
    Bytes got;
    int records = 0;
    for (int spins = 0; spins < 10'000'000 && (got.size() < 2u * kRuns || records < kRuns);
         ++spins) {
        Bytes chunk = TakeAll(7);
        got.insert(got.end(), chunk.begin(), chunk.end());
        uint8_t rec[4];
        while (queues.TakeStatusRecord(rec))
            ++records;
    }
    producer.join();
    ASSERT_EQ(got.size(), 2u * kRuns);
    EXPECT_EQ(records, kRuns);
    for (int i = 0; i < kRuns; ++i) {
        ASSERT_EQ(got[2 * i], static_cast<uint8_t>(i));
        ASSERT_EQ(got[2 * i + 1], static_cast<uint8_t>(i >> 8));
    }
}

} // namespace
