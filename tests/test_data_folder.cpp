// test_data_folder.cpp - where the players take their data from: the folder's own tir.val, a
// folder of loose files (development player only), or the installed data; and the one report
// when there is none, or when tir.val is a folder.
#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/data_folder.h"
#include "gfx/debug_channel.h"
#include "platform/fatal.h"
#include "test_support.h"

using namespace testing_support;

namespace {

struct Located {
    int code;        // -1000 when it returned
    std::string err; // standard error
};

Located locate(const DataChoices& choices) {
    Located r;
    testing::internal::CaptureStderr();
    r.code = exitCodeOf([&] { locateData(choices); });
    r.err = testing::internal::GetCapturedStderr();
    return r;
}

} // namespace

TEST(DataFolder, FolderArchiveLooseFilesInstalledDataOrOneReport) {
    ScratchDir installed("data-installed");
    writeFile(installed.file("tir.val"), std::string("installed"));
    ScratchDir here("data-here");
    WorkingDir cwd(here.path);
    resetDebugChannel();
    const DataChoices release{false, {"/no/such/folder", installed.path.string()}};
    const DataChoices dev{true, {installed.path.string()}};
    const DataChoices nothingInstalled{true, {}};

    // Nothing here: the installed data, said once, on standard error and in debug.out.
    Located r = locate(release);
    EXPECT_EQ(r.code, -1000) << r.err;
    EXPECT_EQ(dataArchivePath, installed.file("tir.val"));
    EXPECT_TRUE(has(r.err, "there is no tir.val in " + here.path.string() +
                               "; playing the installed data " + installed.file("tir.val")))
        << r.err;
    const auto log = readFile("debug.out");
    EXPECT_TRUE(has(std::string(log.begin(), log.end()), "playing the installed data"));

    // Loose files (the envelope in any case) are the development player's, not the release
    // player's; the folder's own archive always comes first.
    writeFile(here.file("MYSTIFIED.ENV"), std::string("key 0 0 0\n"));
    r = locate(dev);
    EXPECT_EQ(r.code, -1000);
    EXPECT_EQ(dataArchivePath, "");
    EXPECT_TRUE(has(r.err, "playing the loose files there")) << r.err;
    r = locate(release);
    EXPECT_EQ(dataArchivePath, installed.file("tir.val"));
    writeFile(here.file("tir.val"), std::string("here"));
    r = locate(dev);
    EXPECT_EQ(dataArchivePath, "tir.val");
    EXPECT_EQ(r.err, ""); // the usual case says nothing

    // tir.val as a folder: one message with the path and the reason, and how to make the data.
    std::filesystem::remove(here.file("tir.val"));
    std::filesystem::create_directory(here.path / "tir.val");
    r = locate(dev);
    EXPECT_EQ(r.code, sys::fatalExitCode);
    EXPECT_TRUE(has(r.err, "FILE ERROR : No archive file!!! tir.val\n" + here.file("tir.val") +
                               " is a folder, not a file; make the default data with"))
        << r.err;
    EXPECT_FALSE(has(r.err, "there is no tir.val")) << r.err;

    // Nothing anywhere: the archive's own report, then where and how to make the data.
    std::filesystem::remove(here.path / "tir.val");
    std::filesystem::remove(here.file("MYSTIFIED.ENV"));
    r = locate(nothingInstalled);
    EXPECT_EQ(r.code, sys::fatalExitCode);
    EXPECT_TRUE(has(r.err, "FILE ERROR : No archive file!!! tir.val\n" +
                               std::string(programName()) + ": there is no tir.val in " +
                               here.path.string() +
                               "; make the default data with `make play`, or `forge --out DIR`"))
        << r.err;
    dataArchivePath = "tir.val";
    resetDebugChannel();
}
