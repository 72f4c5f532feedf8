// test_music_player.cpp - the music player: companion naming, output choice, the silent
// uninitialised path, and the whole chain from an archive holding "mystified.xm", its companion
// and "mystified.env" to sound in the output and demo time that follows the orders.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

#include "app/application.h"
#include "gfx/text_overlay.h"
#include "gl_recorder.h"
#include "music/music_player.h"
#include "forge_test_support.h"
#include "music_test_support.h"
#include "platform/fsound.h"
#include "resources/search_path.h"
#include "scene/track.h"
#include "test_support.h"
#include "tools/common/archive_writer.h"
#include "tools/common/sample_compressor.h"
#include "tools/common/xm_module.h"

using namespace testing_support;

namespace {

const float keyTimes[] = {0.0f, 20.0f, 42.0f, 60.0f};

// tir.val with the order test module (its two 16-bit samples compressed into mystified.m3d) and
// an envelope with one key per order; with `wholeDemo`, also the forged data every part of the
// demo loads. Returns the uncompressed module.
std::vector<unsigned char> writeDemoArchive(const std::string& path, bool wholeDemo = false) {
    const auto module = writeXm(makeOrderSong(4));
    std::vector<unsigned char> zeroed, companion;
    std::vector<SampleReport> report;
    std::string error;
    EXPECT_TRUE(compressSamples(module, CompressOptions{}, zeroed, companion, report, error));
    std::string env = "mystified\n";
    for (int k = 0; k < 4; ++k) {
        env += "key " + std::to_string(keyTimes[k]) + " value " + std::to_string(k) + "\n";
    }
    const std::vector<ArchiveInput> music = {{"mystified.xm", zeroed},
                                             {"mystified.m3d", companion},
                                             {"mystified.env", {env.begin(), env.end()}}};
    EXPECT_TRUE(writeArchive(path, wholeDemo ? forgedEntries(music) : music, error)) << error;
    return module;
}

} // namespace

TEST(MusicPlayer, CompanionNameAndOutputChoice) {
    EXPECT_EQ(companionName("mystified.xm"), "mystified.m3d");
    EXPECT_EQ(companionName("a.b.xm"), "a.m3d");
    EXPECT_EQ(companionName("music"), "music"); // no dot: "m3d" lands after the zero
    EXPECT_EQ(companionName("abcdefghijklmnopq.xm"), "abcdefghijklmnopqm3d");
    EXPECT_EQ(companionName("a-very-long-module-name-past-32-bytes.xm"), "a-very-long-modulm3d");

    MusicPlayer player;
    const char* names[2];
    EXPECT_EQ(player.fillDeviceList(names), 0); // the library's default is "Direct Sound"
    EXPECT_STREQ(names[0], "Direct Sound");
    EXPECT_STREQ(names[1], "Windows Multimedia WaveOut");
    FSOUND_SetOutput(FSOUND_OUTPUT_WINMM);
    EXPECT_EQ(player.fillDeviceList(names), 1);
    FSOUND_SetOutput(FSOUND_OUTPUT_DSOUND);
    player.configure(-1); // nothing selected keeps the output
    EXPECT_EQ(player.outputType, MusicPlayer::outputWaveOut);
    player.configure(0);
    EXPECT_EQ(player.outputType, MusicPlayer::outputDirectSound);

    // Uninitialised: nothing is read, played or closed.
    searchPath.clear();
    EXPECT_EQ(exitCodeOf([&] { EXPECT_EQ(player.load("mystified.xm"), 0); }), -1000);
    player.play();
    EXPECT_EQ(player.currentOrder(), 0);
    player.freeSong();
    player.close();
    EXPECT_FALSE(fsoundStatus().initialised);
}

