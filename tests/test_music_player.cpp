// test_music_player.cpp - the music player: companion naming, output choice, the silent
// uninitialised path, and the whole chain from an archive holding "mystified.xm", its companion
// and "mystified.env" to sound in the output and demo time that follows the orders.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
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

// The module, its companion and "mystified.env" from the archive, as the release player loads
// them; the samples restored from the companion must match the originals. Returns the restored
// module. The caller gives the search path and `archiveSource` back.
std::vector<unsigned char> loadArchivedSong(Application& app, const ScratchDir& dir,
                                            const std::vector<unsigned char>& original,
                                            std::unique_ptr<ArchiveSource>& archiveSource,
                                            ScalarTrack& envelope) {
    searchPath.clear();
    archiveSource = std::make_unique<ArchiveSource>(dir.file("tir.val").c_str());
    searchPath.add(archiveSource.get());
    testing::internal::CaptureStdout();
    EXPECT_EQ(app.music.load("mystified.xm"), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "mystified.m3d\ndone.\ndone.\n");
    loadEnvelope(envelope, "mystified.env");
    demoClock.replaceSyncEnvelope(&envelope);
    XmModuleInfo info;
    std::string error;
    EXPECT_TRUE(parseXm(original.data(), original.size(), info, error)) << error;
    for (const XmSampleInfo& s : info.samples) {
        EXPECT_GT(
            snrDb(decodeXmSample(original.data(), s), decodeXmSample(app.music.moduleImage, s), 1),
            25.0)
            << "sample " << s.number;
    }
    if (!app.music.moduleImage) {
        return {};
    }
    return {app.music.moduleImage, app.music.moduleImage + app.music.moduleSize};
}

// The whole chain on the frame loop, offline: the song plays through the non-realtime output
// and each frame mixes its 1/60 s before it runs, on a virtual counter. Orders 0 1 2 3 and the
// loop back to 0 come 300 ms of music apart, each seen by the first frame after its first
// sample; demo time jumps to the order's key there and runs with the counter between changes.
// Nothing here waits for the wall clock.
TEST(MusicPlayer, ArchivedSongDrivesDemoTimeFrameByFrame) {
    ScratchDir dir("music-player");
    const auto original = writeDemoArchive(dir.file("tir.val"));
    resetPlayerState();
    settings.showSetupDialog = 0;
    sys::VirtualCounter counter;
    counter.frequency = 44100 * 60; // a tick per frame of sound, 735 per picture frame
    sys::useVirtualCounter(&counter);
    std::optional<RecordingGl> gl;
    gl.emplace();
    auto* app = new Application;
    app->music.outputType = FSOUND_OUTPUT_NOSOUND_NONREALTIME;
    ASSERT_EQ(app->music.initialise(), 1);
    std::unique_ptr<ArchiveSource> archiveSource;
    ScalarTrack envelope;
    const std::vector<unsigned char> restored =
        loadArchivedSong(*app, dir, original, archiveSource, envelope);
    ASSERT_NE(app->music.song, nullptr);
    app->counterFrequency = counter.frequency;
    app->overlay = new TextOverlay(builtinFont, 16, 1234, 640, 120);

    constexpr int64_t soundPerFrame = 44100 / 60;
    struct Seen {
        int64_t frame;
        int order;
        float demo;
    };
    std::vector<Seen> frames;
    std::vector<float> block(static_cast<size_t>(soundPerFrame) * 2);
    for (int64_t k = 0; k < 90; ++k) {
        counter.now = k * soundPerFrame * 60;
        if (k > 0) {
            fsoundMix(block.data(), static_cast<int>(soundPerFrame)); // frame k - 1's sound
        }
        app->frame();
        frames.push_back({k, lastOrder, demoTime});
    }
    app->music.freeSong();
    app->music.close();
    FSOUND_SetOutput(FSOUND_OUTPUT_DSOUND); // the library's default again
    delete app->overlay;
    delete app;
    gl.reset();
    unloadGl();
    sys::useVirtualCounter(nullptr);
    resetPlayerState();
    searchPath.clear();
    demoClock.replaceSyncEnvelope(nullptr);

    // The orders' first samples, from libopenmpt's own render of the restored module.
    const Render ref = renderModule(restored, 90 * soundPerFrame);
    ASSERT_GE(ref.orders.size(), 5u);
    std::vector<size_t> changes;
    for (size_t i = 1; i < frames.size(); ++i) {
        if (frames[i].order != frames[i - 1].order) {
            changes.push_back(i);
        }
    }
    ASSERT_EQ(changes.size(), 4u);
    changes.push_back(frames.size());
    for (size_t c = 0; c + 1 < changes.size(); ++c) {
        SCOPED_TRACE("change " + std::to_string(c + 1));
        const Seen& f = frames[changes[c]];
        const Seen& last = frames[changes[c + 1] - 1];
        EXPECT_EQ(f.order, ref.orders[c + 1]);
        EXPECT_EQ(f.order, static_cast<int>((c + 1) % 4));
        // Seen by the first frame whose sound holds the order's first sample.
        const int64_t firstSample = ref.orderAt[c + 1];
        EXPECT_EQ(f.frame, firstSample / soundPerFrame + 1) << "first sample " << firstSample;
        EXPECT_FLOAT_EQ(f.demo, keyTimes[f.order]);
        // Between changes demo time runs with the counter: 1/60 s a frame.
        EXPECT_NEAR(last.demo - f.demo, static_cast<float>(last.frame - f.frame) / 60.0f, 1e-4f);
    }
}

