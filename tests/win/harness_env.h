// What the serial harness (scripts/vprinter-com.sh) tells a Windows test
// through its environment, and how to reach the printer's files from Wine.
#pragma once

#include <cstdlib>
#include <string>

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

}  // namespace kestrel::test
