// A folder of one run's own under the user's temporary directory: a new
// name each time, so nobody else's file can be taken for ours, and an
// access list that lets in the current user only, so no other account can
// put a file into it or change one there. The name says which run made it
// ("kestrel-<run>-<n>"), and the run is marked alive while the folder is
// there, so that a later start can take away what a run that died left.
#pragma once

#include <optional>
#include <string>

#include "framework/win_handle.h"

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

    // Removes, with the files in them, the folders of runs that have ended.
    // Folders of runs still going, and anything not named as ours, stay.
    static void RemoveThoseOfEndedRuns();

  private:
    std::optional<std::string> path_;
    UniqueHandle alive_; // held from the first folder on
};

} // namespace kestrel
