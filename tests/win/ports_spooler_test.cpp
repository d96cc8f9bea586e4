// Spooler printers on the download's port are moved to "FILE:" and given
// their ports back; others are left alone. Real local printers in the
// test prefix's spooler.
#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ports/spooler_ports_win.h"
#include "framework/win_handle.h"

namespace kestrel {
namespace {

const char* kDriver = "Generic / Text Only";

std::string Unique(const char* name) {
    return std::string("kestrel-") + name + "-" + std::to_string(GetCurrentProcessId());
}

std::string PortOf(const std::string& printer) {
    HANDLE h = nullptr;
    if (!OpenPrinterA(const_cast<char*>(printer.c_str()), &h, nullptr))
        return "<no printer>";
    DWORD needed = 0;
    GetPrinterA(h, 2, nullptr, 0, &needed);
    std::vector<BYTE> info(needed);
    std::string port = "<unreadable>";
    if (needed && GetPrinterA(h, 2, info.data(), needed, &needed))
        port = reinterpret_cast<PRINTER_INFO_2A*>(info.data())->pPortName;
    ClosePrinter(h);
    return port;
}

// What a run wrote down for a printer ("" when nothing).
std::string Recorded(const std::string& run, const std::string& printer) {
    char text[512] = {};
    DWORD size = sizeof text;
    const std::string key = std::string(kMovedPrintersKey) + "\\" + run;
    if (RegGetValueA(HKEY_CURRENT_USER, key.c_str(), printer.c_str(), RRF_RT_REG_SZ, nullptr, text,
                     &size) != ERROR_SUCCESS)
        return "";
    return text;
}

bool RunKeyExists(const std::string& run) {
    HKEY key = nullptr;
    const std::string path = std::string(kMovedPrintersKey) + "\\" + run;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

class Spooler : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        DRIVER_INFO_3A di{};
        di.cVersion = 3;
        di.pName = const_cast<char*>(kDriver);
        di.pEnvironment = nullptr;
        di.pDriverPath = const_cast<char*>("wineps.drv");
        di.pDataFile = const_cast<char*>("wineps.drv");
        di.pConfigFile = const_cast<char*>("wineps.drv");
        di.pDefaultDataType = const_cast<char*>("RAW");
        AddPrinterDriverA(nullptr, 3, reinterpret_cast<BYTE*>(&di));
    }
    void Add(const std::string& name, const char* port) {
        PRINTER_INFO_2A pi{};
        pi.pPrinterName = const_cast<char*>(name.c_str());
        pi.pPortName = const_cast<char*>(port);
        pi.pDriverName = const_cast<char*>(kDriver);
        pi.pPrintProcessor = const_cast<char*>("WinPrint");
        pi.pDatatype = const_cast<char*>("RAW");
        HANDLE h = AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&pi));
        ASSERT_NE(h, nullptr) << "AddPrinter " << name << " failed: " << GetLastError();
        ClosePrinter(h);
        added_.push_back(name);
        ASSERT_EQ(PortOf(name), port);
    }
    void TearDown() override {
        for (const std::string& name : added_) {
            PRINTER_DEFAULTSA all{nullptr, nullptr, PRINTER_ALL_ACCESS};
            HANDLE h = nullptr;
            if (OpenPrinterA(const_cast<char*>(name.c_str()), &h, &all)) {
                DeletePrinter(h);
                ClosePrinter(h);
            }
        }
    }
    std::vector<std::string> added_;
};

TEST_F(Spooler, PrintersOnThePortMoveToFileAndComeBack) {
    const std::string com1 = Unique("com1"), com10 = Unique("com10"), lpt = Unique("lpt"),
                      list = Unique("list"), com20 = Unique("com20");
    Add(com1, "COM1:");
    Add(com10, "COM10:");
    Add(lpt, "LPT1:");
    Add(list, "LPT1:,LPT2:");
    Add(com20, "COM20:");

    CSpoolerPorts spooler;
    const std::string run = spooler.Record().RunName();
    spooler.ReleasePrinterPorts("COM1");
    // A substring match: COM10 shares the text and is moved too.
    EXPECT_EQ(PortOf(com1), "FILE:");
    EXPECT_EQ(PortOf(com10), "FILE:");
    EXPECT_EQ(PortOf(lpt), "LPT1:");
    EXPECT_EQ(PortOf(com20), "COM20:");
    // Written down outside the program while they are away, struck off after.
    EXPECT_EQ(Recorded(run, com1), "COM1:");
    EXPECT_EQ(Recorded(run, com10), "COM10:");
    EXPECT_EQ(Recorded(run, lpt), "");
    spooler.RestorePrinterPorts();
    EXPECT_EQ(PortOf(com1), "COM1:");
    EXPECT_EQ(PortOf(com10), "COM10:");
    EXPECT_TRUE(spooler.SavedPrinterPorts().empty());
    EXPECT_EQ(Recorded(run, com1), "");
    EXPECT_EQ(Recorded(run, com10), "");

    // The device-namespace form of COM20 is the spooler's COM20.
    spooler.ReleasePrinterPorts("\\\\.\\COM20");
    EXPECT_EQ(PortOf(com20), "FILE:");
    spooler.RestorePrinterPorts();
    EXPECT_EQ(PortOf(com20), "COM20:");

    spooler.ReleasePrinterPorts("LPT2");
    EXPECT_EQ(PortOf(list), "FILE:");
    EXPECT_EQ(PortOf(lpt), "LPT1:");
    spooler.RestorePrinterPorts();
    EXPECT_EQ(PortOf(list), "LPT1:,LPT2:");
}

