// folder_poll.cpp - folder listings compared look by look.
#include "platform/folder_poll.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace sys {

bool FolderPoller::list(const std::string& folder, Listing& files) {
    files.clear();
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec);
    if (ec) {
        return false;
    }
    for (const fs::directory_entry& entry : it) {
        // A file removed between the listing and its stamp is simply not there this time.
        std::error_code fileError;
        if (!entry.is_regular_file(fileError)) {
            continue;
        }
        Stamp stamp;
        stamp.size = entry.file_size(fileError);
        const auto modified = entry.last_write_time(fileError);
        if (fileError) {
            continue;
        }
        stamp.modified = static_cast<int64_t>(modified.time_since_epoch().count());
        files[entry.path().filename().string()] = stamp;
    }
    return true;
}

bool FolderPoller::add(const std::string& folder, int index) {
    Listing files;
    if (!list(folder, files)) {
        return false;
    }
    folders.push_back(Folder{folder, index, std::move(files)});
    return true;
}

int FolderPoller::addAll(const std::vector<std::string>& list, std::string& reason) {
    int watched = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        if (add(list[i], static_cast<int>(i))) {
            ++watched;
        } else {
            reason += "cannot list " + (list[i].empty() ? std::string(".") : list[i]) + "\n";
        }
    }
    return watched;
}

std::vector<FileChange> FolderPoller::look() {
    std::vector<FileChange> changes;
    for (Folder& folder : folders) {
        Listing now;
        if (!list(folder.path, now)) {
            now.clear(); // the folder went: every file in it went with it
        }
        const Listing& before = folder.files;
        const int f = folder.index;
        // Both listings are in name order: one merge finds what appeared, went or changed.
        auto a = before.begin();
        auto b = now.begin();
        while (a != before.end() || b != now.end()) {
            if (b == now.end() || (a != before.end() && a->first < b->first)) {
                changes.push_back({f, a->first});
                ++a;
            } else if (a == before.end() || b->first < a->first) {
                changes.push_back({f, b->first});
                ++b;
            } else {
                if (!(a->second == b->second)) {
                    changes.push_back({f, a->first});
                }
                ++a;
                ++b;
            }
        }
        folder.files = std::move(now);
    }
    return changes;
}

} // namespace sys
