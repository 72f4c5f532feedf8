// test_dev_watch.cpp - reload on save: the platform's file-change notification (the system's,
// and the listing poller that backends without one use), which changes count as data and how
// long their writes must settle, measured on a counter the test moves; and the development
// player with --loose and --watch, headless on the virtual counter, showing a saved envelope
// within half a second of demo time, keeping its pictures when a saved file is damaged, and
// reloading nothing while nothing changes.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "app/command_line.h"
#include "app/data_folder.h"
#include "app/data_watch.h"
#include "dev_player_test_support.h"
#include "platform/folder_poll.h"
#include "resources/search_path.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

std::set<std::string> namesIn(const std::vector<sys::FileChange>& changes, int folder) {
    std::set<std::string> names;
    for (const sys::FileChange& c : changes) {
        if (c.folder == folder) {
            names.insert(c.name);
        }
    }
    return names;
}

using Names = std::set<std::string>;

// The poller and the system's notification see the same things: a new file, a file written
// again (even at the same size), a file renamed over another, a removal; nothing when nothing
// happened; and each change is named under the folder's own index.
TEST(FolderWatch, PollerAndSystemNotificationSeeWritesRenamesAndRemovals) {
    ScratchDir a("watch-a"), b("watch-b");
    writeFile(a.file("kept.env"), "kept\n");
    writeFile(a.file("old.env"), "old\n");

    sys::FolderPoller poller;
    std::string reason;
    ASSERT_EQ(
        poller.addAll({a.path.string(), (a.path / "missing").string(), b.path.string()}, reason),
        2);
    EXPECT_NE(reason.find("missing"), std::string::npos) << reason;
    std::string systemReason;
    sys::FolderWatch* watch = sys::watchFolders(
        {a.path.string(), (a.path / "missing").string(), b.path.string()}, systemReason);
    ASSERT_NE(watch, nullptr) << systemReason;
    EXPECT_NE(systemReason.find("missing"), std::string::npos) << systemReason;

    EXPECT_TRUE(poller.look().empty());
    EXPECT_TRUE(sys::takeFileChanges(watch).empty());

    writeFile(a.file("new.env"), "new\n");
    writeFile(b.file("other.jpg"), "jpeg");
    std::vector<sys::FileChange> polled = poller.look();
    std::vector<sys::FileChange> told = sys::takeFileChanges(watch);
    EXPECT_EQ(namesIn(polled, 0), Names{"new.env"});
    EXPECT_EQ(namesIn(polled, 2), Names{"other.jpg"});
    EXPECT_EQ(namesIn(told, 0), Names{"new.env"});
    EXPECT_EQ(namesIn(told, 2), Names{"other.jpg"});
    EXPECT_TRUE(namesIn(told, 1).empty());

    // The same size written again: the modification time tells the poller.
    const auto before = fs::last_write_time(a.file("kept.env"));
    writeFile(a.file("kept.env"), "KEPT\n");
    fs::last_write_time(a.file("kept.env"), before + std::chrono::seconds(1));
    EXPECT_EQ(namesIn(poller.look(), 0), Names{"kept.env"});
    EXPECT_EQ(namesIn(sys::takeFileChanges(watch), 0), Names{"kept.env"});

    // Saved as a tool saves whole files: written beside, then renamed over the old one.
    writeFile(a.file("old.env.new"), "a new old\n");
    fs::rename(a.file("old.env.new"), a.file("old.env"));
    fs::remove(a.file("new.env"));
    EXPECT_EQ(namesIn(poller.look(), 0), (Names{"new.env", "old.env"}));
    const Names toldNames = namesIn(sys::takeFileChanges(watch), 0);
    EXPECT_TRUE(toldNames.count("old.env") && toldNames.count("new.env"));

    // A folder made inside is no file change; nothing else happened.
    fs::create_directory(a.file("sub"));
    EXPECT_TRUE(poller.look().empty());
    EXPECT_TRUE(sys::takeFileChanges(watch).empty());
    sys::closeFolderWatch(watch);

    EXPECT_EQ(sys::watchFolders({(a.path / "missing").string()}, systemReason), nullptr);
    EXPECT_NE(systemReason.find("missing"), std::string::npos);
}

