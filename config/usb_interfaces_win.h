// The system's list of USB device interfaces, as discovery walks it:
// SetupDi enumerates, CreateFileA proves a device can be opened, and on the
// Windows 95 family the registry names the device.
#pragma once

#include <windows.h>

#include <setupapi.h>

#include <memory>
#include <string>

#include "config/usb_discovery.h"
#include "framework/win_handle.h"

namespace kestrel {

// Fills `path` with the interface's device path (any length) and opens the
// device; an empty handle when the detail or the open fails. Writes the two
// lines "Attempting to open ..." and "FAILED to open ..." to standard output.
UniqueHandle OpenUsbInterface(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& interfaceData,
                              std::string& path);

// `wanted` when the interface's registry entry names exactly that printer
// type code, else kNoUsbTypeCode.
int32_t UsbTypeCodeFromRegistry(const std::string& path, int32_t wanted);

// The interfaces discovery walks: the system's. A build with tests can be
// handed a list of device paths instead (tests/e2e/README.md).
std::unique_ptr<IUsbInterfaces> SystemUsbInterfaces();

} // namespace kestrel
