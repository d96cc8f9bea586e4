// Spooler printers that use the port a download needs are moved to "FILE:"
// for the download and given their ports back afterwards. Each move is also
// written down outside the program (moved_printer_record_win.h), so that the
// next start gives back what a run that died could not.
#pragma once

#include <map>
#include <string>

#include "download/download_engine.h"
#include "ports/moved_printer_record_win.h"

namespace kestrel {

class CSpoolerPorts : public ISpooler {
public:
    CSpoolerPorts() = default;
    // Printers still held when the program ends get their ports back.
    ~CSpoolerPorts() override;
    CSpoolerPorts(const CSpoolerPorts&) = delete;
    CSpoolerPorts& operator=(const CSpoolerPorts&) = delete;

    void ReleasePrinterPorts(const std::string& portName) override;
    void RestorePrinterPorts() override;

    // Gives back, quietly, the ports of printers that earlier runs moved to
    // "FILE:" and never gave back, where the printer is still on "FILE:".
    // Runs still going (another copy mid-download) are left alone.
    static void GiveBackLeftByEndedRuns();

    // Printer name -> its port text before the hand-off.
    const std::map<std::string, std::string>& SavedPrinterPorts() const { return saved_; }

    const CMovedPrinterRecord& Record() const { return record_; }

private:
    CMovedPrinterRecord record_;
    std::map<std::string, std::string> saved_;
};

// The text a printer's port list is searched for: "COM12" for "\\.\COM12",
// since the spooler names ports without the device namespace prefix.
std::string SpoolerPortText(const std::string& portName);

}  // namespace kestrel
