/*
 * How lpt.dll reads the printer's status and what it makes of it, on each
 * Windows family. The NT family asks the parallel-port driver; the 95
 * family reads the port's status register straight from I/O space, where
 * bit 7 is "not busy" and is inverted here so that set means busy. Either
 * read can fail (the NT request always does on some adapters and under
 * Wine); an unknown status is never taken for a ready printer.
 */
#ifndef KESTREL_DRIVERS_LPT_LPT_STATUS_RULES_H
#define KESTREL_DRIVERS_LPT_LPT_STATUS_RULES_H

#include <cstdint>
#include <optional>
#include <string_view>

// The five device time-out words, in COMMTIMEOUTS order.
struct LptTimeouts {
    uint32_t readInterval = 0, readMultiplier = 0, readConstant = 0;
    uint32_t writeMultiplier = 0, writeConstant = 0;
    bool operator==(const LptTimeouts&) const = default;
};

constexpr uint8_t kParallelSelected = 0x80; // the NT driver's "selected", alone: ready
constexpr uint8_t kRegisterReady = 0x58;    // 95 family, after the inversion

class CLptStatusRules {
  public:
    explicit CLptStatusRules(uint32_t versionWord);

    // True on the 95 family: the status comes from the I/O-space register.
    bool ReadsStatusRegister() const { return m_win95; }
    // The register's I/O address: the first port's for "LPT1", the second
    // port's for any other name.
    static uint16_t StatusRegisterAddress(std::string_view portName);

    // `raw` is the register value (95) or the driver's answer (NT); empty
    // when the read failed.
    std::optional<uint8_t> Status(std::optional<uint8_t> raw) const;
    // IsPowerState outside the queue read mode: the status, or 0 (no bit
    // set) when it is unknown.
    int32_t PowerState(std::optional<uint8_t> raw) const;
    // The status thread's ready flag: 1 only for exactly the ready status.
    int32_t ReadyFlag(std::optional<uint8_t> raw) const;
    // What OpenPort gives the device: the 95 family's parallel driver needs
    // the three read time-outs at 1.
    LptTimeouts TimeoutsForOpen(LptTimeouts stored) const;

  private:
    bool m_win95;
};

#endif
