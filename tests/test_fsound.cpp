// test_fsound.cpp - the sound library over libopenmpt and SDL audio: output selection, start-up
// failure, looping and order jumps, and the order query against what reaches the output.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "music/music_player.h"
#include "music_test_support.h"
#include "platform/fsound.h"
#include "test_support.h"

using namespace testing_support;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

} // namespace

TEST(Fsound, OutputSelectionAndStartUpFailure) {
    EXPECT_EQ(FSOUND_GetOutput(), FSOUND_OUTPUT_DSOUND); // the library's default
    EXPECT_TRUE(FSOUND_SetOutput(FSOUND_OUTPUT_WINMM));
    EXPECT_EQ(FSOUND_GetOutput(), FSOUND_OUTPUT_WINMM);
    EXPECT_FALSE(FSOUND_SetOutput(7));
    EXPECT_EQ(FSOUND_GetOutput(), FSOUND_OUTPUT_WINMM);

    {
        // No audio device can be opened: Init fails and nothing works afterwards.
        EnvVar driver("SDL_AUDIODRIVER", "no-such-driver");
        EXPECT_FALSE(FSOUND_Init(44100, 32));
        EXPECT_FALSE(fsoundStatus().initialised);
        const auto image = writeXm(makeOrderSong(1));
        EXPECT_EQ(FMUSIC_LoadSongMemory(image.data(), static_cast<int>(image.size())), nullptr);
        MusicPlayer player;
        player.configure(0);
        EXPECT_EQ(player.initialise(), 0);
        EXPECT_EQ(player.initialised, 0);
        EXPECT_EQ(player.load("never-read.xm"), 0); // no search path, and no fatal error
    }

    // SDL_AUDIODRIVER wins over the output type's driver; settings are kept while running.
    EnvVar driver("SDL_AUDIODRIVER", "dummy");
    EXPECT_TRUE(FSOUND_SetMixer(0) && FSOUND_SetUpdateRate(30) && FSOUND_SetMixAhead(30));
    ASSERT_TRUE(FSOUND_Init(44100, 32));
    const FsoundStatus s = fsoundStatus();
    EXPECT_STREQ(s.driver, "dummy");
    EXPECT_EQ(s.mixRate, 44100);
    EXPECT_EQ(s.updateRate, 30);
    EXPECT_EQ(s.mixAhead, 30);
    EXPECT_FALSE(FSOUND_SetOutput(FSOUND_OUTPUT_DSOUND)); // not while initialised
    EXPECT_FALSE(FSOUND_Init(44100, 32));
    const char junk[] = "this is not a module at all, only some words";
    EXPECT_EQ(FMUSIC_LoadSongMemory(junk, sizeof junk), nullptr);
    EXPECT_FALSE(FMUSIC_PlaySong(nullptr));
    EXPECT_EQ(FMUSIC_GetOrder(nullptr), 0);
    EXPECT_FALSE(FMUSIC_FreeSong(nullptr));
    FSOUND_Close();
    EXPECT_FALSE(fsoundStatus().initialised);
    EXPECT_TRUE(FSOUND_SetOutput(FSOUND_OUTPUT_DSOUND));
}

// Offline, in frames of sound: a jump is reported with the first block pulled after it, and
// the last order (300 ms, 13,230 frames) gives way to order 0 again within one 64-frame stamp
// block of its end.
TEST(Fsound, SongJumpsAndLoopsWithinABlock) {
    EnvVar driver("SDL_AUDIODRIVER", "no-such-driver"); // no device is ever opened
    ASSERT_TRUE(FSOUND_SetOutput(FSOUND_OUTPUT_NOSOUND_NONREALTIME));
    ASSERT_TRUE(FSOUND_Init(44100, 32));
    const auto image = writeXm(makeOrderSong(4));
    FmusicModule* song = FMUSIC_LoadSongMemory(image.data(), static_cast<int>(image.size()));
    ASSERT_NE(song, nullptr);
    ASSERT_TRUE(FMUSIC_PlaySong(song));
    EXPECT_EQ(FMUSIC_GetOrder(song), 0);
    EXPECT_FALSE(FMUSIC_SetOrder(song, -1));
    EXPECT_FALSE(FMUSIC_SetOrder(song, 4));
    float block[64 * 2];
    ASSERT_TRUE(fsoundMix(block, 64));
    ASSERT_TRUE(FMUSIC_SetOrder(song, 3));
    ASSERT_TRUE(fsoundMix(block, 64));
    EXPECT_EQ(FMUSIC_GetOrder(song), 3);
    int frames = 64;
    while (FMUSIC_GetOrder(song) == 3 && frames < 44100) {
        ASSERT_TRUE(fsoundMix(block, 64));
        frames += 64;
    }
    EXPECT_EQ(FMUSIC_GetOrder(song), 0);
    EXPECT_NEAR(frames, 13230, 64) << "frames of order 3";
    EXPECT_TRUE(FMUSIC_FreeSong(song));
    EXPECT_FALSE(FMUSIC_FreeSong(song));
    FSOUND_Close();
    EXPECT_TRUE(FSOUND_SetOutput(FSOUND_OUTPUT_DSOUND));
}

