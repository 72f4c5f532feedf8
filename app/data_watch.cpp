// data_watch.cpp - which changes count, and the settling of writes on the counter.
#include "app/data_watch.h"

#include <filesystem>
#include <system_error>

#include "platform/platform.h"
#include "resources/search_path.h"

namespace fs = std::filesystem;

bool DataWatch::start(const SearchPath& path, std::string& reason) {
    stop();
    folders.clear();
    for (const SearchPath::Node* n = path.head; n; n = n->next) {
        if (const auto* folder = dynamic_cast<const DirectorySource*>(n->source)) {
            folders.push_back(Folder{sys::nativePath(folder->prefix), ""});
        } else if (const auto* archive = dynamic_cast<const ArchiveSource*>(n->source)) {
            const fs::path file(sys::nativePath(archive->path().c_str()));
            folders.push_back(Folder{file.parent_path().string(), file.filename().string()});
        }
    }
    // A folder source whose folder does not exist (.\textures\ mostly) has nothing to watch.
    std::erase_if(folders, [](const Folder& f) {
        std::error_code ec;
        return !fs::is_directory(f.path.empty() ? fs::path(".") : fs::path(f.path), ec);
    });
    std::vector<std::string> paths;
    for (const Folder& f : folders) {
        paths.push_back(f.path);
    }
    watch = sys::watchFolders(paths, reason);
    changeSeen = false;
    return watch != nullptr;
}

void DataWatch::stop() {
    sys::closeFolderWatch(watch);
    watch = nullptr;
    changeSeen = false;
}

bool DataWatch::due(const SearchPath& path, int64_t now, int64_t frequency) {
    if (!watch) {
        return false;
    }
    for (const sys::FileChange& change : sys::takeFileChanges(watch)) {
        bool counts = change.folder < 0; // changes were lost: any file may be new
        if (!counts && change.folder < static_cast<int>(folders.size())) {
            const Folder& f = folders[static_cast<size_t>(change.folder)];
            counts = f.archiveName.empty() ? path.namesAsked().count(lowerCase(change.name)) > 0
                                           : change.name == f.archiveName;
        }
        if (counts) {
            // Every write starts the wait again: the reload reads the file once it is whole.
            changeSeen = true;
            lastChange = now;
            lastFile = change.name;
        }
    }
    if (changeSeen && static_cast<double>(now - lastChange) >=
                          reloadSettleSeconds * static_cast<double>(frequency)) {
        changeSeen = false;
        return true;
    }
    return false;
}