// The release player's path with the dialog's defaults on a real device: sound starts on the
// disk driver, the module and its companion come from the archive, and the file the device
// writes is libopenmpt's own render of the restored module, sample for sample, from the first
// sounding frame on.
TEST(MusicPlayerRealTime, ArchivedSongPlaysThroughTheDevice) {
    ScratchDir dir("music-player");
    const auto original = writeDemoArchive(dir.file("tir.val"));
    EnvVar driver("SDL_AUDIODRIVER", "disk");
    EnvVar file("SDL_DISKAUDIOFILE", dir.file("out.raw"));

    resetPlayerState();
    auto* app = new Application;
    std::optional<RecordingGl> gl;
    gl.emplace();
    ASSERT_EQ(app->music.initialised, 1);
    std::unique_ptr<ArchiveSource> archiveSource;
    ScalarTrack envelope;
    const std::vector<unsigned char> restored =
        loadArchivedSong(*app, dir, original, archiveSource, envelope);
    ASSERT_NE(app->music.song, nullptr);
    app->music.play();
    // However busy the machine, until over a second of the song reached the file.
    const auto t0 = std::chrono::steady_clock::now();
    while (soundingFramesIn(dir.file("out.raw")) < 44100 * 12 / 10 &&
           std::chrono::steady_clock::now() - t0 < std::chrono::seconds(60)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    app->music.freeSong();
    app->music.close();
    delete app;
    gl.reset();
    unloadGl();
    resetPlayerState();
    searchPath.clear();
    demoClock.replaceSyncEnvelope(nullptr);

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
// disk driver, and closes cleanly when asked to quit once half a second of the song was heard.
TEST(MusicPlayerRealTime, PlayerProgramPlaysTheArchivedSong) {
    ScratchDir dir("player-sound");
    writeDemoArchive(dir.file("tir.val"), true);
    // Leak checking is left to the in-process tests: the GL driver's own start-up allocations
    // outlive an offscreen window in sanitizer builds.
    const std::string cmd = "env ASAN_OPTIONS=detect_leaks=0 SDL_VIDEODRIVER=offscreen "
                            "SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=out.raw '" +
                            std::string(TIR_BIN_DIR) + "/player' > log 2>&1";
    const ProgramRun run = runUntil(
        dir.path.string(), cmd, [&] { return soundingFramesIn(dir.file("out.raw")) > 44100 / 2; });
    EXPECT_TRUE(run.reached);
    EXPECT_EQ(run.status, 128 + SIGINT); // the interrupt's code, through the normal close
    const std::string text = readText(dir.file("log"));
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
