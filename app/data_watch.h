// data_watch.h - reload on save: the folders the search path reads are watched, and a reload is
// due once the writes to a file the data reads (the archive, or a loose file of a name the data
// asks for) have settled, so that a file saved in several writes is read once, whole.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class SearchPath;
namespace sys {
struct FolderWatch;
}

// How long no further change to a data file must be seen before the reload starts.
constexpr double reloadSettleSeconds = 0.2;

class DataWatch {
public:
    DataWatch() = default;
    ~DataWatch() { stop(); }
    DataWatch(const DataWatch&) = delete;
    DataWatch& operator=(const DataWatch&) = delete;

    // Watches the folders of `path`'s sources that exist: each folder source for the names the
    // data asks for, and the folder that holds the archive for the archive file. False, with
    // the reason, when none can be watched; `reason` also names any folder left out.
    bool start(const SearchPath& path, std::string& reason);
    void stop();
    bool watching() const { return watch != nullptr; }

    // One frame's look at what changed, at counter reading `now` (`frequency` ticks a second),
    // with `path` the search path in use (whose names are the data's). True once a change to a
    // data file was seen and no other followed for reloadSettleSeconds: the reload is due, and
    // the watch waits for the next change.
    bool due(const SearchPath& path, int64_t now, int64_t frequency);
    // Whether a change waits for its writes to settle.
    bool pending() const { return changeSeen; }
    // The file of the last change that counted ("" after a lost queue of changes).
    const std::string& changedFile() const { return lastFile; }

    // The watched folders as the platform takes them, and what each is watched for.
    struct Folder {
        std::string path;
        std::string archiveName; // the archive's file name in it; empty for a folder source
    };
    std::vector<Folder> folders;

private:
    sys::FolderWatch* watch = nullptr;
    bool changeSeen = false;
    int64_t lastChange = 0;
    std::string lastFile;
};
