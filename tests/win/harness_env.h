// What the serial harness (scripts/vprinter-com.sh) tells a Windows test
// through its environment, how to reach the printer's files from Wine, and
// the driver library under test.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <type_traits>
#include <vector>

#include "drivers/common/port_driver.h"

namespace kestrel::test {

inline std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// A Unix path of the harness as Wine sees it.
inline std::string WinPath(const std::string& unixPath) {
    std::string p = "Z:" + unixPath;
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}


inline std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

// The virtual printer on the other end of the line, as the harness
// describes it in the environment. One printer serves a whole run: each
// test rebases to see only what arrived since it started.
class CPrinterPeer {
  public:
    CPrinterPeer()
        : control_(Env("VPRINTER_CONTROL_WIN")), log_(WinPath(Env("VPRINTER_LOG"))),
          record_(WinPath(Env("VPRINTER_RECORD"))), settings_(WinPath(Env("VPRINTER_SETTINGS"))) {}

    // Sends one control command and waits (up to about 20 s) until the
    // printer has applied it.
    bool Command(const std::string& line) {
        const std::string applied = "applied: " + line;
        const size_t seen = Count(FileText(log_), applied);
        {
            std::ofstream fifo(control_);
            fifo << line << "\n";
        }
        for (int i = 0; i < 2000; ++i) {
            if (Count(FileText(log_), applied) > seen) return true;
            ::Sleep(10);
        }
        return false;
    }
    void Rebase() { base_ = FileText(record_).size(); }
    std::vector<uint8_t> Received() {
        std::string text = FileText(record_);
        return text.size() > base_ ? std::vector<uint8_t>(text.begin() + base_, text.end())
                                   : std::vector<uint8_t>{};
    }
    // Waits (up to about 30 s) until the printer has taken `count` bytes.
    bool WaitReceived(size_t count) {
        for (int i = 0; i < 3000; ++i) {
            if (Received().size() >= count) return true;
            ::Sleep(10);
        }
        return false;
    }

    // The printer polls the line settings; waits (up to about 5 s) for the
    // expected ones and returns what it last saw.
    std::string Settings(const std::string& expected) {
        std::string now;
        for (int i = 0; i < 500; ++i) {
            now = FileText(settings_);
            while (!now.empty() && (now.back() == '\n' || now.back() == '\r')) now.pop_back();
            if (now == expected) break;
            ::Sleep(10);
        }
        return now;
    }

  private:
    static size_t Count(const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    }
    std::string control_, log_, record_, settings_;
    size_t base_ = 0;
};

// A driver library beside the test program, its nine entries bound by name.
struct CDriverLibrary {
    HMODULE module = nullptr;
    PFN_SetDeviceOption SetDeviceOption = nullptr;
    PFN_OpenPort OpenPort = nullptr;
    PFN_Write Write = nullptr;
    PFN_Read Read = nullptr;
    PFN_ClosePort ClosePort = nullptr;
    PFN_Clear Clear = nullptr;
    PFN_GetInputBufferCount GetInputBufferCount = nullptr;
    PFN_IsPowerState IsPowerState = nullptr;
    PFN_GetASBState GetASBState = nullptr;

    bool Load(const char* fileName) {
        char exe[MAX_PATH];
        ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
        std::string path(exe);
        path = path.substr(0, path.find_last_of('\\') + 1) + fileName;
        module = ::LoadLibraryA(path.c_str());
        if (!module) return false;
        auto bind = [&](auto& fn, const char* name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(
                reinterpret_cast<void*>(::GetProcAddress(module, name)));
            return fn != nullptr;
        };
        return bind(SetDeviceOption, "SetDeviceOption") && bind(OpenPort, "OpenPort") &&
               bind(Write, "Write") && bind(Read, "Read") && bind(ClosePort, "ClosePort") &&
               bind(Clear, "Clear") && bind(GetInputBufferCount, "GetInputBufferCount") &&
               bind(IsPowerState, "IsPowerState") && bind(GetASBState, "GetASBState");
    }
    void Unload() {
        if (module) ::FreeLibrary(module);
        module = nullptr;
        ClosePort = nullptr;
    }
    ~CDriverLibrary() { Unload(); }
};

}  // namespace kestrel::test
