// folder_watch_web.cpp - file-change notification in a web page: the page's files live in the
// module's memory file system, which tells of no changes, so the folders are listed and
// compared each time.
#include "platform/folder_poll.h"
#include "platform/platform.h"

namespace sys {

struct FolderWatch {
    FolderPoller poller;
};

FolderWatch* watchFolders(const std::vector<std::string>& folders, std::string& reason) {
    auto* watch = new FolderWatch;
    reason.clear();
    const int watched = watch->poller.addAll(folders, reason);
    if (watched == 0) {
        delete watch;
        return nullptr;
    }
    return watch;
}

std::vector<FileChange> takeFileChanges(FolderWatch* watch) {
    return watch ? watch->poller.look() : std::vector<FileChange>{};
}

void closeFolderWatch(FolderWatch* watch) {
    delete watch;
}

} // namespace sys
