#include "download/private_folder_win.h"

#include <windows.h>
// sddl.h needs windows.h before it.
#include <sddl.h>

#include <cstring>
#include <memory>
#include <vector>

#include "download/run_alive_win.h"
#include "framework/win_handle.h"

namespace kestrel {
namespace {

struct LocalFreer {
    void operator()(void* p) const { LocalFree(p); }
};

// The account this process runs as, in SDDL's "S-1-5-21-..." form.
std::string CurrentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    UniqueHandle owned(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0)
        return {};
    std::vector<BYTE> user(size);
    if (!GetTokenInformation(token, TokenUser, user.data(), size, &size))
        return {};
    char* text = nullptr;
    if (!ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text))
        return {};
    std::unique_ptr<char, LocalFreer> freeText(text);
    return text;
}

std::string TempDirectory() {
    char temp[MAX_PATH];
    const DWORD n = GetTempPathA(MAX_PATH, temp);
    if (n == 0 || n >= MAX_PATH)
        return {};
    return std::string(temp, n);
}

constexpr const char* kFolderPrefix = "kestrel-";

enum EntryKind { kFolderEntry, kFileEntry };

// The names matching `pattern` that are plain folders, or plain files. A
// link or junction is never one of them: what it points at is not ours.
std::vector<std::string> EntriesOf(const std::string& pattern, EntryKind kind) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const DWORD a = found.dwFileAttributes;
        const bool folder = (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if ((a & FILE_ATTRIBUTE_REPARSE_POINT) || folder != (kind == kFolderEntry) ||
            std::strcmp(found.cFileName, ".") == 0 || std::strcmp(found.cFileName, "..") == 0)
            continue;
        names.emplace_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

} // namespace

CPrivateFolder::~CPrivateFolder() {
    Remove();
}

std::optional<std::string> CPrivateFolder::Path() {
    if (path_)
        return path_;
    const std::string temp = TempDirectory();
    const std::string sid = CurrentUserSid();
    if (temp.empty() || sid.empty())
        return std::nullopt;
    // Protected (nothing inherited from the temporary directory): full
    // access for this user, to the folder and to what is made in it.
    const std::string sddl = "D:P(A;OICI;FA;;;" + sid + ")";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return std::nullopt;
    std::unique_ptr<void, LocalFreer> freeDescriptor(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};

    // Alive before the folder exists, and until this object goes (what
    // could not be deleted stays ours): a start of another copy meanwhile
    // must not take it for a dead run's.
    if (!alive_)
        alive_ = MarkThisRunAlive();
    if (!alive_)
        return std::nullopt;
    static LONG made = 0;
    const std::string stem = temp + kFolderPrefix + ThisRunName() + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string folder = stem + std::to_string(InterlockedIncrement(&made));
        if (CreateDirectoryA(folder.c_str(), &attributes)) {
            path_ = folder;
            return path_;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return std::nullopt;
    }
    return std::nullopt;
}

bool CPrivateFolder::Holds(const std::string& path) const {
    return path_ && path.size() > path_->size() && path.compare(0, path_->size(), *path_) == 0 &&
           (path[path_->size()] == '\\' || path[path_->size()] == '/');
}

void CPrivateFolder::Remove() {
    if (!path_)
        return;
    RemoveDirectoryA(path_->c_str()); // only succeeds once it is empty
    path_.reset();
}

void CPrivateFolder::RemoveThoseOfEndedRuns() {
    const std::string temp = TempDirectory();
    if (temp.empty())
        return;
    for (const std::string& name : EntriesOf(temp + kFolderPrefix + "*", kFolderEntry)) {
        const size_t prefix = std::strlen(kFolderPrefix);
        const size_t dash = name.rfind('-');
        const std::string run =
            dash != std::string::npos && dash > prefix ? name.substr(prefix, dash - prefix) : "";
        if (!IsRunName(run) || !RunHasEnded(run))
            continue;
        const std::string folder = temp + name;
        for (const std::string& file : EntriesOf(folder + "\\*", kFileEntry)) {
            const std::string path = folder + "\\" + file;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
        RemoveDirectoryA(folder.c_str());
    }
}

} // namespace kestrel
