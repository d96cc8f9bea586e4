#include "driver_host/driver_files_win.h"

#include <cstring>
#include <vector>

#include "resources/driver_ids.h"

namespace kestrel {
namespace {

std::string Join(const std::string& dir, const char* name) {
    if (!dir.empty() && dir.back() != '\\' && dir.back() != '/')
        return dir + "\\" + name;
    return dir + name;
}

std::string CurrentDirectory() {
    char buffer[MAX_PATH];
    const DWORD n = GetCurrentDirectoryA(MAX_PATH, buffer);
    if (n == 0 || n >= MAX_PATH)
        return {};
    return std::string(buffer, n);
}

// A new file only. Something of that name already there (a file, a hard or
// symbolic link) is taken away first, never written through: DeleteFile
// removes a link, not what it points at. What cannot be taken away (a
// read-only file, say) makes this fail.
UniqueHandle CreateNewFile(const std::string& path) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        // Writing and deleting are denied to others from the start.
        UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file)
            return file;
        const DWORD error = GetLastError();
        if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt > 0 ||
            !DeleteFileA(path.c_str()))
            break;
    }
    return UniqueHandle();
}

UniqueHandle OpenForReading(const std::string& path, DWORD share) {
    return UniqueHandle(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool HoldsExactly(HANDLE file, const void* bytes, DWORD size) {
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(file, &length) || length.QuadPart != size)
        return false;
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        return false;
    std::vector<char> onDisk(size);
    DWORD got = 0;
    return ReadFile(file, onDisk.data(), size, &got, nullptr) && got == size &&
           std::memcmp(onDisk.data(), bytes, size) == 0;
}

} // namespace

DriverResource DriverResourceFor(DriverKind kind) {
    switch (kind) {
    case DriverKind::Com:
        return {"IDD_DLL_COM", IDD_DLL_COM_ID};
    case DriverKind::Lpt:
        return {"IDD_DLL_LPT", IDD_DLL_LPT_ID};
    case DriverKind::Usb:
        break;
    }
    return {"IDD_DLL_USB", IDD_DLL_USB_ID};
}

CDriverFileStore::CDriverFileStore(HMODULE module) : module_(module) {}

CDriverFileStore::~CDriverFileStore() = default;

std::optional<std::string> CDriverFileStore::WriteDriverFile(DriverKind kind) {
    held_.Close();
    const DriverResource res = DriverResourceFor(kind);
    HRSRC found = FindResourceA(module_, MAKEINTRESOURCEA(res.id), res.type);
    if (found == nullptr)
        return std::nullopt;
    HGLOBAL loaded = LoadResource(module_, found);
    const DWORD size = SizeofResource(module_, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (bytes == nullptr || size == 0)
        return std::nullopt;

    const char* name = DriverFileName(kind);
    std::string fullPath;
    const std::string first = preferredDir_ ? *preferredDir_ : CurrentDirectory();
    Written result =
        first.empty() ? Written::CannotMake : WriteInto(first, name, bytes, size, fullPath);
    // A file changed behind our back is not worked around: someone is at it.
    if (result == Written::CannotMake) {
        if (auto folder = privateFolder_.Path())
            result = WriteInto(*folder, name, bytes, size, fullPath);
    }
    if (result == Written::Ok)
        return fullPath;
    privateFolder_.Remove();
    return std::nullopt;
}

CDriverFileStore::Written CDriverFileStore::WriteInto(const std::string& dir, const char* fileName,
                                                      const void* bytes, DWORD size,
                                                      std::string& fullPath) {
    const std::string path = Join(dir, fileName);
    UniqueHandle writer = CreateNewFile(path);
    if (!writer)
        return Written::CannotMake;
    DWORD written = 0;
    const bool wrote = WriteFile(writer.Get(), bytes, size, &written, nullptr) && written == size;
    // The file goes from the writing handle to one that only reads, with no
    // moment in which nobody holds it: the loader cannot open a file that
    // someone holds for writing, and the reading handle must still deny
    // writing and deleting to others. The bridge in between must allow the
    // writer that is still open, so it allows writing, but never deleting.
    UniqueHandle bridge =
        wrote ? OpenForReading(path, FILE_SHARE_READ | FILE_SHARE_WRITE) : UniqueHandle();
    writer.Close();
    if (bridge && afterWrite_)
        afterWrite_(path);
    UniqueHandle reader = bridge ? OpenForReading(path, FILE_SHARE_READ) : UniqueHandle();
    bridge.Close();
    // What the loader will map is what this handle reads: nobody can change
    // it any more while the handle is held.
    const Written result = !reader                                   ? Written::CannotMake
                           : HoldsExactly(reader.Get(), bytes, size) ? Written::Ok
                                                                     : Written::Changed;
    if (result != Written::Ok) {
        reader.Close();
        DeleteFileA(path.c_str());
        return result;
    }
    held_ = std::move(reader);
    fullPath = path;
    return result;
}

void CDriverFileStore::DeleteDriverFile(const std::string& fullPath) {
    held_.Close();
    DeleteFileA(fullPath.c_str());
    if (privateFolder_.Holds(fullPath))
        privateFolder_.Remove();
}

} // namespace kestrel
