// test_player_cli.cpp - the players as programs: their options, the hint after a missing
// archive, the refusal to run without a display, playing from --data DIR, and an installed copy
// made with `cmake --install` that plays the same way.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>
#include <string>

#include "forge_test_support.h"
#include "test_support.h"

using namespace testing_support;

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

// Runs `command` in `where`, with the headless drivers unless `environment` says otherwise.
Outcome run(const ScratchDir& where, const std::string& command,
            const std::string& environment = "") {
    const std::string line = "cd '" + where.path.string() + "' && env " +
                             (environment.empty() ? "SDL_VIDEODRIVER=offscreen" : environment) +
                             " ASAN_OPTIONS=detect_leaks=0 SDL_AUDIODRIVER=dummy " + command +
                             " > out.txt 2> err.txt";
    const int raw = std::system(line.c_str());
    Outcome r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    const auto out = readFile(where.file("out.txt"));
    const auto err = readFile(where.file("err.txt"));
    r.out.assign(out.begin(), out.end());
    r.err.assign(err.begin(), err.end());
    return r;
}

std::string bin(const char* program) {
    return "'" + std::string(TIR_BIN_DIR) + "/" + program + "'";
}

} // namespace

TEST(PlayerCommandLine, HelpVersionAndUnknownOptions) {
    ScratchDir dir("cli");
    for (const char* program : {"player", "devplayer"}) {
        SCOPED_TRACE(program);
        Outcome help = run(dir, bin(program) + " --help");
        EXPECT_EQ(help.status, 0);
        EXPECT_TRUE(has(help.out, std::string("usage: ") + program + " [--data DIR]")) << help.out;
        EXPECT_TRUE(has(help.out, "--version"));
        EXPECT_TRUE(has(help.out, "forge --out DIR"));
        EXPECT_FALSE(has(help.err, "FILE")); // nothing was played
        EXPECT_FALSE(std::filesystem::exists(dir.file("debug.out")));

        Outcome version = run(dir, bin(program) + " --version");
        EXPECT_EQ(version.status, 0);
        EXPECT_EQ(version.out, std::string(program) + " (TIR VAL) 1.0.0\n");

        Outcome bad = run(dir, bin(program) + " --fullscreen");
        EXPECT_EQ(bad.status, 2);
        EXPECT_TRUE(has(bad.err, "unknown option \"--fullscreen\"")) << bad.err;
        EXPECT_TRUE(has(bad.err, "usage: "));

        // An option after --data is not taken for its folder.
        for (const char* empty : {" --data", " --data=", " --data --help"}) {
            Outcome bare = run(dir, bin(program) + empty);
            EXPECT_EQ(bare.status, 2) << empty;
            EXPECT_EQ(bare.err, std::string(program) + ": --data needs a folder: --data DIR\n");
        }

        Outcome missing = run(dir, bin(program) + " --data no-such-folder");
        EXPECT_EQ(missing.status, 1);
        EXPECT_TRUE(has(missing.err, "cannot enter the data folder no-such-folder")) << missing.err;
    }
    EXPECT_TRUE(has(run(dir, bin("devplayer") + " --help").out, "Up and Down"));
}

TEST(PlayerCommandLine, MissingArchiveKeepsItsMessageAndAddsHowToMakeTheData) {
    ScratchDir dir("cli-nodata");
    Outcome r = run(dir, bin("player"));
    EXPECT_NE(r.status, 0);
    const size_t report = r.err.find("FILE ERROR : No archive file!!! tir.val");
    const size_t hint = r.err.find("make the default data with `make play`, or `forge --out DIR`");
    ASSERT_NE(report, std::string::npos) << r.err;
    ASSERT_NE(hint, std::string::npos) << r.err;
    EXPECT_LT(report, hint);
    EXPECT_TRUE(has(r.err, "player: there is no tir.val in " + dir.path.string())) << r.err;
}

