// The printer families the program knows, as the model list offers them.
// The type code chosen here decides the picture, the firmware format, the
// connection kinds and the USB block size everywhere else.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kestrel {

struct PrinterModel {
    const char* name;
    int32_t typeCode;
};

// Until a row is chosen (and when Enter confirms an empty choice) the
// program works with this family.
inline constexpr int32_t kDefaultPrinterType = 100;

// The rows of the model list, in list order.
std::span<const PrinterModel> PrinterModels();

struct ModelSelection {
    std::string name;
    int32_t typeCode = kDefaultPrinterType;
};

// What a list row hands back; a row outside the list (-1: nothing chosen)
// gives an empty name and the default family.
ModelSelection SelectionForRow(int row);

// Families below 200 ship firmware as hexadecimal text that is converted
// before it is sent; the rest ship binary images sent unchanged.
inline bool UsesHexFirmware(int32_t typeCode) { return typeCode < 200; }

// The Open File filter, in the "name|pattern||" form.
const char* FirmwareFileFilter(int32_t typeCode);

// Only the serial connection is offered to this family.
inline constexpr int32_t kSerialOnlyPrinterType = 350;

}  // namespace kestrel
