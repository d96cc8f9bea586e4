// When a serial write is given up: line time, chunking and the stall rule.
#include "drivers/common/serial_write_watch.h"

#include <gtest/gtest.h>

TEST(DriversSerialWriteWatch, LineTimeCountsEveryBitOfTheFrame) {
    const struct {
        SerialLineFormat line;
        uint64_t bytes, ms;
        uint32_t chunk;
    } cases[] = {
        {{2400, 8, 0, 0}, 4096, 17067, 1024},  // 10 bits a character
        {{9600, 7, 2, 2}, 960, 1100, 1024},    // 1 + 7 + 1 + 2 = 11 bits
        {{9600, 8, 0, 1}, 1000, 1094, 1024},   // one and a half stop bits
        {{38400, 7, 2, 2}, 3490, 1000, 3490},  // a second of line a call
        {{115200, 8, 0, 0}, 4096, 356, 11520}, // a whole block in one call
        {{300, 8, 0, 0}, 1, 34, 1024},         // never less than 1 KiB a call
        {{0, 8, 0, 0}, 4096, 0, 1024},         // no rate: no line time
        {{-9600, 8, 0, 0}, 4096, 0, 1024},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SerialLineTimeMs(c.line, c.bytes), c.ms) << c.line.baudRate;
        EXPECT_EQ(SerialWriteChunk(c.line), c.chunk) << c.line.baudRate;
    }
    // An absurd frame counts as 16 data bits (20 bits at 1 baud) and does not wrap.
    EXPECT_EQ(SerialLineTimeMs({1, 1 << 30, 1, 2}, 0xFFFFFFFFu), 0xFFFFFFFFull * 20 * 1000);
}

TEST(DriversSerialWriteWatch, GivesUpOnlyAfterTheLineTimeAndAQuietStretch) {
    const SerialLineFormat slow{2400, 8, 0, 0};
    EXPECT_EQ(SerialStallMs(3000, slow, 1024), 3000u + 10000 + 4267);
    EXPECT_EQ(SerialStallMs(-1, slow, 1024), 10000u + 4267) << "a negative base is no base";
    // Parallel and USB printers: 43 s with the program's base, whatever the block.
    EXPECT_EQ(PrinterStallMs(3000), 43000u);
    EXPECT_EQ(PrinterStallMs(-1), 40000u);

    // 4096 bytes at 2400 baud (17067 ms of line) with the program's base.
    CSerialWriteWatch w(1000, 17067, 13000);
    EXPECT_FALSE(w.Stalled(15000)) << "quiet for the stall bound, but the line needs longer";
    EXPECT_EQ(w.MsUntilStalled(15000), 3067u);
    EXPECT_TRUE(w.Stalled(18067));
    // Progress moves the quiet stretch on; an 8 s pause is no stall.
    CSerialWriteWatch p(1000, 17067, 13000);
    p.Progress(9000);
    EXPECT_FALSE(p.Stalled(17000));
    EXPECT_FALSE(p.Stalled(21999));
    EXPECT_TRUE(p.Stalled(22000));
    p.Progress(5000); // late news of earlier progress does not go back
    EXPECT_TRUE(p.Stalled(22000));
}