TEST_F(Spooler, HeldPortsComeBackWhenTheOwnerGoes) {
    const std::string a = Unique("held-a"), b = Unique("held-b");
    Add(a, "COM3:");
    Add(b, "LPT3:");
    {
        CSpoolerPorts spooler;
        spooler.ReleasePrinterPorts("COM3");
        spooler.ReleasePrinterPorts("LPT3"); // a second run before the first gave back
        EXPECT_EQ(PortOf(a), "FILE:");
        EXPECT_EQ(PortOf(b), "FILE:");
        EXPECT_EQ(spooler.SavedPrinterPorts().size(), 2u);
    }
    EXPECT_EQ(PortOf(a), "COM3:");
    EXPECT_EQ(PortOf(b), "LPT3:");
}

TEST_F(Spooler, ARunThatDiedIsGivenBackAtTheNextStartOneStillRunningIsNot) {
    const std::string moved = Unique("died-moved"), reset = Unique("died-reset"),
                      gone = Unique("died-gone"), busy = Unique("still-busy"),
                      elsewhere = Unique("other-session");
    Add(moved, "FILE:");
    Add(reset, "COM6:"); // the user gave it a port himself since
    Add(busy, "COM8:");
    Add(elsewhere, "FILE:");
    // What a killed run left: no process holds its mark of life any more.
    const std::string dead = "1." + std::to_string(GetCurrentProcessId()) + "dead";
    const std::string path = std::string(kMovedPrintersKey) + "\\" + dead;
    for (const auto& [printer, port] :
         {std::pair{moved, "COM5:"}, std::pair{reset, "COM7:"}, std::pair{gone, "COM9:"}})
        ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, path.c_str(), printer.c_str(), REG_SZ, port,
                                  static_cast<DWORD>(strlen(port) + 1)),
                  ERROR_SUCCESS);

    CSpoolerPorts running; // another copy, in the middle of its download
    running.ReleasePrinterPorts("COM8");
    ASSERT_EQ(PortOf(busy), "FILE:");
    // A copy in another logon session (over SSH, from the task scheduler)
    // shares the record but not this session's Local\ namespace.
    const std::string other = std::to_string(GetCurrentProcessId()) + ".0123456789abcdef";
    UniqueHandle otherAlive(
        CreateMutexA(nullptr, FALSE, ("Global\\Kestrel.RunAlive." + other).c_str()));
    ASSERT_TRUE(otherAlive);
    const std::string otherPath = std::string(kMovedPrintersKey) + "\\" + other;
    ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, otherPath.c_str(), elsewhere.c_str(), REG_SZ,
                              "COM9:", 6),
              ERROR_SUCCESS);

    CSpoolerPorts::GiveBackLeftByEndedRuns();
    EXPECT_EQ(PortOf(moved), "COM5:");
    EXPECT_EQ(PortOf(reset), "COM6:");
    EXPECT_FALSE(RunKeyExists(dead)) << "everything of the dead run was settled";
    EXPECT_EQ(PortOf(busy), "FILE:") << "a print job would land in the firmware";
    EXPECT_EQ(Recorded(running.Record().RunName(), busy), "COM8:");
    EXPECT_EQ(PortOf(elsewhere), "FILE:") << "given back under a run in another session";
    running.RestorePrinterPorts();
    EXPECT_EQ(PortOf(busy), "COM8:");
    RegDeleteTreeA(HKEY_CURRENT_USER, otherPath.c_str());
}

TEST_F(Spooler, NoPrinterOnThePortChangesNothing) {
    const std::string a = Unique("other");
    Add(a, "COM4:");
    CSpoolerPorts spooler;
    spooler.ReleasePrinterPorts("COM7");
    EXPECT_TRUE(spooler.SavedPrinterPorts().empty());
    EXPECT_EQ(PortOf(a), "COM4:");
}

} // namespace
} // namespace kestrel
