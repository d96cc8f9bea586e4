// kestrelc: the program's downloads from a console, for benches and scripts.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "config/printer_models.h"
#include "console/batch_download_win.h"
#include "console/batch_lines.h"
#include "console/command_line.h"
#include "console/console_download_win.h"
#include "console/console_interrupt_win.h"
#include "console/console_output_win.h"
#include "console/exit_codes.h"
#include "console/progress_text.h"
#include "console/usb_printers_win.h"
#include "download/hex_download.h"
#include "firmware/hex_image_file.h"
#include "download/private_folder_win.h"
#include "ports/spooler_ports_win.h"
#include "framework/socket_library.h"
#include "framework/win_handle.h"

namespace kestrel {
namespace {

// The firmware must be there and hold something before a port is touched.
std::optional<std::string> FirmwareProblem(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::string(msg::kFileOpen);
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!file)
        return std::string(msg::kFileOpen);
    if (data.nFileSizeHigh == 0 && data.nFileSizeLow == 0)
        return std::string(msg::kFileEmpty);
    return std::nullopt;
}

// Converted beside the output first, so that a refused file never replaces
// (or leaves behind) an image.
int RunConvert(const ConsoleCommand& command) {
    const std::string partial = command.convertOutput + ".partial";
    const HexConversion conversion = ConvertHexImage(command.firmware, partial);
    if (!conversion.ok()) {
        DeleteFileA(partial.c_str());
        CConsoleOutput::Error(HexFailureMessage(conversion));
        return kExitFirmware;
    }
    if (!MoveFileExA(partial.c_str(), command.convertOutput.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(partial.c_str());
        CConsoleOutput::Error("Cannot write " + command.convertOutput);
        return kExitFirmware;
    }
    return kExitSuccess;
}

// Exit 0 with one line per printer, or 10 when none of the family is attached.
int ListUsb(const ConsoleCommand& command, CConsoleOutput& output) {
    const std::vector<UsbPortEntry> found =
        FindFamilyUsbPrinters(command.printerType, command.output != OutputStyle::Normal);
    for (const UsbPortEntry& entry : found) {
        if (command.output == OutputStyle::Json)
            output.Line("{\"event\":\"usb\",\"label\":" + JsonString(entry.label) +
                        ",\"path\":" + JsonString(entry.devicePath) + "}");
        else
            output.Line(entry.label + "  " + entry.devicePath);
    }
    if (found.empty()) {
        CConsoleOutput::Error(std::string("kestrelc: ") + kNoUsbPrinterMessage + " (no " +
                              command.modelName + " family printer is attached)");
        return kExitNoUsbPrinter;
    }
    return kExitSuccess;
}

int Main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const ParsedCommandLine parsed = ParseCommandLine(args);
    CConsoleOutput output;
    if (!parsed.ok) {
        CConsoleOutput::Error("kestrelc: " + parsed.error);
        return kExitUsage;
    }
    const ConsoleCommand& command = parsed.command;
    switch (command.action) {
    case ConsoleAction::Help:
        output.Line(ConsoleUsage());
        return kExitSuccess;
    case ConsoleAction::Version:
        output.Line("kestrelc " KESTREL_VERSION);
        return kExitSuccess;
    case ConsoleAction::Convert:
        return RunConvert(command);
    case ConsoleAction::ListUsb:
        return ListUsb(command, output);
    case ConsoleAction::Download:
        break;
    }

    if (!UsesHexFirmware(command.printerType)) {
        if (const auto problem = FirmwareProblem(command.firmware)) {
            const PortResult refused{kExitFirmware, problem};
            for (const PortTarget& target : command.ports)
                ReportResult(target, refused, command.output, output);
            return kExitFirmware;
        }
    }

    InstallInterruptHandler();
    // What runs that died (a kill, a crash, a power cut) left behind, as the
    // window program does at its start: printers still on "FILE:" get their
    // ports back, and their private folders go. Quietly, and never what a
    // run still going holds.
    CSpoolerPorts::GiveBackLeftByEndedRuns();
    CPrivateFolder::RemoveThoseOfEndedRuns();
    SocketLibrary sockets;
    int code;
    if (command.ports.size() > 1) {
        code = RunBatchDownload(command, output);
    } else {
        const PortTarget& target = command.ports.front();
        const PortResult result = RunConsoleDownload(command, target, output);
        ReportResult(target, result, command.output, output);
        code = result.code;
    }
    CleanupFinished();
    return code;
}

} // namespace
} // namespace kestrel

int main(int argc, char** argv) {
    return kestrel::Main(argc, argv);
}