// The release player's path with the dialog's defaults: sound starts on the disk driver, the
// module and its companion come from the archive, and frames run with the real counter while
// the song plays. Every order change must re-base demo time at the envelope's key, the
// restored samples must match the originals, and the output must be the module's render.
TEST(MusicPlayerRealTime, ArchivedSongPlaysAndDemoTimeFollowsItsOrders) {
    ScratchDir dir("music-player");
    const auto original = writeDemoArchive(dir.file("tir.val"));
    EnvVar driver("SDL_AUDIODRIVER", "disk");
    EnvVar file("SDL_DISKAUDIOFILE", dir.file("out.raw"));

    resetPlayerState();
    auto* app = new Application;
    std::optional<RecordingGl> gl;
    gl.emplace();
    ASSERT_EQ(app->music.initialised, 1);
    searchPath.clear();
    auto* archiveSource = new ArchiveSource(dir.file("tir.val").c_str());
    searchPath.add(archiveSource);
    testing::internal::CaptureStdout();
    EXPECT_EQ(app->music.load("mystified.xm"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "mystified.m3d\ndone.\ndone.\n");
    ASSERT_NE(app->music.song, nullptr);
    ScalarTrack envelope;
    loadEnvelope(envelope, "mystified.env");
    demoClock.replaceSyncEnvelope(&envelope);

    XmModuleInfo info;
    std::string error;
    ASSERT_TRUE(parseXm(original.data(), original.size(), info, error));
    for (const XmSampleInfo& s : info.samples) {
        EXPECT_GT(
            snrDb(decodeXmSample(original.data(), s), decodeXmSample(app->music.moduleImage, s), 1),
            25.0)
            << "sample " << s.number;
    }
    const std::vector<unsigned char> restored(app->music.moduleImage,
                                              app->music.moduleImage + app->music.moduleSize);

    app->counterFrequency = sys::performanceFrequency();
    app->overlay = new TextOverlay(builtinFont, 16, 1234, 640, 120);
    struct Seen {
        double wall;
        int order;
        float demo;
    };
    std::vector<Seen> frames;
    const auto t0 = std::chrono::steady_clock::now();
    for (;;) {
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (wall > 1.45) {
            break;
        }
        app->frame();
        frames.push_back({wall, lastOrder, demoTime});
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    app->music.freeSong();
    app->music.close();
    delete app->overlay;
    delete app;
    gl.reset();
    unloadGl();
    resetPlayerState();
    searchPath.clear();
    delete archiveSource; // and with it the archive's directory

    // Orders 0 1 2 3 and the loop back to 0, about 300 ms apart; demo time jumps to each key
    // and runs with real time between changes.
    std::vector<size_t> changes;
    for (size_t i = 1; i < frames.size(); ++i) {
        if (frames[i].order != frames[i - 1].order) {
            changes.push_back(i);
        }
    }
    ASSERT_EQ(changes.size(), 4u);
    changes.push_back(frames.size());
    for (size_t c = 0; c + 1 < changes.size(); ++c) {
        const Seen& f = frames[changes[c]];
        const Seen& last = frames[changes[c + 1] - 1];
        EXPECT_EQ(f.order, static_cast<int>((c + 1) % 4));
        EXPECT_GE(f.demo, keyTimes[f.order]);
        EXPECT_LT(f.demo, keyTimes[f.order] + 0.02);
        EXPECT_NEAR(last.demo - f.demo, last.wall - f.wall, 0.01) << "after change " << c;
        if (c > 0) {
            EXPECT_NEAR(f.wall - frames[changes[c - 1]].wall, 0.3, 0.05);
        }
    }

    const auto raw = readFile(dir.file("out.raw"));
    std::vector<float> heard(raw.size() / 4);
    std::memcpy(heard.data(), raw.data(), heard.size() * 4);
    const Render ref = renderModule(restored, static_cast<int64_t>(heard.size() / 2));
    const int64_t start = firstSoundingFrame(heard) - firstSoundingFrame(ref.stereo);
    ASSERT_GE(start, 0);
    double energy = 0;
    int64_t different = 0;
    for (size_t i = static_cast<size_t>(start) * 2; i < heard.size(); ++i) {
        different += heard[i] != ref.stereo[i - static_cast<size_t>(start) * 2];
        energy += heard[i] * heard[i];
    }
    EXPECT_EQ(different, 0);
    EXPECT_GT(std::sqrt(energy / static_cast<double>(heard.size())), 0.03);
}

// The player program itself on that archive: it restores the samples, plays sound into the
// disk driver, and closes cleanly when asked to quit.
TEST(MusicPlayerRealTime, PlayerProgramPlaysTheArchivedSong) {
    ScratchDir dir("player-sound");
    writeDemoArchive(dir.file("tir.val"), true);
    // Leak checking is left to the in-process tests: the GL driver's own start-up allocations
    // outlive an offscreen window in sanitizer builds.
    const std::string cmd = "cd " + dir.path.string() +
                            " && ASAN_OPTIONS=detect_leaks=0 SDL_VIDEODRIVER=offscreen "
                            "SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=out.raw "
                            "timeout --preserve-status -s INT 2.5 " +
                            std::string(TIR_BIN_DIR) + "/player > log 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    const auto log = readFile(dir.file("log"));
    const std::string text(log.begin(), log.end());
    EXPECT_NE(text.find("mystified.m3d\ndone.\ndone.\n"), std::string::npos) << text;
    const auto raw = readFile(dir.file("out.raw"));
    double energy = 0;
    for (size_t i = 0; i + 4 <= raw.size(); i += 4) {
        float v;
        std::memcpy(&v, &raw[i], 4);
        energy += static_cast<double>(v) * v;
    }
    EXPECT_GT(raw.size(), 44100u * 8 / 2); // half a second or more of output
    EXPECT_GT(energy, 100.0);
}