// Which changes count and when the reload is due, on a counter the test moves: only the names
// the data asked for and the archive itself; each write starts the 200 ms wait again; once due,
// nothing more until the next change.
TEST(DataWatchSettle, OnlyDataFilesCountAndTheirWritesMustSettle) {
    ScratchDir folder("settle");
    const std::string data = folder.file("data/");
    fs::create_directory(data);
    std::string error;
    ASSERT_TRUE(writeArchive(folder.file("tir.val"), {{"a.env", {'a', '\n'}}}, error)) << error;
    SearchPath path;
    path.add(std::make_unique<ArchiveSource>(folder.file("tir.val").c_str()));
    path.add(std::make_unique<DirectorySource>(data.c_str()));
    EXPECT_EQ(path.load("Pulse.ENV", loadQuiet), nullptr); // asked for, though nowhere yet
    delete path.load("a.env", loadQuiet);
    EXPECT_EQ(path.namesAsked(), (std::set<std::string>{"a.env", "pulse.env"}));

    DataWatch watch;
    std::string reason;
    ASSERT_TRUE(watch.start(path, reason)) << reason;
    ASSERT_EQ(watch.folders.size(), 2u);
    EXPECT_EQ(watch.folders[1].archiveName, "tir.val");
    constexpr int64_t hz = 1000000;
    auto at = [](double seconds) { return static_cast<int64_t>(seconds * hz); };

    EXPECT_FALSE(watch.due(path, at(0.0), hz));
    // Files the data never asked for: a screenshot, the debug log, an editor's backup.
    writeFile(data + "shot-001.000.png", "png");
    writeFile(folder.file("debug.out"), "log");
    writeFile(data + "pulse.env~", "backup");
    EXPECT_FALSE(watch.due(path, at(0.1), hz));
    EXPECT_FALSE(watch.pending());
    EXPECT_FALSE(watch.due(path, at(5.0), hz));

    // A data file, saved in two writes 150 ms apart: due 200 ms after the second.
    writeFile(data + "PULSE.env", "pulse\n");
    EXPECT_FALSE(watch.due(path, at(10.0), hz));
    EXPECT_TRUE(watch.pending());
    EXPECT_EQ(watch.changedFile(), "PULSE.env");
    EXPECT_FALSE(watch.due(path, at(10.1), hz));
    writeFile(data + "PULSE.env", "pulse\nk 0 v 1\n");
    EXPECT_FALSE(watch.due(path, at(10.15), hz));
    EXPECT_FALSE(watch.due(path, at(10.3), hz));
    EXPECT_TRUE(watch.due(path, at(10.35), hz));
    EXPECT_FALSE(watch.due(path, at(10.4), hz));
    EXPECT_FALSE(watch.due(path, at(20.0), hz));

    // The archive, replaced by renaming a new one over it.
    ASSERT_TRUE(writeArchive(folder.file("tir.val.new"), {{"a.env", {'b', '\n'}}}, error));
    fs::rename(folder.file("tir.val.new"), folder.file("tir.val"));
    EXPECT_FALSE(watch.due(path, at(30.0), hz));
    EXPECT_EQ(watch.changedFile(), "tir.val");
    EXPECT_FALSE(watch.due(path, at(30.19), hz));
    EXPECT_TRUE(watch.due(path, at(30.2), hz));
    watch.stop();
    EXPECT_FALSE(watch.due(path, at(40.0), hz));
}

// ---------------------------------------------------------------------------------------------
// The player

struct DevWatchTest : DevFolderFixture {
    // The opening scene's pictures taken away: their opacity is multiplied by 1 - 0.01 e, with e
    // this envelope at every time. About half the light of the frame goes with them.
    static constexpr const char* noPictures = "koniec_intra\nkey 0 value 100\nkey 300 value 100\n";

    // Frames of 1/60 s of counter time until `done(level, previousLevel)` holds for the mean
    // levels of a frame and the one before it, or `seconds` have passed. Returns the demo time
    // of the frame that ended it, or -1.
    template <class Done> float playUntil(double seconds, Done done) {
        double previous = meanLevel(pixels);
        for (int i = 0; i < static_cast<int>(seconds * 60); ++i) {
            advance(1.0 / 60);
            const double level = meanLevel(frameAt());
            if (done(level, previous)) {
                return demoTime;
            }
            previous = level;
        }
        return -1.0f;
    }
    static bool never(double, double) { return false; }
};

