// What the virtual printer reads from its command line and control channel.
#include "tools/virtual_printer/control_command.h"
#include "tools/virtual_printer/hex_bytes.h"
#include "tools/virtual_printer/number_text.h"
#include "tools/virtual_printer/printer_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel::vprinter {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(VirtualPrinterHex, AcceptsTheWaysTestersWriteBytes) {
    struct Case {
        const char* text;
        Bytes bytes;
    } cases[] = {
        {"14 00 00 0f", {0x14, 0x00, 0x00, 0x0F}},
        {"1400000F", {0x14, 0x00, 0x00, 0x0F}},
        {"0x35,0x40, 41 00", {0x35, 0x40, 0x41, 0x00}},
        {"\tff\t", {0xFF}},
    };
    for (const Case& c : cases) {
        const HexParse p = ParseHexBytes(c.text);
        ASSERT_TRUE(p.bytes) << c.text << ": " << p.error;
        EXPECT_EQ(*p.bytes, c.bytes) << c.text;
    }
}

TEST(VirtualPrinterHex, RefusesWhatIsNotWholeBytes) {
    for (const char* text : {"", "  ", "1", "14 0", "1g", "0x", "14 00 00 0f 5", "-1"}) {
        const HexParse p = ParseHexBytes(text);
        EXPECT_FALSE(p.bytes) << text;
        EXPECT_FALSE(p.error.empty()) << text;
    }
}

TEST(VirtualPrinterNumbers, WholeTextMustBeTheNumber) {
    EXPECT_EQ(ParseUnsigned("11520", kMaxRate), 11520u);
    EXPECT_EQ(ParseUnsigned("0", 5), 0u);
    EXPECT_EQ(ParseUnsigned("5", 5), 5u);
    for (const char* text : {"", "6", "-1", "+1", " 1", "1 ", "1x", "0x10"})
        EXPECT_FALSE(ParseUnsigned(text, 5)) << text;
    EXPECT_FALSE(ParseUnsigned("18446744073709551616", ~0ull)); // one past 2^64-1

    EXPECT_EQ(ParseSeconds("5"), std::chrono::milliseconds(5000));
    EXPECT_EQ(ParseSeconds("0.25"), std::chrono::milliseconds(250));
    EXPECT_EQ(ParseSeconds("2.5"), std::chrono::milliseconds(2500));
    EXPECT_EQ(ParseSeconds("1.005"), std::chrono::milliseconds(1005));
    for (const char* text : {"", ".5", "1.", "1.0001", "1.-5", "99999999"})
        EXPECT_FALSE(ParseSeconds(text)) << text;
}

ControlParse Control(const char* line) {
    return ParseControlLine(line);
}

TEST(VirtualPrinterControl, Commands) {
    struct Case {
        const char* line;
        ControlAction action;
        Bytes bytes;
        std::uint64_t rate;
    } cases[] = {
        {"send 14 00 00 0f", ControlAction::Send, {0x14, 0x00, 0x00, 0x0F}, 0},
        {"  send\t35404100\r", ControlAction::Send, {0x35, 0x40, 0x41, 0x00}, 0},
        {"stop-reading", ControlAction::StopReading, {}, 0},
        {"resume-reading ", ControlAction::ResumeReading, {}, 0},
        {"drop", ControlAction::Drop, {}, 0},
        {"rate 11520", ControlAction::SetRate, {}, 11520},
        {"rate 0", ControlAction::SetRate, {}, 0},
        {"rate line", ControlAction::SetRate, {}, 0},
        {"quit", ControlAction::Quit, {}, 0},
        {"chunk 10 00 00 0f 00 00", ControlAction::Chunk, {0x10, 0, 0, 0x0F, 0, 0}, 0},
        {"unplug", ControlAction::Unplug, {}, 0},
        {"plug", ControlAction::Plug, {}, 0},
    };
    for (const Case& c : cases) {
        const ControlParse p = Control(c.line);
        ASSERT_TRUE(p.command) << c.line << ": " << p.error;
        EXPECT_EQ(p.command->action, c.action) << c.line;
        EXPECT_EQ(p.command->bytes, c.bytes) << c.line;
        EXPECT_EQ(p.command->rate, c.rate) << c.line;
        EXPECT_EQ(p.command->rateFromLine, std::string(c.line) == "rate line") << c.line;
    }
}

TEST(VirtualPrinterControl, BlankAndCommentLinesAreSilentErrorsAreNot) {
    for (const char* line : {"", "   ", "\r", "# send 14 00 00 0f"}) {
        const ControlParse p = Control(line);
        EXPECT_FALSE(p.command) << line;
        EXPECT_TRUE(p.error.empty()) << line;
    }
    for (const char* line :
         {"send", "send 1", "drop now", "rate", "rate fast", "rate -5", "rate lines", "Drop",
          "sendd 14", "stop_reading", "chunk", "plug in"}) {
        const ControlParse p = Control(line);
        EXPECT_FALSE(p.command) << line;
        EXPECT_FALSE(p.error.empty()) << line;
    }
}

TEST(VirtualPrinterControl, LinesSplitAcrossWritesAndWindowsLineEnds) {
    ControlLineBuffer b;
    b.Append("sen");
    EXPECT_FALSE(b.NextLine());
    b.Append("d 14 00 00 0f\r\ndrop\n\nquit");
    EXPECT_EQ(b.NextLine(), "send 14 00 00 0f");
    EXPECT_EQ(b.NextLine(), "drop");
    EXPECT_EQ(b.NextLine(), "");
    EXPECT_FALSE(b.NextLine());
    b.Append("\n");
    EXPECT_EQ(b.NextLine(), "quit");
}