TEST(PlayerCommandLine, NoDisplayIsSaidAndFails) {
    ScratchDir dir("cli-nodisplay");
    for (const char* program : {"player", "devplayer"}) {
        SCOPED_TRACE(program);
        // No window system and SDL's own choice of driver, which falls back to a headless one;
        // and a window system asked for by name that is not there.
        for (const char* environment : {"-u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER",
                                        "-u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=x11"}) {
            Outcome r = run(dir, bin(program), environment);
            EXPECT_EQ(r.status, 1) << environment;
            EXPECT_TRUE(has(r.err, std::string(program) + " cannot open a display")) << r.err;
            EXPECT_TRUE(has(r.err, "SDL_VIDEODRIVER=offscreen"));
            EXPECT_FALSE(has(r.err, "FILE ERROR")) << "it went on to play: " << r.err;
        }
    }
}

// Plays from a folder that holds the data in "data/", as the repository root does after `make
// play`, with `--data data`, until the music is loaded (the release player) or the first frame
// is drawn (the development player, whose status line says so); then is interrupted as a
// person's Ctrl+C would: a clean close that says it was interrupted (128 + SIGINT), and no
// complaint about missing files.
struct PlayerFromDataRealTime : ForgedData {
    Outcome play(const ScratchDir& where, const std::string& player) {
        std::filesystem::create_directory_symlink(dir->path, where.path / "data");
        const std::string out = where.file("out.txt"), err = where.file("err.txt");
        const ProgramRun r = runUntil(
            where.path.string(),
            "env SDL_VIDEODRIVER=offscreen ASAN_OPTIONS=detect_leaks=0 SDL_AUDIODRIVER=dummy " +
                player + " --data data > '" + out + "' 2> '" + err + "'",
            [&] {
                return has(readText(out), "done.\ndone.") || has(readText(err), "devplayer: ");
            });
        EXPECT_TRUE(r.reached) << readText(err);
        return {r.status, readText(out), readText(err)};
    }
};

TEST_F(PlayerFromDataRealTime, PlaysWithDataFromTheFolderItStartsIn) {
    for (const char* program : {"player", "devplayer"}) {
        SCOPED_TRACE(program);
        ScratchDir root("cli-play");
        Outcome r = play(root, bin(program));
        EXPECT_EQ(r.status, 130) << r.err;
        EXPECT_FALSE(has(r.err, "FILE")) << r.err;
        EXPECT_TRUE(has(r.out, "mystified.m3d")); // the music was loaded, from the archive
        // The release player's dialog had nobody to ask; the development player has none.
        EXPECT_EQ(has(r.err, "its defaults are taken"), std::string(program) == "player");
    }
}

TEST_F(PlayerFromDataRealTime, InstalledCopyPlaysFromData) {
    ScratchDir prefix("cli-install");
    const std::filesystem::path build = std::filesystem::path(TIR_BIN_DIR).parent_path();
    const std::string install = "cmake --install '" + build.string() + "' --prefix '" +
                                prefix.path.string() + "' > '" + prefix.file("install.log") +
                                "' 2>&1";
    if (std::system(install.c_str()) != 0) {
        const auto log = readFile(prefix.file("install.log"));
        FAIL() << "cmake --install failed:\n" << std::string(log.begin(), log.end());
    }
    for (const char* program : {"player", "devplayer", "forge", "capture", "tirtool"}) {
        EXPECT_TRUE(std::filesystem::exists(prefix.path / "bin" / program)) << program;
    }
    EXPECT_FALSE(std::filesystem::exists(prefix.path / "bin" / "tirtests"));
    ScratchDir elsewhere("cli-installed");
    Outcome r = play(elsewhere, "'" + (prefix.path / "bin" / "player").string() + "'");
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_FALSE(has(r.err, "FILE")) << r.err;
    EXPECT_TRUE(has(r.out, "mystified.m3d"));
}
