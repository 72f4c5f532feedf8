// forge_test_support.h - runs the data generator once per test process into a scratch folder
// and opens the archive it wrote on the search path, for the tests of the default data set.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "resources/search_path.h"
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

// One generated data set for the whole process.
struct ForgedData : ::testing::Test {
    static inline std::unique_ptr<ScratchDir> dir;
    static inline bool made = false;

    static void SetUpTestSuite() {
        if (forgeTool().empty() || made) {
            return;
        }
        dir = std::make_unique<ScratchDir>("forge");
        made = runForge("--out '" + dir->path.string() + "'", dir->file("log.txt")) == 0;
    }

    ArchiveSource* source = nullptr;

    void SetUp() override {
        if (forgeTool().empty()) {
            GTEST_SKIP() << "forge is not built";
        }
        ASSERT_TRUE(made) << "forge failed: " << std::string(readFileText(dir->file("log.txt")));
        searchPath.clear();
        resetArchive();
        source = new ArchiveSource(archivePath().c_str());
        searchPath.add(source);
    }
    void TearDown() override {
        searchPath.clear();
        delete source;
        resetArchive();
    }

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
