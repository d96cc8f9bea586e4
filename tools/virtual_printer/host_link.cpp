#include "tools/virtual_printer/host_link.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrel::vprinter {

bool HostLink::Make(const std::string& link, const std::string& target, std::string& error) {
    link_ = link;
    target_ = target;
    return Plug(error);
}

bool HostLink::Plug(std::string& error) {
    struct stat st {};
    if (::lstat(link_.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = link_ + " exists and is not a symlink";
            return false;
        }
        ::unlink(link_.c_str());
    }
    if (::symlink(target_.c_str(), link_.c_str()) != 0) {
        error = "symlink " + link_ + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void HostLink::Unplug() {
    if (link_.empty())
        return;
    char buf[4096];
    const ssize_t n = ::readlink(link_.c_str(), buf, sizeof buf);
    if (n > 0 && std::string(buf, static_cast<std::size_t>(n)) == target_)
        ::unlink(link_.c_str());
}

} // namespace kestrel::vprinter
