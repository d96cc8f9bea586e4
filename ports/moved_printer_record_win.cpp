#include "ports/moved_printer_record_win.h"

#include <utility>
#include <vector>

#include "download/run_alive_win.h"

namespace kestrel {
namespace {

struct KeyCloser {
    HKEY key = nullptr;
    ~KeyCloser() {
        if (key)
            ::RegCloseKey(key);
    }
};

std::string RunKeyPath(const std::string& run) {
    return std::string(kMovedPrintersKey) + "\\" + run;
}

std::vector<std::string> SubkeyNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD length = sizeof name;
        if (::RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

std::vector<std::pair<std::string, std::string>> TextValues(HKEY key) {
    std::vector<std::pair<std::string, std::string>> values;
    for (DWORD i = 0;; ++i) {
        char name[16384];
        DWORD nameLength = sizeof name;
        DWORD type = 0;
        std::vector<BYTE> data(4096);
        DWORD dataLength = static_cast<DWORD>(data.size());
        const LONG r =
            ::RegEnumValueA(key, i, name, &nameLength, nullptr, &type, data.data(), &dataLength);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r != ERROR_SUCCESS || type != REG_SZ)
            continue; // not ours: left alone
        std::string text(reinterpret_cast<const char*>(data.data()), dataLength);
        text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
        values.emplace_back(std::string(name, nameLength), text);
    }
    return values;
}

bool KeyIsEmpty(HKEY key) {
    DWORD subkeys = 0, values = 0;
    return ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                              nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
}

void DeleteIfEmpty(const std::string& path) {
    KeyCloser k;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &k.key) != ERROR_SUCCESS)
        return;
    const bool empty = KeyIsEmpty(k.key);
    ::RegCloseKey(std::exchange(k.key, nullptr));
    if (empty)
        ::RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str());
}

} // namespace

CMovedPrinterRecord::CMovedPrinterRecord() : run_(ThisRunName()), alive_(MarkThisRunAlive()) {}

CMovedPrinterRecord::~CMovedPrinterRecord() {
    DeleteIfEmpty(RunKeyPath(run_));
}

bool CMovedPrinterRecord::Add(const std::string& printer, const std::string& port) {
    KeyCloser k;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, RunKeyPath(run_).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                          nullptr, &k.key, nullptr) != ERROR_SUCCESS)
        return false;
    if (::RegSetValueExA(k.key, printer.c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(port.c_str()),
                         static_cast<DWORD>(port.size() + 1)) != ERROR_SUCCESS)
        return false;
    // On disk before the printer moves: a power cut must not lose it.
    ::RegFlushKey(k.key);
    return true;
}

void CMovedPrinterRecord::Remove(const std::string& printer) {
    KeyCloser k;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, RunKeyPath(run_).c_str(), 0, KEY_SET_VALUE, &k.key) !=
        ERROR_SUCCESS)
        return;
    ::RegDeleteValueA(k.key, printer.c_str());
}

void CMovedPrinterRecord::TakeOverEndedRuns(
    const std::function<bool(const std::string&, const std::string&)>& giveBack) {
    std::vector<std::string> runs;
    {
        KeyCloser all;
        if (::RegOpenKeyExA(HKEY_CURRENT_USER, kMovedPrintersKey, 0, KEY_READ, &all.key) !=
            ERROR_SUCCESS)
            return;
        runs = SubkeyNames(all.key);
    }
    for (const std::string& run : runs) {
        if (!RunHasEnded(run))
            continue;
        const std::string path = RunKeyPath(run);
        {
            KeyCloser k;
            if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ | KEY_SET_VALUE,
                                &k.key) != ERROR_SUCCESS)
                continue;
            for (const auto& [printer, port] : TextValues(k.key))
                if (giveBack(printer, port))
                    ::RegDeleteValueA(k.key, printer.c_str());
        }
        DeleteIfEmpty(path);
    }
}

} // namespace kestrel
