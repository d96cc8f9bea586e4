#include "tools/virtual_printer/settings_file.h"

#include "tools/virtual_printer/unique_fd.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>

namespace kestrel::vprinter {

bool SettingsFile::Update(const std::string& line, std::string& error) {
    if (path_.empty() || (any_ && line == written_))
        return true;
    const std::string temp = path_ + ".tmp";
    const std::string text = line + "\n";
    {
        UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (!fd.Valid()) {
            error = "open " + temp + ": " + std::strerror(errno);
            return false;
        }
        if (::write(fd.Get(), text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
            error = "write " + temp + ": " + std::strerror(errno);
            return false;
        }
    }
    if (std::rename(temp.c_str(), path_.c_str()) != 0) {
        error = "rename " + temp + ": " + std::strerror(errno);
        return false;
    }
    written_ = line;
    any_ = true;
    return true;
}

} // namespace kestrel::vprinter
