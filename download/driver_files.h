// Writes the driver library a download needs out of the program's own
// resources, and deletes exactly that file afterwards.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "download/download_engine.h"

namespace kestrel {

class CDriverFileStore : public IDriverFileStore {
public:
    // `module` holds the resources; the program passes its own.
    explicit CDriverFileStore(HMODULE module = GetModuleHandleA(nullptr));
    ~CDriverFileStore() override;
    CDriverFileStore(const CDriverFileStore&) = delete;
    CDriverFileStore& operator=(const CDriverFileStore&) = delete;

    // The current directory first; when that cannot be written, a private
    // folder under the user's temporary directory.
    std::optional<std::string> WriteDriverFile(DriverKind kind) override;
    void DeleteDriverFile(const std::string& fullPath) override;

    // Tests point the first choice elsewhere (a read-only folder, say).
    void SetPreferredDirectory(std::string dir) { preferredDir_ = std::move(dir); }

private:
    bool WriteInto(const std::string& dir, const char* fileName, const void* bytes, DWORD size,
                   std::string& fullPath);
    std::optional<std::string> MakePrivateFolder();
    void RemovePrivateFolder();

    HMODULE module_;
    std::optional<std::string> preferredDir_;
    std::optional<std::string> privateFolder_;  // made by us, removed by us
};

// The resource a driver library is stored under.
struct DriverResource {
    const char* type;
    int id;
};
DriverResource DriverResourceFor(DriverKind kind);

}  // namespace kestrel
