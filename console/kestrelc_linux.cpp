// kestrelc on Linux: the same command line, progress, JSON events and exit
// codes as on Windows, with Linux port names and no Wine.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "config/printer_models.h"
#include "console/batch_lines.h"
#include "console/command_line.h"
#include "console/console_download_linux.h"
#include "console/console_interrupt_posix.h"
#include "console/console_output_posix.h"
#include "console/exit_codes.h"
#include "console/progress_text.h"
#include "download/hex_download.h"
#include "firmware/hex_image_file.h"

namespace kestrel {
namespace {

// The firmware must be there and hold something before a port is touched.
std::optional<std::string> FirmwareProblem(const std::string& path) {
    struct stat info{};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
        access(path.c_str(), R_OK) != 0)
        return std::string(msg::kFileOpen);
    if (info.st_size == 0)
        return std::string(msg::kFileEmpty);
    return std::nullopt;
}

// Converted beside the output first, so that a refused file never replaces
// (or leaves behind) an image.
int RunConvert(const ConsoleCommand& command) {
    const std::string partial = command.convertOutput + ".partial";
    const HexConversion conversion = ConvertHexImage(command.firmware, partial);
    if (!conversion.ok()) {
        unlink(partial.c_str());
        CConsoleOutput::Error(HexFailureMessage(conversion));
        return kExitFirmware;
    }
    if (std::rename(partial.c_str(), command.convertOutput.c_str()) != 0) {
        unlink(partial.c_str());
        CConsoleOutput::Error("Cannot write " + command.convertOutput);
        return kExitFirmware;
    }
    return kExitSuccess;
}

int Main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const ParsedCommandLine parsed = ParseCommandLine(args, PortForms::Linux);
    CConsoleOutput output;
    if (!parsed.ok) {
        CConsoleOutput::Error("kestrelc: " + parsed.error);
        return kExitUsage;
    }
    const ConsoleCommand& command = parsed.command;
    switch (command.action) {
    case ConsoleAction::Help:
        output.Line(ConsoleUsage(PortForms::Linux));
        return kExitSuccess;
    case ConsoleAction::Version:
        output.Line("kestrelc " KESTREL_VERSION);
        return kExitSuccess;
    case ConsoleAction::Convert:
        return RunConvert(command);
    case ConsoleAction::ListUsb: // refused by the command line on Linux
    case ConsoleAction::Download:
        break;
    }

    const PortTarget& target = command.ports.front();
    if (!UsesHexFirmware(command.printerType)) {
        if (const auto problem = FirmwareProblem(command.firmware)) {
            ReportResult(target, PortResult{kExitFirmware, problem}, command.output, output);
            return kExitFirmware;
        }
    }
    InstallInterruptHandler();
    const PortResult result = RunConsoleDownload(command, target, output);
    ReportResult(target, result, command.output, output);
    return result.code;
}

} // namespace
} // namespace kestrel

int main(int argc, char** argv) {
    return kestrel::Main(argc, argv);
}