// The module plays into SDL's disk driver while the test logs every order change and every
// growth of the output file with its time. Each order change must be reported within one audio
// buffer of the moment that order's first frame reaches the file, and the file must be
// libopenmpt's own render of the module.
TEST(FsoundRealTime, OrderQueryFollowsTheAudioReachingTheOutput) {
    ScratchDir dir("fsound-disk");
    const std::string out = dir.file("out.raw");
    EnvVar driver("SDL_AUDIODRIVER", "disk");
    EnvVar file("SDL_DISKAUDIOFILE", out);
    ASSERT_TRUE(FSOUND_Init(44100, 32));
    ASSERT_EQ(fsoundStatus().latencyFrames, 0); // the disk driver writes whole blocks
    const auto image = writeXm(makeOrderSong(4));
    FmusicModule* song = FMUSIC_LoadSongMemory(image.data(), static_cast<int>(image.size()));
    ASSERT_NE(song, nullptr);

    struct Event {
        double t;
        int64_t value;
    };
    std::vector<Event> orders, sizes;
    ASSERT_TRUE(FMUSIC_PlaySong(song));
    const auto t0 = Clock::now();
    orders.push_back({0, FMUSIC_GetOrder(song)});
    // Until 1.6 s of output reached the file (the song starts within its first blocks),
    // however long the busy machine takes.
    constexpr int64_t enoughBytes = 44100 * 8 * 16 / 10;
    while ((sizes.empty() || sizes.back().value < enoughBytes) && secondsSince(t0) < 60) {
        const double t = secondsSince(t0);
        const int order = FMUSIC_GetOrder(song);
        std::error_code ec;
        const auto size = static_cast<int64_t>(std::filesystem::file_size(out, ec));
        if (order != orders.back().value) {
            orders.push_back({t, order});
        }
        if (!ec && (sizes.empty() || size != sizes.back().value)) {
            sizes.push_back({t, size});
        }
        std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    FMUSIC_FreeSong(song);
    FSOUND_Close();

    const auto raw = readFile(out);
    std::vector<float> heard(raw.size() / 4); // float stereo, as the device was opened
    std::memcpy(heard.data(), raw.data(), heard.size() * 4);
    const int64_t frames = static_cast<int64_t>(heard.size() / 2);
    const Render ref = renderModule(image, frames);
    ASSERT_GE(ref.orders.size(), 6u); // 0 1 2 3, then the loop: 0 1
    EXPECT_EQ(ref.orders[4], 0);

    // The song starts where the file stops being silent; from there it is libopenmpt's render.
    const int64_t start = firstSoundingFrame(heard) - firstSoundingFrame(ref.stereo);
    ASSERT_GE(start, 0);
    int64_t compared = 0, different = 0;
    double energy = 0;
    for (int64_t i = 0; i + start < frames; ++i) {
        for (int c = 0; c < 2; ++c) {
            const float a = heard[static_cast<size_t>(2 * (i + start) + c)];
            different += a != ref.stereo[static_cast<size_t>(2 * i + c)];
            energy += static_cast<double>(a) * a;
        }
        ++compared;
    }
    EXPECT_GT(compared, 44100); // over a second of the song reached the file
    EXPECT_EQ(different, 0);
    EXPECT_GT(std::sqrt(energy / (2.0 * compared)), 0.03); // not silent

    const double buffer = static_cast<double>(fsoundBufferFrames) / 44100;
    int checked = 0;
    for (size_t k = 1; k < ref.orders.size() && k < orders.size(); ++k) {
        const int64_t lastByte = (start + ref.orderAt[k] + 1) * 8;
        double reached = -1;
        for (const Event& e : sizes) {
            if (e.value >= lastByte) {
                reached = e.t;
                break;
            }
        }
        if (reached < 0) {
            break; // this order's audio never reached the file before the test stopped
        }
        EXPECT_EQ(orders[k].value, ref.orders[k]) << "change " << k;
        EXPECT_NEAR(orders[k].t, reached, buffer)
            << "order " << ref.orders[k] << " reported at " << orders[k].t
            << " s, its audio reached the file at " << reached << " s";
        std::printf("order %d: reported %+.1f ms from its audio reaching the file\n", ref.orders[k],
                    1000 * (orders[k].t - reached));
        ++checked;
    }
    EXPECT_GE(checked, 4);
}

// The non-realtime output opens no device: the song advances only as fsoundMix pulls it, the
// samples are the ones a device would get (64-frame blocks from the song's start, whatever the
// size of each pull), and the order query reports the order of the last frame pulled, so a
// tool that pulls up to a moment reads the order heard at that moment.
TEST(Fsound, NonrealtimeOutputRendersOnlyWhenPulled) {
    EnvVar driver("SDL_AUDIODRIVER", "no-such-driver"); // no device is ever opened
    float probe[8];
    EXPECT_FALSE(fsoundMix(probe, 4)); // not initialised
    ASSERT_TRUE(FSOUND_SetOutput(FSOUND_OUTPUT_NOSOUND_NONREALTIME));
    ASSERT_TRUE(FSOUND_Init(44100, 32));
    EXPECT_STREQ(fsoundStatus().driver, "nonrealtime");
    FSOUND_DSP_ClearMixBuffer();
    const auto image = writeXm(makeOrderSong(4));
    FmusicModule* song = FMUSIC_LoadSongMemory(image.data(), static_cast<int>(image.size()));
    ASSERT_NE(song, nullptr);
    ASSERT_TRUE(FMUSIC_PlaySong(song));
    EXPECT_EQ(FMUSIC_GetOrder(song), 0);

    // 1.5 s in pulls of uneven sizes, noting the order after each pull.
    const int total = 66150;
    const Render ref = renderModule(image, total);
    std::vector<float> pulled;
    std::vector<std::pair<int, int>> orderAfter; // frames pulled so far, order reported
    uint32_t seed = 7;
    while (static_cast<int>(pulled.size() / 2) < total) {
        seed = seed * 1664525u + 1013904223u;
        const int n = std::min<int>(1 + static_cast<int>(seed >> 22),
                                    total - static_cast<int>(pulled.size() / 2));
        std::vector<float> part(static_cast<size_t>(n) * 2);
        ASSERT_TRUE(fsoundMix(part.data(), n));
        pulled.insert(pulled.end(), part.begin(), part.end());
        orderAfter.push_back({static_cast<int>(pulled.size() / 2), FMUSIC_GetOrder(song)});
    }
    EXPECT_EQ(pulled, ref.stereo);
    const FsoundStatus status = fsoundStatus();
    EXPECT_EQ(status.framesRendered - status.latencyFrames, total); // the rest is ahead
    EXPECT_LT(status.latencyFrames, 64);
    // Each order starts every 300 ms (13,230 frames): the order reported after a pull is the one
    // playing at its last frame, give or take the 64-frame stamp blocks.
    for (const auto& [frames, order] : orderAfter) {
        const int last = frames - 1;
        const int playing = (last / 13230) % 4;
        if (last % 13230 >= 64 && last % 13230 < 13230 - 64) {
            EXPECT_EQ(order, playing) << "after " << frames << " frames";
        }
    }
    FMUSIC_FreeSong(song);
    FSOUND_Close();
    EXPECT_FALSE(fsoundStatus().initialised);
    EXPECT_FALSE(fsoundMix(probe, 4));

    // A device output cannot be pulled from.
    EnvVar dummy("SDL_AUDIODRIVER", "dummy");
    ASSERT_TRUE(FSOUND_SetOutput(FSOUND_OUTPUT_DSOUND));
    ASSERT_TRUE(FSOUND_Init(44100, 32));
    EXPECT_FALSE(fsoundMix(probe, 4));
    FSOUND_Close();
}
