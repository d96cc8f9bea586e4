#include "config/printer_models.h"

#include <array>

namespace kestrel {
namespace {

constexpr std::array<PrinterModel, 7> kModels{{
    {"TQ-110", 200},
    {"TQ-120", 300},
    {"TQ-130", 100},
    {"TQ-132", 101},
    {"TQ-140", 203},
    {"TQ-140F", 350},
    {"TQ-142", 352},
}};

}  // namespace

std::span<const PrinterModel> PrinterModels() { return kModels; }

ModelSelection SelectionForRow(int row) {
    if (row < 0 || static_cast<size_t>(row) >= kModels.size()) return {};
    const PrinterModel& model = kModels[static_cast<size_t>(row)];
    return {model.name, model.typeCode};
}

const char* FirmwareFileFilter(int32_t typeCode) {
    return UsesHexFirmware(typeCode) ? "Firmware File(*.hex)|*.hex||"
                                     : "Firmware File(*.fls)|*.fls||";
}

}  // namespace kestrel
