// What kestrelc was asked to do, read from its command line and checked
// whole before anything is touched: a script that mistypes an option must
// learn it from the message, not from a half-flashed printer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/settings_rules.h"
#include "download/port_name.h"

namespace kestrel {

enum class ConsoleAction { Download, ListUsb, Convert, Help, Version };
enum class OutputStyle { Normal, Quiet, Json };
// The port names of the system kestrelc runs on.
enum class PortForms { Windows, Linux };

// One printer to flash, as given after --port.
struct PortTarget {
    std::string given; // as typed, for messages and progress lines
    PortKind kind = PortKind::Serial;
    std::string portName; // the record's text; empty for "usb:N" until found
    uint16_t tcpPort = 0; // network only
    int usbIndex = 0;     // "usb:N": N, counted from 1 among the family's printers
};

struct ConsoleCommand {
    ConsoleAction action = ConsoleAction::Help;
    std::string modelName;
    int32_t printerType = 0;
    std::vector<PortTarget> ports;
    SettingsFields line; // the settings dialog's defaults unless given
    OutputStyle output = OutputStyle::Normal;
    std::string firmware;      // convert: the input
    std::string convertOutput; // convert only
};

struct ParsedCommandLine {
    bool ok = false;
    ConsoleCommand command;
    std::string error; // names the option and what it allows
};

// `args` without the program's own name.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args,
                                   PortForms forms = PortForms::Windows);

std::string ConsoleUsage(PortForms forms = PortForms::Windows);

} // namespace kestrel
