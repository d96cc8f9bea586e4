#include "drivers/lpt/lpt_status_rules.h"

#include "drivers/common/windows_family.h"

namespace {
constexpr uint16_t kFirstPortStatus = 0x379;
constexpr uint16_t kSecondPortStatus = 0x279;
constexpr uint8_t kBusyInverted = 0x80;
} // namespace

CLptStatusRules::CLptStatusRules(uint32_t versionWord) : m_win95(IsWindows95Family(versionWord)) {}

uint16_t CLptStatusRules::StatusRegisterAddress(std::string_view portName) {
    return portName.substr(0, 4) == "LPT1" ? kFirstPortStatus : kSecondPortStatus;
}

std::optional<uint8_t> CLptStatusRules::Status(std::optional<uint8_t> raw) const {
    if (!raw)
        return std::nullopt;
    return m_win95 ? static_cast<uint8_t>(*raw ^ kBusyInverted) : *raw;
}

int32_t CLptStatusRules::PowerState(std::optional<uint8_t> raw) const {
    return Status(raw).value_or(0);
}

int32_t CLptStatusRules::ReadyFlag(std::optional<uint8_t> raw) const {
    std::optional<uint8_t> status = Status(raw);
    return status && *status == (m_win95 ? kRegisterReady : kParallelSelected) ? 1 : 0;
}

LptTimeouts CLptStatusRules::TimeoutsForOpen(LptTimeouts stored) const {
    if (m_win95)
        stored.readInterval = stored.readMultiplier = stored.readConstant = 1;
    return stored;
}
