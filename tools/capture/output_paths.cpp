// output_paths.cpp - the checks, through the file system and one trial open per path.
#include "tools/capture/output_paths.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool isLeftFrame(const std::string& name, const std::string& prefix) {
    return name.size() > prefix.size() + 4 && name.compare(0, prefix.size(), prefix) == 0 &&
           name.compare(name.size() - 4, 4, ".png") == 0;
}

} // namespace

bool prepareFrameFolder(const std::string& dir, const std::string& prefix, bool force,
                        std::string& error) {
    std::error_code ec;
    if (fs::exists(dir, ec) && !fs::is_directory(dir, ec)) {
        error = dir + ": is a file, not a folder for frames";
        return false;
    }
    fs::create_directories(dir, ec);
    if (ec) {
        error = dir + ": cannot make the folder (" + ec.message() + ")";
        return false;
    }
    std::vector<fs::path> left;
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) {
        if (isLeftFrame(e.path().filename().string(), prefix)) {
            left.push_back(e.path());
        }
    }
    if (ec) {
        error = dir + ": cannot list the folder (" + ec.message() + ")";
        return false;
    }
    if (!left.empty() && !force) {
        error = dir + ": holds " + std::to_string(left.size()) + " frames (" + prefix +
                "*.png) from an earlier run; remove them or give --force to have them removed, "
                "so that the frames of two runs are never mixed";
        return false;
    }
    for (const fs::path& p : left) {
        if (!fs::remove(p, ec) || ec) {
            error = p.string() + ": cannot remove an earlier run's frame (" +
                    (ec ? ec.message() : std::string("it is gone")) + ")";
            return false;
        }
    }
    // A trial file tells whether files can be made here (permissions, a read-only mount).
    const std::string probe = (fs::path(dir) / ".capture-write-check").string();
    std::FILE* f = std::fopen(probe.c_str(), "wb");
    if (!f) {
        error = dir + ": no file can be written into the folder (" + std::strerror(errno) + ")";
        return false;
    }
    std::fclose(f);
    fs::remove(probe, ec);
    return true;
}

bool checkOutputFile(const std::string& path, std::string& error) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        error = path + ": is a folder, not a file";
        return false;
    }
    const fs::path folder = fs::path(path).parent_path();
    if (!folder.empty() && !fs::is_directory(folder, ec)) {
        error = path + ": the folder " + folder.string() + " does not exist";
        return false;
    }
    const bool existed = fs::exists(path, ec);
    // Appending opens for writing without changing a file that is already there.
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) {
        error = path + ": cannot be written (" + std::strerror(errno) + ")";
        return false;
    }
    std::fclose(f);
    if (!existed) {
        fs::remove(path, ec);
    }
    return true;
}
