// forge_test_support.h - the default data set for the tests that use it, forged once per test
// run, and the archive it holds opened on the search path.
//
// Under CTest the fixture test ForgeDefaultData runs forge once, into the folder that
// TIR_FORGED_DATA names, before any test starts; every test process then takes its own copy of
// that archive into a scratch folder of its own, which it may change as it likes. A test
// program run by hand, without TIR_FORGED_DATA, forges its own data once.
#pragma once

#include <gtest/gtest.h>

#include <strings.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "resources/search_path.h"
#include "tools/common/archive_writer.h"
#include "test_support.h"

namespace testing_support {

inline std::string forgeTool() {
#ifdef TIR_BIN_DIR
    const std::string tool = std::string(TIR_BIN_DIR) + "/forge";
    if (std::filesystem::exists(tool)) {
        return tool;
    }
#endif
    return "";
}

// Runs forge with `args`, output to `log`; returns the exit status.
inline int runForge(const std::string& args, const std::string& log) {
    const std::string command = "'" + forgeTool() + "' " + args + " > '" + log + "' 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The folder the test run's forged data is in (TIR_FORGED_DATA), or "" outside CTest.
inline std::string sharedForgedData() {
    const char* folder = std::getenv("TIR_FORGED_DATA");
    return folder && *folder ? folder : "";
}

// The forged data set in a scratch folder of this process: "tir.val" and forge's log. `made` is
// false when forge is not built or failed; `log` then says why.
struct ForgedDataSet {
    std::unique_ptr<ScratchDir> dir;
    bool made = false;
    std::string log;
};
inline const ForgedDataSet& forgedDataSet() {
    static ForgedDataSet set = [] {
        ForgedDataSet s;
        const std::string shared = sharedForgedData();
        if (!shared.empty()) {
            s.dir = std::make_unique<ScratchDir>("forged");
            std::error_code error;
            std::filesystem::copy_file(shared + "/tir.val", s.dir->file("tir.val"), error);
            s.made = !error;
            const std::vector<unsigned char> log = readFile(shared + ".log");
            s.log.assign(log.begin(), log.end());
            if (error) {
                s.log += "\nno forged archive in " + shared + " (" + error.message() + ")";
            }
        } else if (!forgeTool().empty()) {
            s.dir = std::make_unique<ScratchDir>("forge");
            s.made = runForge("--out '" + s.dir->path.string() + "'", s.dir->file("log.txt")) == 0;
            const std::vector<unsigned char> log = readFile(s.dir->file("log.txt"));
            s.log.assign(log.begin(), log.end());
        }
        return s;
    }();
    return set;
}

// Every entry of the forged archive as the archive writer takes it (JPEG pictures as stored,
// everything else unscrambled), with the entries of `replace` put in place of those of the
// same name (any case) or added.
inline std::vector<ArchiveInput> forgedEntries(const std::vector<ArchiveInput>& replace = {}) {
    std::vector<ArchiveInput> entries;
    const ForgedDataSet& set = forgedDataSet();
    if (!set.made) {
        return entries;
    }
    {
        ArchiveSource source(set.dir->file("tir.val").c_str());
        for (int i = 0; i < source.entryCount(); ++i) {
            const std::string name = source.entry(i).name;
            LoadedFile* f = source.load(name.c_str(), loadQuiet);
            std::vector<unsigned char> bytes(f->data, f->data + f->size);
            delete f;
            if (isJpegName(name.c_str())) {
                // load() unscrambles every entry; a JPEG is stored plain, so undo that
                scrambleArchiveBytes(bytes.data(), static_cast<int64_t>(bytes.size()));
            }
            entries.push_back({name, bytes});
        }
    }
    for (const ArchiveInput& r : replace) {
        bool found = false;
        for (ArchiveInput& e : entries) {
            if (strcasecmp(e.name.c_str(), r.name.c_str()) == 0) {
                e.data = r.data;
                found = true;
            }
        }
        if (!found) {
            entries.push_back(r);
        }
    }
    return entries;
}

// One generated data set for the whole process, opened on the search path for each test.
struct ForgedData : ::testing::Test {
    static inline ScratchDir* dir = nullptr;

    static void SetUpTestSuite() { dir = forgedDataSet().dir.get(); }

    ArchiveSource* source = nullptr; // owned by the search path

    void SetUp() override {
        if (forgeTool().empty() && sharedForgedData().empty()) {
            GTEST_SKIP() << "forge is not built";
        }
        ASSERT_TRUE(forgedDataSet().made) << "forge failed: " << forgedDataSet().log;
        searchPath.clear();
        auto archive = std::make_unique<ArchiveSource>(archivePath().c_str());
        source = archive.get();
        searchPath.add(std::move(archive));
    }
    void TearDown() override { searchPath.clear(); }

    static std::string archivePath() { return dir->file("tir.val"); }
    static std::string readFileText(const std::string& path) {
        const std::vector<unsigned char> bytes = readFile(path);
        return std::string(bytes.begin(), bytes.end());
    }
    // The bytes of an archive entry as the program loads it (unscrambled), or empty.
    static std::vector<unsigned char> entry(const std::string& name) {
        LoadedFile* f = searchPath.load(name.c_str(), loadQuiet);
        if (!f) {
            return {};
        }
        std::vector<unsigned char> bytes(f->data, f->data + f->size);
        delete f;
        return bytes;
    }
    static std::string text(const std::string& name) {
        const std::vector<unsigned char> bytes = entry(name);
        return std::string(bytes.begin(), bytes.end());
    }
};

} // namespace testing_support
