#include <gtest/gtest.h>

#include "console/batch_lines.h"
#include "console/command_line.h"
#include "console/exit_codes.h"
#include "console/progress_text.h"

namespace kestrel {
namespace {

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    size_t start = 0;
    while (start < line.size()) {
        const size_t blank = line.find(' ', start);
        words.push_back(line.substr(start, blank - start));
        if (blank == std::string::npos)
            break;
        start = blank + 1;
    }
    return words;
}

struct Refusal {
    const char* line;
    const char* names; // the option (or thing) the message must name
};

TEST(ConsoleCommandLine, RefusesWithAMessageNamingTheOption) {
    const Refusal cases[] = {
        {"--port COM3 fw.fls", "--model"},
        {"--model TQ-999 --port COM3 fw.fls", "TQ-110"},
        {"--model TQ-110 fw.fls", "--port"},
        {"--model TQ-110 --port COM0 fw.fls", "COM1 to COM256"},
        {"--model TQ-110 --port COM257 fw.fls", "COM1 to COM256"},
        {"--model TQ-110 --port LPT4 fw.fls", "LPT1 to LPT3"},
        {"--model TQ-110 --port usb:0 fw.fls", "usb:N"},
        {"--model TQ-110 --port 0.0.0.0:9100 fw.fls", "0.0.0.0"},
        {"--model TQ-110 --port 255.255.255.255:9100 fw.fls", "not 0.0.0.0"},
        {"--model TQ-110 --port 224.1.1.1:9100 fw.fls", "multicast"},
        {"--model TQ-110 --port 10.0.0.1:65536 fw.fls", "1 to 65535"},
        {"--model TQ-110 --port 10.0.0.256:9100 fw.fls", "IPv4"},
        {"--model TQ-110 --port printer fw.fls", "ADDRESS:TCPPORT"},
        {"--model TQ-110 --port COM3,com3 fw.fls", "twice"},
        {"--model TQ-110 --port COM3, fw.fls", "empty"},
        {"--model TQ-140F --port LPT1 fw.fls", "COM ports only"},
        {"--model TQ-110 --port \\\\?\\usb#vid_7a31&pid_0006#1#{x} fw.fls", "TQ-110's family"},
        {"--model TQ-110 --port LPT1 --baud 9600 fw.fls", "--baud"},
        {"--model TQ-110 --port COM3 --baud 1200 fw.fls", "--baud"},
        {"--model TQ-110 --port COM3 --parity mark fw.fls", "--parity"},
        {"--model TQ-110 --port COM3 --handshake rts fw.fls", "--handshake"},
        {"--model TQ-110 --port COM3 --quiet --json fw.fls", "--quiet"},
        {"--model TQ-110 --model TQ-120 --port COM3 fw.fls", "twice"},
        {"--model TQ-110 --port COM3 --speed 9600 fw.fls", "--speed"},
        {"--model TQ-110 --port COM3", "firmware"},
        {"--model TQ-110 --port COM3 a.fls b.fls", "b.fls"},
        {"--model TQ-110 --port", "--port"},
        {"--model TQ-140 --list-usb --port COM3", "--list-usb"},
        {"convert in.hex", "convert"},
    };
    for (const Refusal& c : cases) {
        const ParsedCommandLine parsed = ParseCommandLine(Words(c.line));
        EXPECT_FALSE(parsed.ok) << c.line;
        EXPECT_NE(parsed.error.find(c.names), std::string::npos)
            << c.line << " -> " << parsed.error;
    }
}

// The port forms of Linux: the kind read off the path or forced by a
// prefix, Windows names and what is not there yet refused.
TEST(ConsoleCommandLine, ReadsLinuxPortForms) {
    const struct {
        const char* port;
        PortKind kind;
        const char* portName;
        uint16_t tcpPort;
    } accepted[] = {
        {"/dev/ttyS0", PortKind::Serial, "/dev/ttyS0", 0},
        {"/dev/ttyUSB0", PortKind::Serial, "/dev/ttyUSB0", 0},
        {"/dev/pts/7", PortKind::Serial, "/dev/pts/7", 0},
        {"/tmp/printer-link", PortKind::Serial, "/tmp/printer-link", 0},
        {"serial:/dev/lp0", PortKind::Serial, "/dev/lp0", 0},
        {"/dev/lp0", PortKind::Parallel, "/dev/lp0", 0},
        {"parallel:/dev/pts/3", PortKind::Parallel, "/dev/pts/3", 0},
        {"192.168.0.10:9100", PortKind::Network, "192.168.0.10", 9100},
    };
    for (const auto& c : accepted) {
        const ParsedCommandLine parsed = ParseCommandLine(
            Words(std::string("--model TQ-110 --port ") + c.port + " fw.fls"), PortForms::Linux);
        ASSERT_TRUE(parsed.ok) << c.port << ": " << parsed.error;
        const PortTarget& target = parsed.command.ports.at(0);
        EXPECT_EQ(target.kind, c.kind) << c.port;
        EXPECT_EQ(target.portName, c.portName) << c.port;
        EXPECT_EQ(target.tcpPort, c.tcpPort) << c.port;
        EXPECT_EQ(target.given, c.port);
    }
    const Refusal refused[] = {
        {"--model TQ-110 --port COM3 fw.fls", "/dev/ttyS0"},
        {"--model TQ-110 --port lpt1 fw.fls", "ADDRESS:TCPPORT"},
        {"--model TQ-110 --port \\\\.\\COM12 fw.fls", "Windows port name"},
        {"--model TQ-110 --port /dev/usb/lp0 fw.fls", "not yet supported on Linux"},
        {"--model TQ-110 --port usb:/dev/pts/3 fw.fls", "not yet supported on Linux"},
        {"--model TQ-110 --port usb:2 fw.fls", "not yet supported on Linux"},
        {"--model TQ-140F --port /dev/lp0 fw.fls", "serial ports only"},
        {"--model TQ-110 --port /dev/ttyS0,/dev/ttyS1 fw.fls", "not yet supported on Linux"},
        {"--model TQ-110 --port 0.0.0.0:9100 fw.fls", "0.0.0.0"},
        {"--model TQ-110 --port ttyS0 fw.fls", "tty path"},
        {"--model TQ-140 --list-usb", "not yet supported on Linux"},
        {"--model TQ-110 --port 10.0.0.1:9100 --baud 9600 fw.fls", "serial ports only"},
    };
    for (const Refusal& c : refused) {
        const ParsedCommandLine parsed = ParseCommandLine(Words(c.line), PortForms::Linux);
        EXPECT_FALSE(parsed.ok) << c.line;
        EXPECT_NE(parsed.error.find(c.names), std::string::npos)
            << c.line << " -> " << parsed.error;
    }
    EXPECT_NE(ConsoleUsage(PortForms::Linux).find("/dev/ttyS0"), std::string::npos);
    EXPECT_EQ(ConsoleUsage(PortForms::Linux).find("COM1..COM256"), std::string::npos);
    EXPECT_EQ(ConsoleUsage(PortForms::Linux).find("(/dev/lpN) printers are not"), std::string::npos);
}

TEST(ConsoleCommandLine, ReadsPortsAndTheDialogsLineSettings) {
    ParsedCommandLine parsed = ParseCommandLine(
        Words("--model tq-110 --port COM3,com12,LPT2,usb:2,192.168.0.10:9100 fw.fls"));
    ASSERT_TRUE(parsed.ok) << parsed.error;
    const ConsoleCommand& c = parsed.command;
    EXPECT_EQ(c.action, ConsoleAction::Download);
    EXPECT_EQ(c.modelName, "TQ-110");
    EXPECT_EQ(c.printerType, 200);
    ASSERT_EQ(c.ports.size(), 5u);
    EXPECT_EQ(c.ports[0].portName, "COM3");
    EXPECT_EQ(c.ports[1].portName, "\\\\.\\COM12");
    EXPECT_EQ(c.ports[1].kind, PortKind::Serial);
    EXPECT_EQ(c.ports[2].portName, "LPT2");
    EXPECT_EQ(c.ports[3].usbIndex, 2);
    EXPECT_EQ(c.ports[4].portName, "192.168.0.10");
    EXPECT_EQ(c.ports[4].tcpPort, 9100);
    // The settings dialog's defaults: 9600 8N1, DTR/DSR.
    EXPECT_EQ(c.line.baudRate, 9600);
    EXPECT_EQ(c.line.dataBits, 8);
    EXPECT_EQ(c.line.parity, 0);
    EXPECT_EQ(c.line.handshake, 0);

    parsed = ParseCommandLine(Words("--model=TQ-140F --port=COM3 --baud=115200 --parity even "
                                    "--handshake xon --json fw.fls"));
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.command.line.baudRate, 115200);
    EXPECT_EQ(parsed.command.line.parity, 2);
    EXPECT_EQ(parsed.command.line.handshake, 1);
    EXPECT_EQ(parsed.command.output, OutputStyle::Json);

