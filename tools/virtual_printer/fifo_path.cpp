#include "tools/virtual_printer/fifo_path.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrel::vprinter {

bool MakeFreshFifo(const std::string& path, std::string& error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        // Only ever remove what an earlier printer left: never a user's file.
        if (!S_ISFIFO(st.st_mode)) {
            error = path + " exists and is not a FIFO";
            return false;
        }
        ::unlink(path.c_str());
    }
    if (::mkfifo(path.c_str(), 0600) != 0) {
        error = "mkfifo " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace kestrel::vprinter
