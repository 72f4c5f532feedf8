// cmd_archive.cpp - tirtool pack / list / unpack.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "resources/search_path.h"
#include "tools/common/archive_writer.h"
#include "tools/common/file_bytes.h"
#include "tools/tirtool/command.h"

namespace fs = std::filesystem;

static int pack(const std::vector<std::string>& args) {
    if (args.size() < 2) {
        return usageError("pack");
    }
    std::vector<ArchiveInput> entries;
    for (size_t i = 1; i < args.size(); ++i) {
        ArchiveInput e;
        std::string error;
        if (!readFileBytes(args[i], e.data, error)) {
            return fail("cannot read %s", error.c_str());
        }
        e.name = fs::path(args[i]).filename().string();
        entries.push_back(std::move(e));
    }
    std::string error;
    if (!writeArchive(args[0], entries, error)) {
        return fail("%s: %s", args[0].c_str(), error.c_str());
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
    if (!fs::is_directory(args[1], ec)) {
        return fail("cannot make the folder %s", args[1].c_str());
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
        const fs::path out = fs::path(args[1]) / e.name;
        std::ofstream o(out, std::ios::binary);
        o.write(reinterpret_cast<const char*>(data.data()), e.size);
        if (!o) {
            return fail("cannot write %s", out.string().c_str());
        }
        ++written;
    }
    std::printf("unpacked %d files into %s\n", written, args[1].c_str());
    return 0;
}

static CommandRegistration packCommand({"pack", "ARCHIVE FILE...",
                                        "make a tir.val archive (JPEGs plain, the rest scrambled)",
                                        &pack});
static CommandRegistration listCommand({"list", "ARCHIVE",
                                        "print each entry's name, size, stored size and storage",
                                        &list});
static CommandRegistration unpackCommand({"unpack", "ARCHIVE DIR",
                                          "write every entry's plain bytes into DIR", &unpack});