    parsed = ParseCommandLine(
        {"--model", "TQ-140", "--port", "\\\\?\\usb#vid_7a31&pid_0006#1#{x}", "f"});
    ASSERT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.command.ports[0].kind, PortKind::Usb);

    EXPECT_EQ(ParseCommandLine(Words("--model TQ-140 --list-usb")).command.action,
              ConsoleAction::ListUsb);
    EXPECT_EQ(ParseCommandLine(Words("convert a.hex b.fls")).command.convertOutput, "b.fls");
    EXPECT_EQ(ParseCommandLine(Words("--model X --version")).command.action,
              ConsoleAction::Version);
}

TEST(ConsoleExitCodes, OnePerWayADownloadEnds) {
    EXPECT_EQ(ExitCodeFor(DownloadOutcome::Completed), 0);
    EXPECT_EQ(ExitCodeFor(DownloadOutcome::FileEmpty), 3);
    EXPECT_EQ(ExitCodeFor(DownloadOutcome::LoadFailed), 4);
    EXPECT_EQ(ExitCodeFor(DownloadOutcome::ConfigurationFailed), 5);
    EXPECT_EQ(ExitCodeFor(DownloadOutcome::OpenFailed), 6);
    EXPECT_EQ(ExitCodeFor(DownloadOutcome::SendFailed), 7);
    EXPECT_EQ(ExitCodeFor(DownloadOutcome::ConnectFailed), 8);
    EXPECT_EQ(ExitCodeFor(DownloadOutcome::NetworkWriteFailed), 9);
    const ExitCode several[] = {kExitSuccess, kExitPortOpen, kExitSendFailed};
    EXPECT_EQ(CombinedExitCode(several, 3), kExitPortOpen);
    EXPECT_EQ(CombinedExitCode(several, 1), kExitSuccess);
}