// From one frame to the next the opening scene's mean level moves by less than 1 while it
// plays; a reload that takes its pictures away or brings them back moves it by more than 4.
bool darkened(double level, double previous) {
    return level < previous - 4.0;
}
bool brightened(double level, double previous) {
    return level > previous + 4.0;
}

// --loose and --watch, playing the opening scene (row 1) without sound from 3 s: an envelope
// saved into the loose folder, though tir.val holds one of the same name, shows within half a
// second of demo time, and not before its writes settled; a damaged synchronisation envelope
// saved with the loose envelope removed keeps the pictures as they were and says why; frames
// while nothing changes, or while only files the data never reads change, reload nothing; the
// repaired folder reloads once more and the pictures are back.
TEST_F(DevWatchTest, SavedLooseFilesShowWithinHalfASecondAndDamagedOnesKeepThePictures) {
    devOptions.looseFolder = loose;
    devOptions.watch = true;
    devOptions.startAt = 3.0f;
    devOptions.rows = rowsOf("1");
    start(false);
    ASSERT_TRUE(app->dataWatch.watching());
    app->frame();
    const double lit = meanLevel(frameAt());
    ASSERT_GT(lit, 20.0) << "the opening scene is lit at 3 s";

    writeFile(loose + "koniec_intra.env", noPictures);
    const float saved = timeNow();
    testing::internal::CaptureStderr();
    const float shown = playUntil(1.0, darkened);
    std::string said = testing::internal::GetCapturedStderr();
    ASSERT_GT(shown, 0.0f) << "the saved envelope never showed: " << said;
    EXPECT_LE(shown - saved, 0.5f);
    EXPECT_GE(shown - saved, static_cast<float>(reloadSettleSeconds));
    EXPECT_LT(meanLevel(pixels), 0.7 * lit);
    EXPECT_EQ(app->reloadAttempts, 1);
    EXPECT_NE(said.find("koniec_intra.env changed; reloading"), std::string::npos) << said;
    EXPECT_NE(said.find("| reloaded"), std::string::npos) << said;
    EXPECT_NE(std::string(sys::windowTitle(app->window)).find("| reloaded"), std::string::npos);

    // Damaged: the order table's key times go backwards. The loose envelope goes at the same
    // time, so new data would bring the pictures back; the old data keeps them away.
    const std::vector<Part*> parts(app->timeline.items, app->timeline.items + app->timeline.count);
    writeFile(loose + "mystified.env", "mystified\nkey 0 value 0\nkey 9 value 1\nkey 4 value 2\n");
    fs::remove(loose + "koniec_intra.env");
    testing::internal::CaptureStderr();
    EXPECT_EQ(playUntil(0.5, brightened), -1.0f);
    said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(app->reloadAttempts, 2);
    EXPECT_NE(said.find("reload failed"), std::string::npos) << said;
    EXPECT_NE(said.find("is damaged"), std::string::npos) << said;
    EXPECT_NE(std::string(sys::windowTitle(app->window)).find("| reload failed: "),
              std::string::npos)
        << sys::windowTitle(app->window);
    EXPECT_LT(meanLevel(pixels), 0.7 * lit);
    EXPECT_EQ(std::vector<Part*>(app->timeline.items, app->timeline.items + app->timeline.count),
              parts);

    // Nothing changes for two seconds, then only files the data never reads.
    EXPECT_EQ(playUntil(2.0, never), -1.0f);
    writeFile(folder->file("notes.txt"), "not data");
    writeFile(loose + "shot-010.000.png", "png");
    EXPECT_EQ(playUntil(1.0, never), -1.0f);
    EXPECT_EQ(app->reloadAttempts, 2);
    EXPECT_NE(std::string(sys::windowTitle(app->window)).find("reload failed"), std::string::npos)
        << "the note stays " << statusNoteSeconds << " s";

    // Repaired: the archive's own envelopes again, and the pictures with them.
    fs::remove(loose + "mystified.env");
    testing::internal::CaptureStderr();
    EXPECT_GT(playUntil(1.0, brightened), 0.0f);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(app->reloadAttempts, 3);
    EXPECT_TRUE(app->lastReloadFailure.empty()) << app->lastReloadFailure;
}

