// A folder of one run's own under the user's temporary directory: a new
// name each time, so nobody else's file can be taken for ours, and an
// access list that lets in the current user only, so no other account can
// put a file into it or change one there.
#pragma once

#include <optional>
#include <string>

namespace kestrel {

class CPrivateFolder {
  public:
    CPrivateFolder() = default;
    ~CPrivateFolder(); // removes the folder if it is empty by then
    CPrivateFolder(const CPrivateFolder&) = delete;
    CPrivateFolder& operator=(const CPrivateFolder&) = delete;

    // Made on first use; nothing when it cannot be made, or not with its
    // access list.
    std::optional<std::string> Path();
    bool Holds(const std::string& path) const;
    // Takes the folder away once it is empty; the next Path() makes a new one.
    void Remove();

  private:
    std::optional<std::string> path_;
};

} // namespace kestrel
