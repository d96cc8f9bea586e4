/*
 * Serial ports above COM9 can only be opened in device form ("\\.\COM10"),
 * and the settings dialog hands those over already in that form; the short
 * names get the prefix added. The test is case-sensitive, like every port
 * name rule of the program.
 */
#ifndef KESTREL_DRIVERS_COMMON_SERIAL_DEVICE_PATH_H
#define KESTREL_DRIVERS_COMMON_SERIAL_DEVICE_PATH_H

#include <string>

std::string SerialDevicePath(const std::string& portName);

#endif
