#include "download/driver_files.h"

#include <memory>

#include "resources/driver_ids.h"

namespace kestrel {
namespace {

struct HandleCloser {
    void operator()(HANDLE h) const {
        if (h != nullptr && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};
using FileHandle = std::unique_ptr<void, HandleCloser>;

std::string Join(const std::string& dir, const char* name) {
    if (!dir.empty() && dir.back() != '\\' && dir.back() != '/') return dir + "\\" + name;
    return dir + name;
}

std::string CurrentDirectory() {
    char buffer[MAX_PATH];
    const DWORD n = GetCurrentDirectoryA(MAX_PATH, buffer);
    if (n == 0 || n >= MAX_PATH) return {};
    return std::string(buffer, n);
}

}  // namespace

DriverResource DriverResourceFor(DriverKind kind) {
    switch (kind) {
    case DriverKind::Com: return {"IDD_DLL_COM", IDD_DLL_COM_ID};
    case DriverKind::Lpt: return {"IDD_DLL_LPT", IDD_DLL_LPT_ID};
    case DriverKind::Usb: break;
    }
    return {"IDD_DLL_USB", IDD_DLL_USB_ID};
}

CDriverFileStore::CDriverFileStore(HMODULE module) : module_(module) {}

CDriverFileStore::~CDriverFileStore() { RemovePrivateFolder(); }

std::optional<std::string> CDriverFileStore::WriteDriverFile(DriverKind kind) {
    const DriverResource res = DriverResourceFor(kind);
    HRSRC found = FindResourceA(module_, MAKEINTRESOURCEA(res.id), res.type);
    if (found == nullptr) return std::nullopt;
    HGLOBAL loaded = LoadResource(module_, found);
    const DWORD size = SizeofResource(module_, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (bytes == nullptr || size == 0) return std::nullopt;

    const char* name = DriverFileName(kind);
    std::string fullPath;
    const std::string first = preferredDir_ ? *preferredDir_ : CurrentDirectory();
    if (!first.empty() && WriteInto(first, name, bytes, size, fullPath)) return fullPath;
    if (auto folder = MakePrivateFolder()) {
        if (WriteInto(*folder, name, bytes, size, fullPath)) return fullPath;
    }
    RemovePrivateFolder();
    return std::nullopt;
}

bool CDriverFileStore::WriteInto(const std::string& dir, const char* fileName, const void* bytes,
                                 DWORD size, std::string& fullPath) {
    const std::string path = Join(dir, fileName);
    DWORD written = 0;
    bool ok;
    {
        FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.get() == INVALID_HANDLE_VALUE) return false;
        ok = WriteFile(file.get(), bytes, size, &written, nullptr) && written == size;
        // A close that fails may have lost the tail of the file.
        HANDLE h = file.release();
        ok = CloseHandle(h) && ok;
    }
    if (!ok) {
        DeleteFileA(path.c_str());
        return false;
    }
    fullPath = path;
    return true;
}

std::optional<std::string> CDriverFileStore::MakePrivateFolder() {
    if (privateFolder_) return privateFolder_;
    char temp[MAX_PATH];
    const DWORD n = GetTempPathA(MAX_PATH, temp);
    if (n == 0 || n >= MAX_PATH) return std::nullopt;
    // A folder of our own, new each time, so nobody else's file can be
    // taken for ours.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string folder =
            Join(temp, ("kestrel-" + std::to_string(GetCurrentProcessId()) + "-" +
                        std::to_string(GetTickCount() + static_cast<DWORD>(attempt)))
                           .c_str());
        if (CreateDirectoryA(folder.c_str(), nullptr)) {
            privateFolder_ = folder;
            return privateFolder_;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) return std::nullopt;
    }
    return std::nullopt;
}

void CDriverFileStore::RemovePrivateFolder() {
    if (!privateFolder_) return;
    RemoveDirectoryA(privateFolder_->c_str());  // only succeeds once it is empty
    privateFolder_.reset();
}

void CDriverFileStore::DeleteDriverFile(const std::string& fullPath) {
    DeleteFileA(fullPath.c_str());
    if (privateFolder_ && fullPath.rfind(*privateFolder_, 0) == 0) RemovePrivateFolder();
}

}  // namespace kestrel
