// Writes the driver library a download needs out of the program's own
// resources, and deletes exactly that file afterwards. Between the two the
// file is ours alone: made new (never written through a file or link that
// was there), held so that nobody can change or delete it until the library
// is loaded, and checked byte for byte against the resource before that.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "download/download_engine.h"
#include "download/private_folder_win.h"
#include "framework/win_handle.h"

namespace kestrel {

class CDriverFileStore : public IDriverFileStore {
  public:
    // `module` holds the resources; the program passes its own.
    explicit CDriverFileStore(HMODULE module = GetModuleHandleA(nullptr));
    ~CDriverFileStore() override;
    CDriverFileStore(const CDriverFileStore&) = delete;
    CDriverFileStore& operator=(const CDriverFileStore&) = delete;

    // The current directory first; when the file cannot be made there, a
    // private folder under the user's temporary directory. Nothing when the
    // bytes on disk are not the resource's.
    std::optional<std::string> WriteDriverFile(DriverKind kind) override;
    void DeleteDriverFile(const std::string& fullPath) override;

    // Tests point the first choice elsewhere (a read-only folder, say).
    void SetPreferredDirectory(std::string dir) { preferredDir_ = std::move(dir); }
    // Tests change the file here, after writing and before it is checked.
    void SetAfterWriteForTest(std::function<void(const std::string&)> hook) {
        afterWrite_ = std::move(hook);
    }

  private:
    enum class Written { Ok, CannotMake, Changed };
    Written WriteInto(const std::string& dir, const char* fileName, const void* bytes, DWORD size,
                      std::string& fullPath);

    HMODULE module_;
    std::optional<std::string> preferredDir_;
    CPrivateFolder privateFolder_;
    UniqueHandle held_; // the written file, read-only and shared for reading only
    std::function<void(const std::string&)> afterWrite_;
};

// The resource a driver library is stored under.
struct DriverResource {
    const char* type;
    int id;
};
DriverResource DriverResourceFor(DriverKind kind);

} // namespace kestrel
