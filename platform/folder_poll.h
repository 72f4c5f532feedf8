// folder_poll.h - file-change notification by looking: each folder's plain files are listed with
// their size and modification time, and each look reports what differs from the last one. For
// backends whose system tells of no changes (and where its notification cannot be set up).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace sys {

class FolderPoller {
public:
    // Adds `folder` ("" for the working directory), whose changes are reported as folder
    // `index`, and lists it. False when it cannot be listed; it is then not watched.
    bool add(const std::string& folder, int index);
    // Adds each of `folders` as its index in the list, as watchFolders takes them: a line in
    // `reason` for each that cannot be listed. Returns how many are watched.
    int addAll(const std::vector<std::string>& folders, std::string& reason);
    // Lists every folder again and returns the files that appeared, went, or changed size or
    // modification time since the last look, in name order within each folder.
    std::vector<FileChange> look();

private:
    struct Stamp {
        uintmax_t size = 0;
        int64_t modified = 0; // the file system's own ticks
        bool operator==(const Stamp&) const = default;
    };
    using Listing = std::map<std::string, Stamp>;
    static bool list(const std::string& folder, Listing& files);

    struct Folder {
        std::string path;
        int index;
        Listing files;
    };
    std::vector<Folder> folders;
};

} // namespace sys