TEST(ConsoleLines, JsonEventsReadBackAsWritten) {
    EXPECT_EQ(JsonProgress("COM3", 4096, 262148),
              R"({"event":"progress","port":"COM3","sent":4096,"total":262148})");
    EXPECT_EQ(JsonClosing("COM3", ClosingSecondsLeft(242)),
              R"({"event":"closing","port":"COM3","left_s":20.8})");
    EXPECT_EQ(JsonDone("COM3", 0, std::nullopt), R"({"event":"done","port":"COM3","exit":0})");
    const std::string failed = JsonDone("\\\\.\\COM12", 7, "Failed File Loaded!!\nLine 3: \"x\"");
    EXPECT_EQ(JsonValue(failed, "port"), "\\\\.\\COM12");
    EXPECT_EQ(JsonValue(failed, "exit"), "7");
    EXPECT_EQ(JsonValue(failed, "message"), "Failed File Loaded!!\nLine 3: \"x\"");
    EXPECT_EQ(JsonValue(failed, "missing"), std::nullopt);
}

TEST(ConsoleLines, ChildCommandLineSurvivesQuoting) {
    // What CommandLineToArgvW gives back for each joined argument.
    EXPECT_EQ(JoinCommandLine({"a b", "c"}), "\"a b\" c");
    EXPECT_EQ(JoinCommandLine({"C:\\fw dir\\"}), "\"C:\\fw dir\\\\\"");
    EXPECT_EQ(JoinCommandLine({"say \"hi\""}), "\"say \\\"hi\\\"\"");
    EXPECT_EQ(JoinCommandLine({""}), "\"\"");
    ConsoleCommand command =
        ParseCommandLine(Words("--model TQ-110 --port COM3,COM4 --baud 115200 -x.fls")).command;
    EXPECT_EQ(
        JoinCommandLine(ChildArguments(command, command.ports[1])),
        "--model TQ-110 --port COM4 --baud 115200 --parity none --handshake dtr --json .\\-x.fls");
}

} // namespace
} // namespace kestrel
