#include "download/image_file_store_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace kestrel {

CImageFileStore::~CImageFileStore() {
    if (folder_.empty())
        return;
    unlink(HexImagePath(folder_ + "/").c_str());
    rmdir(folder_.c_str());
}

std::optional<std::string> CImageFileStore::WriteImageFile(const uint8_t* bytes, size_t size) {
    if (folder_.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kestrel-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (!mkdtemp(name.data()))
            return std::nullopt;
        folder_ = name.data();
    }
    const std::string path = HexImagePath(folder_ + "/");
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return std::nullopt;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    const bool ok = close(fd) == 0 && done == size;
    if (!ok) {
        unlink(path.c_str());
        return std::nullopt;
    }
    return path;
}

void CImageFileStore::DeleteImageFile(const std::string& path) {
    unlink(path.c_str());
}

} // namespace kestrel
