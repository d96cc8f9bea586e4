#include "console/command_line.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>

#include "framework/number_text.h"
#include "config/printer_models.h"
#include "config/usb_discovery.h"
#include "console/device_port_form.h"
#include "download/printer_address.h"

namespace kestrel {
namespace {

constexpr const char* kUsageHead =
    "Usage:\n"
    "  kestrelc --model MODEL --port PORT[,PORT...] [options] FIRMWARE\n"
    "  kestrelc --model MODEL --list-usb\n"
    "  kestrelc convert INPUT.hex OUTPUT.fls\n"
    "  kestrelc --help | --version\n"
    "\n"
    "MODEL     TQ-110, TQ-120, TQ-130, TQ-132, TQ-140, TQ-140F, TQ-142\n";

constexpr const char* kWindowsPorts =
    "PORT      COM1..COM256, LPT1..LPT3, usb:N (the Nth attached USB printer of\n"
    "          the model's family), a USB device path (\\\\?\\usb#...), or\n"
    "          ADDRESS:TCPPORT for a printer on Ethernet (192.168.0.10:9100).\n"
    "          Several ports, separated by commas, are flashed at the same time.\n";

constexpr const char* kLinuxPorts =
    "PORT      a tty path for a serial printer (/dev/ttyS0, /dev/ttyUSB0, ...),\n"
    "          /dev/lpN for a parallel printer, serial:PATH or parallel:PATH to\n"
    "          force the kind, or ADDRESS:TCPPORT for a printer on Ethernet\n"
    "          (192.168.0.10:9100). USB printers (/dev/usb/lpN, usb:N) are not\n"
    "          yet supported on Linux.\n";

constexpr const char* kUsageTail =
    "\n"
    "Serial options (COM ports only; defaults as in the settings dialog):\n"
    "  --baud 2400|4800|9600|19200|38400|57600|115200   (9600)\n"
    "  --parity none|odd|even                            (none)\n"
    "  --handshake dtr|xon                               (dtr: DTR/DSR)\n"
    "\n"
    "Output:\n"
    "  --quiet   print only the result of each printer\n"
    "  --json    one JSON object per line: progress, closing, done\n"
    "\n"
    "convert checks a .hex file (Intel HEX or S-records) and writes the flash\n"
    "image the program would send; nothing is sent.\n"
    "\n"
    "Exit codes: 0 success, 2 bad command line, 3 firmware unreadable, empty or\n"
    "not convertible, 4 driver library could not be written or loaded, 5 port\n"
    "configuration refused, 6 port could not be opened, 7 send failed, 8 network\n"
    "connect failed, 9 network write failed, 10 no USB printer of the family\n"
    "found, 130 interrupted. With several printers: the code of the first\n"
    "printer, in the order given, that failed.\n";

constexpr const char* kLinuxSignals =
    "On Linux SIGINT ends a download as Ctrl+C does (130); SIGTERM and SIGHUP\n"
    "end it the same way with 143.\n";

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        items.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos)
            return items;
        start = comma + 1;
    }
}

// Fills `target` from one item of --port; returns the complaint otherwise.
std::string ReadPort(const std::string& item, PortTarget& target) {
    target = PortTarget{};
    target.given = item;
    const std::string upper = Upper(item);
    if (item.rfind("\\\\.\\", 0) == 0 && upper.rfind("\\\\.\\COM", 0) == 0) {
        const auto n = ParseUnsignedText(item.substr(7), 256);
        if (!n || *n == 0)
            return "--port: " + item + " is not a COM port (COM1 to COM256)";
        target.kind = PortKind::Serial;
        target.portName = "\\\\.\\COM" + std::to_string(*n);
        return {};
    }
    if (item[0] == '\\') {
        target.kind = PortKind::Usb;
        target.portName = item;
        return {};
    }
    if (upper.rfind("COM", 0) == 0) {
        const auto n = ParseUnsignedText(item.substr(3), 256);
        if (!n || *n == 0)
            return "--port: " + item + " is not a COM port (COM1 to COM256)";
        target.kind = PortKind::Serial;
        // Ten and above only open in the device namespace form.
        target.portName = (*n < 10 ? "COM" : "\\\\.\\COM") + std::to_string(*n);
        return {};
    }
    if (upper.rfind("LPT", 0) == 0) {
        const auto n = ParseUnsignedText(item.substr(3), 3);
        if (!n || *n == 0)
            return "--port: " + item + " is not a parallel port (LPT1 to LPT3)";
        target.kind = PortKind::Parallel;
        target.portName = "LPT" + std::to_string(*n);
        return {};
    }
    if (Lower(item).rfind("usb:", 0) == 0)
        return ReadUsbIndex(item, target);
    if (item.find(':') == std::string::npos)
        return "--port: " + item +
               " is not a port; use COMn, LPTn, usb:N, a USB device path or "
               "ADDRESS:TCPPORT";
    return ReadNetworkPort(item, target);
}

