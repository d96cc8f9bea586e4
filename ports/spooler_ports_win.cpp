#include "ports/spooler_ports_win.h"

#include <windows.h>
#include <winspool.h>

#include <memory>
#include <vector>

namespace kestrel {
namespace {

struct PrinterCloser {
    void operator()(HANDLE h) const {
        if (h != nullptr) ClosePrinter(h);
    }
};
using PrinterHandle = std::unique_ptr<void, PrinterCloser>;

PrinterHandle OpenFull(const std::string& name) {
    PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE h = nullptr;
    if (!OpenPrinterA(const_cast<char*>(name.c_str()), &h, &defaults)) return nullptr;
    return PrinterHandle(h);
}

enum class PortChange { Done, Failed, NoSuchPrinter, NotOnExpectedPort };

constexpr const char* kFilePort = "FILE:";

// Reads the printer's level 2 information, sets its port text and writes it
// back; with `onlyFrom`, only when the printer is still on that port. The
// printer is as it was unless the result is Done.
PortChange SetPrinterPort(const std::string& printer, const std::string& port,
                          const char* onlyFrom = nullptr) {
    PrinterHandle handle = OpenFull(printer);
    if (!handle)
        return GetLastError() == ERROR_INVALID_PRINTER_NAME ? PortChange::NoSuchPrinter
                                                            : PortChange::Failed;
    DWORD needed = 0;
    GetPrinterA(handle.get(), 2, nullptr, 0, &needed);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) return PortChange::Failed;
    std::vector<BYTE> info(needed, 0);
    if (!GetPrinterA(handle.get(), 2, info.data(), needed, &needed)) return PortChange::Failed;
    auto* p2 = reinterpret_cast<PRINTER_INFO_2A*>(info.data());
    if (onlyFrom && (p2->pPortName == nullptr || std::string(p2->pPortName) != onlyFrom))
        return PortChange::NotOnExpectedPort;
    std::string text = port;  // outlives the SetPrinter call
    p2->pPortName = text.data();
    // The security descriptor is not ours to rewrite.
    p2->pSecurityDescriptor = nullptr;
    return SetPrinterA(handle.get(), 2, info.data(), 0) != 0 ? PortChange::Done
                                                              : PortChange::Failed;
}

}  // namespace

std::string SpoolerPortText(const std::string& portName) {
    const std::string device = "\\\\.\\";
    if (portName.rfind(device, 0) == 0) return portName.substr(device.size());
    return portName;
}

CSpoolerPorts::~CSpoolerPorts() { RestorePrinterPorts(); }

void CSpoolerPorts::ReleasePrinterPorts(const std::string& portName) {
    const std::string wanted = SpoolerPortText(portName);
    if (wanted.empty()) return;
    // The list can grow between the size query and the read; ask again
    // until it fits.
    std::vector<BYTE> buffer;
    DWORD needed = 0, count = 0;
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (EnumPrintersA(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(),
                          static_cast<DWORD>(buffer.size()), &needed, &count))
            break;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return;
        buffer.assign(needed, 0);
        count = 0;
    }
    const auto* printers = reinterpret_cast<const PRINTER_INFO_2A*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        const PRINTER_INFO_2A& p = printers[i];
        if (p.pPrinterName == nullptr || p.pPortName == nullptr) continue;
        const std::string ports = p.pPortName;
        if (ports.find(wanted) == std::string::npos) continue;
        const std::string name = p.pPrinterName;
        // Written down first, so that a run that dies while the printer is
        // on "FILE:" still leaves word of where it belongs.
        record_.Add(name, ports);
        // Only a printer that really moved needs to move back.
        if (SetPrinterPort(name, kFilePort) == PortChange::Done)
            saved_[name] = ports;
        else
            record_.Remove(name);
    }
}

void CSpoolerPorts::RestorePrinterPorts() {
    // A printer that cannot be given its port back now stays on the list for
    // the next pass, and the one after it is still tried.
    for (auto it = saved_.begin(); it != saved_.end();) {
        if (SetPrinterPort(it->first, it->second) == PortChange::Done) {
            record_.Remove(it->first);
            it = saved_.erase(it);
        } else {
            ++it;
        }
    }
}

void CSpoolerPorts::GiveBackLeftByEndedRuns() {
    CMovedPrinterRecord::TakeOverEndedRuns([](const std::string& printer, const std::string& port) {
        switch (SetPrinterPort(printer, port, kFilePort)) {
        case PortChange::Done:
        case PortChange::NoSuchPrinter:      // nothing left to give back to
        case PortChange::NotOnExpectedPort:  // someone has set its port since
            return true;
        case PortChange::Failed: break;
        }
        return false;  // kept for the next start
    });
}

}  // namespace kestrel