TEST(VirtualPrinterControl, OverlongLineIsDroppedAndTheNextOneSurvives) {
    ControlLineBuffer b;
    b.Append("drop\n");
    b.Append(std::string(ControlLineBuffer::kMaxLine + 10, 'x'));
    b.Append(std::string(ControlLineBuffer::kMaxLine, 'y')); // same runaway line
    b.Append("\nquit\n");
    EXPECT_EQ(b.NextLine(), "drop");
    EXPECT_EQ(b.NextLine(), "quit");
    EXPECT_FALSE(b.NextLine());
}

OptionsParse Options(std::vector<std::string_view> args) {
    return ParsePrinterOptions(args);
}

TEST(VirtualPrinterOptions, EveryOptionInBothSpellings) {
    const OptionsParse p =
        Options({"--record", "rec.bin", "--settings=set.txt", "--control", "ctl",
                 "--link=/tmp/com5", "--rate", "11520", "--stop-reading-after=0", "--drop-after",
                 "4096", "--send-at", "1500:14 00 00 0f", "--send-at=200:35404100", "--idle-exit",
                 "2.5", "--chunks=/tmp/chunks"});
    ASSERT_TRUE(p.options) << p.error;
    const PrinterOptions& o = *p.options;
    EXPECT_EQ(o.recordPath, "rec.bin");
    EXPECT_EQ(o.settingsPath, "set.txt");
    EXPECT_EQ(o.controlPath, "ctl");
    EXPECT_EQ(o.linkPath, "/tmp/com5");
    EXPECT_EQ(o.chunksPath, "/tmp/chunks");
    EXPECT_EQ(o.rate, 11520u);
    EXPECT_EQ(o.stopReadingAfter, 0u);
    EXPECT_EQ(o.dropAfter, 4096u);
    ASSERT_EQ(o.sends.size(), 2u);
    EXPECT_EQ(o.sends[0].at, std::chrono::milliseconds(1500));
    EXPECT_EQ(o.sends[0].bytes, (Bytes{0x14, 0x00, 0x00, 0x0F}));
    EXPECT_EQ(o.sends[1].at, std::chrono::milliseconds(200));
    EXPECT_EQ(o.idleExit, std::chrono::milliseconds(2500));
    EXPECT_FALSE(o.help);
    EXPECT_FALSE(o.rateFromLine);
    EXPECT_FALSE(o.tcpPort);
}

TEST(VirtualPrinterOptions, NetworkPrinter) {
    const OptionsParse any = Options({"--tcp", "0"});
    ASSERT_TRUE(any.options) << any.error;
    EXPECT_EQ(any.options->tcpPort, 0);
    const OptionsParse fixed = Options({"--tcp=9100", "--record", "r", "--receive-buffer=4096"});
    ASSERT_TRUE(fixed.options) << fixed.error;
    EXPECT_EQ(fixed.options->tcpPort, 9100);
    EXPECT_EQ(fixed.options->receiveBuffer, 4096u);
    EXPECT_FALSE(any.options->receiveBuffer);
    for (const auto& args : std::vector<std::vector<std::string_view>>{
             {"--tcp", "65536"}, {"--tcp", "http"}, {"--tcp", "9100", "--link", "/tmp/com1"},
             {"--receive-buffer", "4096"}, {"--tcp", "0", "--receive-buffer", "0"}})
        EXPECT_FALSE(Options(args).options) << args[0] << " " << args[1];
}

TEST(VirtualPrinterOptions, TheLastRateGivenWins) {
    const OptionsParse line = Options({"--rate", "100", "--rate=line"});
    ASSERT_TRUE(line.options);
    EXPECT_TRUE(line.options->rateFromLine);
    const OptionsParse fixed = Options({"--rate", "line", "--rate", "100"});
    ASSERT_TRUE(fixed.options);
    EXPECT_FALSE(fixed.options->rateFromLine);
    EXPECT_EQ(fixed.options->rate, 100u);
}

TEST(VirtualPrinterOptions, DefaultsReadEverythingAtOnceAndNeverQuit) {
    const OptionsParse p = Options({});
    ASSERT_TRUE(p.options);
    EXPECT_EQ(p.options->rate, 0u);
    EXPECT_FALSE(p.options->stopReadingAfter);
    EXPECT_FALSE(p.options->dropAfter);
    EXPECT_FALSE(p.options->idleExit);
    EXPECT_TRUE(p.options->sends.empty());
}

TEST(VirtualPrinterOptions, RefusedCommandLines) {
    const std::vector<std::vector<std::string_view>> cases = {
        {"--record"},              // value missing
        {"--record="},             // empty value
        {"--rate", "fast"},        //
        {"--rate", "-1"},          //
        {"--rate", "1000000001"},  // beyond what pacing can reckon
        {"--drop-after", "1e3"},   //
        {"--idle-exit", "0"},      // would exit before anything happens
        {"--idle-exit", "soon"},   //
        {"--send-at", "14000000"}, // no time
        {"--send-at", "x:14"},     //
        {"--send-at", "100:"},     // no bytes
        {"--send-at", "100:1"},    //
        {"--verbose"},             // unknown
        {"record", "x"},           // not an option
    };
    for (const auto& args : cases) {
        const OptionsParse p = Options(args);
        std::string joined;
        for (auto a : args)
            joined += std::string(a) + " ";
        EXPECT_FALSE(p.options) << joined;
        EXPECT_FALSE(p.error.empty()) << joined;
    }
}

} // namespace
} // namespace kestrel::vprinter
