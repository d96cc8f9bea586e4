#include "drivers/common/serial_device_path.h"

std::string SerialDevicePath(const std::string& portName) {
    static const std::string kDevicePrefix = "\\\\.\\";
    if (portName.rfind(kDevicePrefix + "COM", 0) == 0)
        return portName;
    return kDevicePrefix + portName;
}
