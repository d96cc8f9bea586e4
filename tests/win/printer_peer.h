// The virtual printer at the other end, as the harness (scripts/vprinter-com.sh)
// describes it in the environment: its control FIFO, its log and its record.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/win/harness_env.h"

namespace kestrel::test {

inline std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

class CPrinterPeer {
  public:
    using Bytes = std::vector<uint8_t>;

    CPrinterPeer()
        : control_(Env("VPRINTER_CONTROL_WIN")), log_(WinPath(Env("VPRINTER_LOG"))),
          record_(WinPath(Env("VPRINTER_RECORD"))) {}

    // Sends one control command and waits until the printer applied it.
    bool Command(const std::string& line) {
        const size_t seen = Count(FileText(log_), "applied: " + line);
        {
            std::ofstream fifo(control_);
            fifo << line << "\n";
        }
        for (int i = 0; i < 2000; ++i) { // generous: about 20 s
            if (Count(FileText(log_), "applied: " + line) > seen)
                return true;
            ::Sleep(10);
        }
        ADD_FAILURE() << "printer did not apply " << line;
        return false;
    }
    // One printer serves the whole run: each test sees what arrived since
    // it last rebased.
    void Rebase() { base_ = FileText(record_).size(); }
    Bytes Received() {
        std::string text = FileText(record_);
        return text.size() > base_ ? Bytes(text.begin() + base_, text.end()) : Bytes{};
    }
    // Waits until the printer has taken `count` bytes off the line.
    bool WaitReceived(size_t count) {
        for (int i = 0; i < 3000; ++i) {
            if (Received().size() >= count)
                return true;
            ::Sleep(10);
        }
        return false;
    }

  private:
    static size_t Count(const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    }
    std::string control_, log_, record_;
    size_t base_ = 0;
};

} // namespace kestrel::test
