// folder_watch_posix.cpp - file-change notification on a desktop: Linux's inotify, which queues
// an event for each write, creation, removal and rename in a watched folder, read here without
// blocking. Other systems, and a Linux whose inotify cannot be set up (its watch limit reached,
// say), list the folders and compare instead.
#include "platform/folder_poll.h"
#include "platform/platform.h"

#include <cerrno>
#include <cstring>
#include <vector>

#ifdef __linux__
#include <sys/inotify.h>
#include <unistd.h>
#endif

namespace sys {

struct FolderWatch {
    int fd = -1;                          // the inotify queue; -1 when polling
    std::vector<std::pair<int, int>> wds; // inotify's watch descriptor -> folder index
    FolderPoller poller;
};

FolderWatch* watchFolders(const std::vector<std::string>& folders, std::string& reason) {
    auto* watch = new FolderWatch;
    reason.clear();
    int watched = 0;
#ifdef __linux__
    watch->fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch->fd >= 0) {
        // Everything that can leave a file with other contents; IN_MODIFY lets a caller wait
        // until a long write has ended. Folders are not followed into.
        const uint32_t events = IN_CLOSE_WRITE | IN_MODIFY | IN_ATTRIB | IN_CREATE | IN_DELETE |
                                IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR;
        for (size_t i = 0; i < folders.size(); ++i) {
            const std::string path = folders[i].empty() ? "." : folders[i];
            const int wd = inotify_add_watch(watch->fd, path.c_str(), events);
            if (wd < 0) {
                reason += "cannot watch " + path + ": " + std::strerror(errno) + "\n";
                continue;
            }
            watch->wds.emplace_back(wd, static_cast<int>(i));
            ++watched;
        }
        if (watched > 0) {
            return watch;
        }
        close(watch->fd);
        watch->fd = -1;
        reason.clear(); // the poller says again what it cannot list
    }
#endif
    watched = watch->poller.addAll(folders, reason);
    if (watched == 0) {
        delete watch;
        return nullptr;
    }
    return watch;
}

std::vector<FileChange> takeFileChanges(FolderWatch* watch) {
    if (!watch) {
        return {};
    }
    if (watch->fd < 0) {
        return watch->poller.look();
    }
    std::vector<FileChange> changes;
#ifdef __linux__
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t got = read(watch->fd, buffer, sizeof buffer);
        if (got <= 0) {
            break; // EAGAIN: nothing more queued
        }
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                changes.push_back(FileChange{-1, ""});
                continue;
            }
            if ((event->mask & IN_ISDIR) || event->len == 0) {
                continue; // a folder inside, or the watched folder itself
            }
            for (const auto& [wd, folder] : watch->wds) {
                if (wd == event->wd) {
                    changes.push_back(FileChange{folder, event->name});
                }
            }
        }
    }
#endif
    return changes;
}

void closeFolderWatch(FolderWatch* watch) {
    if (!watch) {
        return;
    }
#ifdef __linux__
    if (watch->fd >= 0) {
        close(watch->fd); // removes its watches with it
    }
#endif
    delete watch;
}

} // namespace sys
