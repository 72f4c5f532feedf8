// cmd_archive.cpp - tirtool pack / list / unpack.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "resources/search_path.h"
#include "tools/common/archive_writer.h"
#include "tools/common/file_bytes.h"
#include "tools/tirtool/command.h"

namespace fs = std::filesystem;

// The files to pack for one argument: the file itself, or a folder's plain files (not its
// subfolders), in name order so the same folder always gives the same archive. The archive
// being written is left out when it lies in the folder: it is the output, not an input.
static bool collectInputs(const std::string& arg, const std::string& archive,
                          std::vector<std::string>& files) {
    std::error_code ec;
    if (!fs::is_directory(arg, ec)) {
        files.push_back(arg);
        return true;
    }
    std::vector<std::string> found;
    for (const fs::directory_entry& e : fs::directory_iterator(arg, ec)) {
        if (e.is_regular_file(ec) && !sameFile(e.path().string(), archive)) {
            found.push_back(e.path().string());
        }
    }
    if (ec) {
        fail("cannot read the folder %s: %s", arg.c_str(), ec.message().c_str());
        return false;
    }
    if (found.empty()) {
        fail("the folder %s holds no files to pack", arg.c_str());
        return false;
    }
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
    return true;
}

static int pack(const std::vector<std::string>& args) {
    if (args.size() < 2) {
        return usageError("pack");
    }
    std::vector<std::string> files;
    for (size_t i = 1; i < args.size(); ++i) {
        if (!collectInputs(args[i], args[0], files)) {
            return 1;
        }
    }
    if (writesOverInput(args[0], files)) {
        return 1;
    }
    std::vector<ArchiveInput> entries;
    for (const std::string& path : files) {
        ArchiveInput e;
        std::string error;
        if (!readFileBytes(path, e.data, error)) {
            return fail("cannot read %s", error.c_str());
        }
        e.name = fs::path(path).filename().string();
        entries.push_back(std::move(e));
    }
    std::string error;
    if (!writeArchive(args[0], entries, error)) {
        return fail("%s", error.c_str());
    }
    std::printf("packed %zu files into %s\n", entries.size(), args[0].c_str());
    return 0;
}

// The archive reader is the program's own: a damaged directory ends with its own report.
// Null when the archive cannot be read.
static std::unique_ptr<ArchiveSource> openArchive(const std::string& path) {
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        fail("cannot open %s: no such file", path.c_str());
        return nullptr;
    }
    auto source = std::make_unique<ArchiveSource>(path.c_str());
    if (!source->opened()) {
        return nullptr;
    }
    return source;
}

static int list(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        return usageError("list");
    }
    const std::unique_ptr<ArchiveSource> archive = openArchive(args[0]);
    if (!archive) {
        return 1;
    }
    std::printf("%-32s %10s %10s  %s\n", "name", "size", "stored", "storage");
    for (int i = 0; i < archive->entryCount(); ++i) {
        const ArchiveEntry& e = archive->entry(i);
        const bool plain = archiveStoresPlain(e.name);
        std::printf("%-32s %10d %10d  %s\n", e.name.c_str(), e.size, e.storedSize,
                    plain ? "plain" : "scrambled");
    }
    std::printf("%d entries\n", archive->entryCount());
    return 0;
}

static int unpack(const std::vector<std::string>& args) {
    if (args.size() != 2) {
        return usageError("unpack");
    }
    const std::unique_ptr<ArchiveSource> archive = openArchive(args[0]);
    if (!archive) {
        return 1;
    }
    std::error_code ec;
    fs::create_directories(args[1], ec);
    if (!fs::is_directory(args[1])) {
        return fail("cannot make the folder %s: %s", args[1].c_str(),
                    ec ? ec.message().c_str() : "a file of that name is there");
    }
    int written = 0;
    for (int i = 0; i < archive->entryCount(); ++i) {
        const ArchiveEntry& e = archive->entry(i);
        // load() unscrambles every entry; those for the stream path are stored plain, so for
        // them that is undone again.
        const std::unique_ptr<LoadedFile> file(archive->load(e.name.c_str(), loadQuiet));
        if (!file) {
            return fail("%s: cannot read the data of %s", args[0].c_str(), e.name.c_str());
        }
        std::vector<unsigned char> data(file->data, file->data + file->size);
        if (archiveStoresPlain(e.name)) {
            scrambleArchiveBytes(data.data(), e.size);
        }
        const std::string out = (fs::path(args[1]) / e.name).string();
        if (writesOverInput(out, {args[0]})) {
            return 1;
        }
        data.resize(static_cast<size_t>(e.size));
        std::string error;
        if (!writeFileBytes(out, data, error)) {
            return fail("cannot write %s", error.c_str());
        }
        ++written;
    }
    std::printf("unpacked %d files into %s\n", written, args[1].c_str());
    return 0;
}

static CommandRegistration packCommand(
    {"pack", "ARCHIVE FILE|DIR...", "make a tir.val archive (JPEGs plain, the rest scrambled)",
     &pack,
     "    ARCHIVE   the archive to write (replaced when it is there; never one of the inputs)\n"
     "    FILE      a file to pack, under its own name (the archive stores names upper-cased)\n"
     "    DIR       a folder: its plain files are packed, in name order; subfolders are not\n"});
static CommandRegistration listCommand({"list", "ARCHIVE",
                                        "print each entry's name, size, stored size and storage",
                                        &list, "    ARCHIVE   a tir.val archive\n"});
static CommandRegistration unpackCommand(
    {"unpack", "ARCHIVE DIR", "write every entry's plain bytes into DIR", &unpack,
     "    ARCHIVE   a tir.val archive\n"
     "    DIR       the folder to write into, made when missing; files of the same names are\n"
     "              replaced, and the players read the folder as loose files\n"});