// Without --watch nothing is watched: a saved file shows only after R, which reads the loose
// folder before the archive.
TEST_F(DevWatchTest, WithoutWatchRReadsTheLooseFolderFirst) {
    devOptions.looseFolder = loose;
    devOptions.startAt = 3.0f;
    devOptions.rows = rowsOf("1");
    start(false);
    EXPECT_FALSE(app->dataWatch.watching());
    app->frame();
    press(sys::VK_SPACE);
    const double lit = meanLevel(frameAt());
    writeFile(loose + "koniec_intra.env", noPictures);
    advance(1.0);
    EXPECT_DOUBLE_EQ(meanLevel(frameAt()), lit);
    EXPECT_EQ(app->reloadAttempts, 0);
    testing::internal::CaptureStderr();
    press('R');
    testing::internal::GetCapturedStderr();
    EXPECT_LT(meanLevel(frameAt()), 0.7 * lit);
}

// --loose DIR alone plays: no tir.val anywhere, the loose folder holding the unpacked archive.
TEST_F(DevWatchTest, ALooseFolderWithTheDataPlaysWithoutAnArchive) {
    const std::string unpack = "cd '" + loose + "' && '" + std::string(TIR_BIN_DIR) +
                               "/tirtool' unpack '" + folder->file("tir.val") + "' . > unpack.log";
    ASSERT_EQ(std::system(unpack.c_str()), 0);
    fs::remove(folder->file("tir.val"));
    looseFolder = loose;
    testing::internal::CaptureStderr();
    locateData(DataChoices{true, {}});
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(dataArchivePath.empty());
    EXPECT_NE(said.find("playing the loose files in " + loose), std::string::npos) << said;
    // (the fixture puts dataArchivePath back)
    devOptions.looseFolder = loose;
    devOptions.startAt = 3.0f;
    devOptions.rows = rowsOf("1");
    start(false);
    app->frame();
    EXPECT_GT(meanLevel(frameAt()), 20.0);
}

// The options: --loose takes a folder that exists and keeps it as an absolute path whatever
// --data does later; --watch is a switch; --plot may be given again. --help lists them.
TEST(DevPlayerOptions, LooseWatchAndPlotAreRead) {
    const PlayerProgram program = [] {
        PlayerProgram p{"devplayer", "test"};
        addDevOptions(p);
        return p;
    }();
    ScratchDir here("options");
    fs::create_directory(here.file("edits"));
    WorkingDir cwd(here.path);
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), "devplayer");
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        testing::internal::CaptureStderr();
        const int code = handleCommandLine(program, static_cast<int>(argv.size()), argv.data());
        testing::internal::GetCapturedStderr();
        return code;
    };
    devOptions.reset();
    EXPECT_EQ(run({"--loose", "edits", "--watch", "--plot", "a.env", "--plot=b.env"}), -1);
    EXPECT_EQ(devOptions.looseFolder, here.file("edits/"));
    EXPECT_TRUE(devOptions.watch);
    EXPECT_EQ(devOptions.plots, (std::vector<std::string>{"a.env", "b.env"}));
    EXPECT_EQ(run({"--loose", "nowhere"}), 2);
    EXPECT_EQ(run({"--loose"}), 2);
    EXPECT_EQ(run({"--plot="}), 2);
    EXPECT_EQ(run({"--watch=yes"}), 2);
    devOptions.reset();
    EXPECT_FALSE(devOptions.watch);

    // --help names them, and the keys the timeline and the screenshots have.
    char* buffer = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&buffer, &size);
    printDevKeys(out);
    std::fclose(out);
    const std::string keys(buffer, size);
    std::free(buffer);
    EXPECT_NE(keys.find("  Tab "), std::string::npos) << keys;
    EXPECT_NE(keys.find("  F12 "), std::string::npos) << keys;
    EXPECT_NE(keys.find("shot-SSS.sss.png"), std::string::npos) << keys;
    for (const char* option : {"--loose DIR", "--watch", "--plot NAME.env"}) {
        EXPECT_NE(std::string(devOptionHelp).find(option), std::string::npos) << option;
        EXPECT_NE(std::string(devOptionUsage).find(option), std::string::npos) << option;
    }
}

} // namespace
