#include "download/spooler_ports.h"

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

// Reads the printer's level 2 information, sets its port text and writes it
// back. False when any step failed; the printer is then as it was.
bool SetPrinterPort(const std::string& printer, const std::string& port) {
    PrinterHandle handle = OpenFull(printer);
    if (!handle) return false;
    DWORD needed = 0;
    GetPrinterA(handle.get(), 2, nullptr, 0, &needed);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) return false;
    std::vector<BYTE> info(needed, 0);
    if (!GetPrinterA(handle.get(), 2, info.data(), needed, &needed)) return false;
    auto* p2 = reinterpret_cast<PRINTER_INFO_2A*>(info.data());
    std::string text = port;  // outlives the SetPrinter call
    p2->pPortName = text.data();
    // The security descriptor is not ours to rewrite.
    p2->pSecurityDescriptor = nullptr;
    return SetPrinterA(handle.get(), 2, info.data(), 0) != 0;
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
        // Only a printer that really moved needs to move back.
        if (SetPrinterPort(name, "FILE:")) saved_[name] = ports;
    }
}

void CSpoolerPorts::RestorePrinterPorts() {
    // A printer that cannot be given its port back now stays on the list for
    // the next pass, and the one after it is still tried.
    for (auto it = saved_.begin(); it != saved_.end();) {
        if (SetPrinterPort(it->first, it->second))
            it = saved_.erase(it);
        else
            ++it;
    }
}

}  // namespace kestrel
