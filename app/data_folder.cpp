// data_folder.cpp - choosing the players' data: the folder's archive, its loose files, or the
// installed data.
#include "app/data_folder.h"

#include <filesystem>
#include <system_error>

#include "app/command_line.h"
#include "gfx/debug_channel.h"
#include "platform/fatal.h"
#include "platform/platform.h"
#include "resources/search_path.h"

namespace fs = std::filesystem;

std::string dataArchivePath = "tir.val";
std::string looseFolder;

namespace {

// Whether the working directory holds a file of this name in any case.
bool holdsFile(const char* name) {
    return !DirectorySource("").resolve(name).empty();
}

std::string workingFolder() {
    std::error_code ec;
    const fs::path here = fs::current_path(ec);
    return ec ? std::string(".") : here.string();
}

} // namespace

std::vector<std::string> installedDataFolders() {
    std::vector<std::string> folders;
    const std::string program = sys::programFolder();
    if (!program.empty()) {
        folders.push_back((fs::path(program) / ".." / "share" / "tirval").lexically_normal());
    }
#ifdef TIR_INSTALLED_DATA
    folders.push_back(TIR_INSTALLED_DATA);
#endif
    return folders;
}

void locateData(const DataChoices& choices) {
    archiveAdvice = missingDataAdvice();
    archiveAdvice[0] = 'M'; // a sentence of its own: "Make the default data with ..."
    std::error_code ec;
    const fs::file_status status = fs::status("tir.val", ec);
    if (fs::is_regular_file(status)) {
        dataArchivePath = "tir.val";
        return;
    }
    if (fs::exists(status)) {
        sys::fatalf("File systema error",
                    "FILE ERROR : No archive file!!! tir.val\n"
                    "%s/tir.val is %s, not a file; %s",
                    workingFolder().c_str(),
                    fs::is_directory(status) ? "a folder" : "no plain file",
                    missingDataAdvice().c_str());
    }
    if (choices.looseFiles && holdsFile("mystified.env")) {
        dataArchivePath.clear();
        debugPrint("%s: there is no tir.val in %s; playing the loose files there\n", programName(),
                   workingFolder().c_str());
        return;
    }
    for (const std::string& folder : choices.installedFolders) {
        const fs::path archive = fs::path(folder) / "tir.val";
        if (fs::is_regular_file(archive, ec)) {
            dataArchivePath = archive.string();
            debugPrint("%s: there is no tir.val in %s; playing the installed data %s\n",
                       programName(), workingFolder().c_str(), dataArchivePath.c_str());
            return;
        }
    }
    if (!looseFolder.empty() &&
        !DirectorySource(looseFolder.c_str()).resolve("mystified.env").empty()) {
        dataArchivePath.clear();
        debugPrint("%s: there is no tir.val in %s; playing the loose files in %s\n", programName(),
                   workingFolder().c_str(), looseFolder.c_str());
        return;
    }
    sys::fatalf("File systema error", "FILE ERROR : No archive file!!! tir.val\n%s",
                missingDataHint().c_str());
}
