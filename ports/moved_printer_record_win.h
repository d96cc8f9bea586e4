// Printers moved to "FILE:" are written down in the current user's registry
// before they move, one value per printer (name -> former port text) under a
// key of the run that moved them, and struck off when they get their port
// back. A run that dies (a crash, a kill, a power cut) leaves its key behind;
// the next start gives those printers back. A run that is still going is
// marked alive (run_alive_win.h) for as long as it lives, so that another
// copy of the program never gives back a port in the middle of its download.
#pragma once

#include <functional>
#include <string>

#include "framework/win_handle.h"

namespace kestrel {

// Under HKEY_CURRENT_USER; one subkey per run.
inline constexpr const char* kMovedPrintersKey = "Software\\Kestrel\\Printers moved to FILE";

class CMovedPrinterRecord {
  public:
    // Marks this run as alive; nothing is written until a printer moves.
    CMovedPrinterRecord();
    // Takes this run's key away when nothing is left in it.
    ~CMovedPrinterRecord();
    CMovedPrinterRecord(const CMovedPrinterRecord&) = delete;
    CMovedPrinterRecord& operator=(const CMovedPrinterRecord&) = delete;

    // False when the record could not be written.
    bool Add(const std::string& printer, const std::string& port);
    void Remove(const std::string& printer);

    // The run's own key name, for tests.
    const std::string& RunName() const { return run_; }

    // Hands every printer written down by a run that has ended to
    // `giveBack(printer, port)`; its entry goes when giveBack returns true.
    // Runs that are still alive are left alone.
    static void TakeOverEndedRuns(
        const std::function<bool(const std::string& printer, const std::string& port)>& giveBack);

  private:
    std::string run_;    // "<process id>.<process start time>"
    UniqueHandle alive_; // the named mutex that says this run is alive
};

} // namespace kestrel
