// Which device a serial port name opens.
#include "drivers/common/serial_device_path.h"

#include <gtest/gtest.h>

TEST(DriversSerialDevicePath, ShortNamesGetTheDevicePrefixOnce) {
    const struct {
        const char* name;
        const char* path;
    } cases[] = {
        {"COM1", "\\\\.\\COM1"},
        {"COM9", "\\\\.\\COM9"},
        {"\\\\.\\COM10", "\\\\.\\COM10"},
        {"\\\\.\\COM20", "\\\\.\\COM20"},
        // Only the exact device form is left alone.
        {"\\\\.\\com3", "\\\\.\\\\\\.\\com3"},
        {"\\\\?\\COM5", "\\\\.\\\\\\?\\COM5"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SerialDevicePath(c.name), c.path) << c.name;
}