const PrinterModel* FindModel(const std::string& name) {
    for (const PrinterModel& model : PrinterModels())
        if (Upper(model.name) == Upper(name))
            return &model;
    return nullptr;
}

std::string ModelNames() {
    std::string names;
    for (const PrinterModel& model : PrinterModels()) {
        if (!names.empty())
            names += ", ";
        names += model.name;
    }
    return names;
}

ParsedCommandLine Refuse(std::string error) {
    ParsedCommandLine result;
    result.error = std::move(error);
    return result;
}

} // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args, PortForms forms) {
    const bool onLinux = forms == PortForms::Linux;
    const std::string serialPorts = onLinux ? "serial ports" : "COM ports";
    ParsedCommandLine result;
    ConsoleCommand& command = result.command;
    if (!args.empty() && args[0] == "convert") {
        if (args.size() != 3)
            return Refuse("convert takes exactly INPUT.hex and OUTPUT.fls");
        command.action = ConsoleAction::Convert;
        command.firmware = args[1];
        command.convertOutput = args[2];
        result.ok = true;
        return result;
    }

    std::optional<std::string> model, ports, baud, parity, handshake;
    bool listUsb = false, quiet = false, json = false;
    std::vector<std::string> positional;
    const auto takeValue = [&](size_t& i, const std::string& name, const std::string& inlineValue,
                               bool hasInline, std::optional<std::string>& into) -> std::string {
        if (into)
            return name + " is given twice";
        if (hasInline) {
            into = inlineValue;
        } else {
            if (i + 1 >= args.size())
                return name + " needs a value";
            into = args[++i];
        }
        return {};
    };

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0 || arg == "--") {
            positional.push_back(arg);
            continue;
        }
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const bool hasInline = equals != std::string::npos;
        const std::string inlineValue = hasInline ? arg.substr(equals + 1) : std::string();
        std::string error;
        if (name == "--help" || name == "--version") {
            command.action = name == "--help" ? ConsoleAction::Help : ConsoleAction::Version;
            result.ok = true;
            return result;
        } else if (name == "--model") {
            error = takeValue(i, name, inlineValue, hasInline, model);
        } else if (name == "--port") {
            error = takeValue(i, name, inlineValue, hasInline, ports);
        } else if (name == "--baud") {
            error = takeValue(i, name, inlineValue, hasInline, baud);
        } else if (name == "--parity") {
            error = takeValue(i, name, inlineValue, hasInline, parity);
        } else if (name == "--handshake") {
            error = takeValue(i, name, inlineValue, hasInline, handshake);
        } else if (name == "--list-usb" || name == "--quiet" || name == "--json") {
            if (hasInline)
                return Refuse(name + " takes no value");
            bool& flag = name == "--list-usb" ? listUsb : name == "--quiet" ? quiet : json;
            if (flag)
                return Refuse(name + " is given twice");
            flag = true;
        } else {
            return Refuse("unknown option " + name + "; see kestrelc --help");
        }
        if (!error.empty())
            return Refuse(error);
    }

    if (quiet && json)
        return Refuse("--quiet and --json cannot be used together");
    command.output = json ? OutputStyle::Json : quiet ? OutputStyle::Quiet : OutputStyle::Normal;
    if (!model)
        return Refuse("--model is required: one of " + ModelNames());
    const PrinterModel* found = FindModel(*model);
    if (!found)
        return Refuse("--model: unknown model " + *model + "; one of " + ModelNames());
    command.modelName = found->name;
    command.printerType = found->typeCode;

    if (listUsb) {
        if (ports || baud || parity || handshake || !positional.empty())
            return Refuse("--list-usb takes only --model (and --json or --quiet)");
        if (onLinux)
            return Refuse("--list-usb: USB printers are not yet supported on Linux");
        command.action = ConsoleAction::ListUsb;
        result.ok = true;
        return result;
    }

    if (!ports)
        return Refuse("--port is required: COMn, LPTn, usb:N, a device path or ADDRESS:TCPPORT");
    for (const std::string& item : SplitList(*ports)) {
        if (item.empty())
            return Refuse("--port: an empty port name in the list");
        PortTarget target;
        std::string error = onLinux ? ReadDevicePort(item, target) : ReadPort(item, target);
        if (error.empty() && onLinux)
            error = UnsupportedOnLinux(target);
        if (!error.empty())
            return Refuse(error);
        for (const PortTarget& earlier : command.ports) {
            const bool same =
                target.usbIndex != 0
                    ? earlier.usbIndex == target.usbIndex
                    : earlier.usbIndex == 0 && Upper(earlier.portName) == Upper(target.portName);
            if (same)
                return Refuse("--port: " + item + " is given twice");
        }
        // A device whose ids name another family would take the wrong firmware.
        if (target.kind == PortKind::Usb && target.usbIndex == 0) {
            const int32_t family = UsbTypeCodeFromPath(target.portName);
            if (family != kNoUsbTypeCode && family != found->typeCode)
                return Refuse("--port: " + item + " is not a printer of the " + command.modelName +
                              "'s family");
        }
        if (found->typeCode == kSerialOnlyPrinterType && target.kind != PortKind::Serial)
            return Refuse("--port: the " + command.modelName + " is flashed over " + serialPorts +
                          " only");
        command.ports.push_back(target);
    }
    if (onLinux && command.ports.size() > 1)
        return Refuse("--port: several printers at once are not yet supported on Linux");
    const bool allSerial =
        std::all_of(command.ports.begin(), command.ports.end(),
                    [](const PortTarget& t) { return t.kind == PortKind::Serial; });
    if ((baud || parity || handshake) && !allSerial)
        return Refuse(std::string(baud     ? "--baud"
                                  : parity ? "--parity"
                                           : "--handshake") +
                      " applies to " + serialPorts + " only");

    if (baud) {
        const PortControlLayout serial = LayoutFor(ConnectionKind::Com);
        if (std::find(serial.baudRows.begin(), serial.baudRows.end(), *baud) ==
            serial.baudRows.end())
            return Refuse("--baud: " + *baud +
                          " is not offered; one of 2400, 4800, 9600, 19200, 38400, 57600, 115200");
        command.line.baudRate = static_cast<int32_t>(*ParseUnsignedText(*baud, 115200));
    }
    if (parity) {
        const std::string p = Lower(*parity);
        if (p != "none" && p != "odd" && p != "even")
            return Refuse("--parity: " + *parity + " is not one of none, odd, even");
        command.line.parity = p == "none" ? 0 : p == "odd" ? 1 : 2;
    }
    if (handshake) {
        const std::string h = Lower(*handshake);
        if (h != "dtr" && h != "xon")
            return Refuse("--handshake: " + *handshake + " is not one of dtr, xon");
        command.line.handshake = h == "dtr" ? 0 : 1;
    }

    if (positional.empty())
        return Refuse("the firmware file is missing");
    if (positional.size() > 1)
        return Refuse("only one firmware file, not " + positional[1] + " too");
    command.firmware = positional[0];
    command.action = ConsoleAction::Download;
    result.ok = true;
    return result;
}

std::string ConsoleUsage(PortForms forms) {
    const bool onLinux = forms == PortForms::Linux;
    std::string tail = kUsageTail;
    if (onLinux)
        tail.replace(tail.find("(COM ports only"), 15, "(serial ports only") += kLinuxSignals;
    return std::string(kUsageHead) + (onLinux ? kLinuxPorts : kWindowsPorts) + tail;
}

} // namespace kestrel
