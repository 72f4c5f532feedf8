// test_capture.cpp - the offline capture program on the default data: strict arguments, the
// clock and the music in step (every order change re-bases demo time at its key, the sound is
// the song from its first frame and what the live player sends to an audio device), identical
// output from two runs, pillarboxed sizes, the contact sheet and the ffmpeg video.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "capture_test_support.h"
#include "music/companion.h"
#include "music_test_support.h"
#include "scene/track.h"

using namespace testing_support;
namespace fs = std::filesystem;

TEST(CaptureArguments, MalformedArgumentsGetTheUsageAndCode2) {
    ScratchDir dir("capture-args");
    const char* refused[] = {
        "--at abc --out a.png",
        "--at nan --out a.png",
        "--at inf --out a.png",
        "--at 0x10 --out a.png",
        "--at ' 5' --out a.png",
        "--at 5s --out a.png",
        "--at -1 --out a.png",
        "--at 186.6 --out a.png",
        "--at 5, --out a.png",
        "--at 5 --size 64x48x3 --out a.png",
        "--at 5 --size 64x --out a.png",
        "--at 5 --size x48 --out a.png",
        "--at 5 --size 640X480 --out a.png",
        "--at 5 --size 15x480 --out a.png",
        "--at 5 --size 4097x480 --out a.png",
        "--at 5 --size 640x99999999999 --out a.png",
        "--at 5 --size -640x480 --out a.png",
        "--at 5",                      // nowhere to write
        "--at 5 --out a.png --fps 30", // a run's option on a still
        "--at 5 --at 6 --out a.png",   // given twice
        "--out f --fps 0",
        "--out f --fps 30.5",
        "--out f --fps 241",
        "--out f --from 10 --to 5",
        "--out f --to 200",
        "--out f --every 2", // --every without --sheet
        "--sheet s.png --every 0",
        "--fps 30",                     // a run with nothing to write
        "--video v.mp4 --size 641x480", // odd sizes cannot be encoded
        "--wav x.mp3",                  // a WAV by another name
        "--sheet s.gif",                // neither PNG nor JPEG
        "--video v.avi",                // a container the video does not go into
        "--out frames.png",             // a run's frames go into a folder
        "--at 10,20 --out single.png",  // several stills go into a folder
        "--at 10 --out single",         // one still is a PNG file
        "--video v.mp4 --preset quick", // not an x264 preset
        "--video v.mp4 --crf 52",
        "--out f --crf 20",      // --crf without --video
        "--render-only --out f", // --render-only writes nothing
        "--out",                 // a value is missing
        "--output f",            // unknown
        "stray",
    };
    for (const char* args : refused) {
        SCOPED_TRACE(args);
        const ToolRun r = runCaptureTool(dir, args);
        EXPECT_EQ(r.code, 2) << r.err;
        EXPECT_NE(r.err.find("usage: capture"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir.file("a.png")));
    }
    for (const char* rows : {"--rows 0", "--rows 23", "--rows 8-4", "--rows 4,,5", "--rows x"}) {
        SCOPED_TRACE(rows);
        const ToolRun r = runCaptureTool(dir, std::string("--at 5 --out a.png ") + rows);
        EXPECT_EQ(r.code, 2) << r.err;
    }
    // --help is a request, not a mistake: the usage on standard output and code 0. The usage
    // states the largest size that is accepted.
    const ToolRun r = runCaptureTool(dir, "--help");
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("4096x4096"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("--rows"), std::string::npos) << r.out;
}

namespace {

struct CaptureTest : ForgedData {
    std::unique_ptr<ScratchDir> work;
    void SetUp() override {
        ForgedData::SetUp();
        work = std::make_unique<ScratchDir>("capture");
    }
    ToolRun capture(const std::string& args) {
        return runCaptureTool(*work, "--data '" + dir->path.string() + "' " + args);
    }
    std::string file(const std::string& name) const { return work->file(name); }

    // The restored module, as the player hands it to the sound library.
    static std::vector<unsigned char> restoredModule() {
        std::vector<unsigned char> module = entry("mystified.xm");
        const std::vector<unsigned char> companion = entry("mystified.m3d");
        restoreSamplesInto(module.data(), module.size(), companion.data(), companion.size());
        return module;
    }
};

} // namespace

// The whole demo at 10 frames per second. Demo time runs exactly 1/10 s per frame between
// order changes; each order is seen first by the first frame whose moment hears it in the
// song, and there demo time is that order's key time; the sound is the song from its first
// frame as a device gets it, a tenth of a second of it per frame.
TEST_F(CaptureTest, OrderChangesRebaseDemoTimeAndTheSoundFollowsTheFrames) {
    const ToolRun r = capture("--fps 10 --size 32x24 --wav demo.wav --log frames.txt");
    ASSERT_EQ(r.code, 0) << r.err;
    int parts = -1;
    const std::vector<LoggedFrame> frames = readFrameLog(file("frames.txt"), &parts);
    ASSERT_GT(frames.size(), 1800u);
    EXPECT_GE(parts, 0);

    ScalarTrack sync;
    parseEnvelope(sync, text("mystified.env").c_str());
    ASSERT_GT(sync.keyCount, 50);
    int rate = 0;
    const std::vector<float> sound = readFloatWav(file("demo.wav"), &rate);
    EXPECT_EQ(rate, 44100);
    ASSERT_EQ(sound.size(), frames.size() * 4410 * 2);
    // The song as a device gets it, with the frame at which each order is first heard.
    const Render song = renderModule(restoredModule(), static_cast<int64_t>(sound.size() / 2));
    std::vector<int64_t> heardFrom(static_cast<size_t>(sync.keyCount), -1);
    for (size_t i = 0; i < song.orders.size(); ++i) {
        const int o = song.orders[i];
        if (o >= 0 && o < sync.keyCount && heardFrom[static_cast<size_t>(o)] < 0) {
            heardFrom[static_cast<size_t>(o)] = song.orderAt[i];
        }
    }

    EXPECT_EQ(frames[0].demo, 0.0f);
    int changes = 0;
    for (size_t i = 1; i < frames.size(); ++i) {
        const LoggedFrame &f = frames[i], &before = frames[i - 1];
        EXPECT_EQ(f.frame, before.frame + 1);
        EXPECT_NEAR(f.seconds - before.seconds, 0.1, 1e-9);
        if (f.order != before.order) {
            ++changes;
            EXPECT_EQ(f.order, before.order + 1) << "frame " << f.frame;
            ASSERT_LT(f.order, sync.keyCount);
            EXPECT_EQ(f.demo, sync.keys[f.order].time) << "frame " << f.frame;
            // The first frame whose moment (its last sound frame) hears the new order.
            const int64_t from = heardFrom[static_cast<size_t>(f.order)];
            EXPECT_EQ(f.frame, (from + 1 + 4409) / 4410) << "order " << f.order;
        } else {
            EXPECT_NEAR(f.demo - before.demo, 0.1f, 3e-5f) << "frame " << f.frame;
        }
    }
    EXPECT_GE(changes, 50);
    EXPECT_LE(frames.back().demo, 186.5f);
    EXPECT_GT(frames.back().demo, 186.3f);

    int64_t different = 0;
    for (size_t i = 0; i < sound.size(); ++i) {
        different += sound[i] != song.stereo[i];
    }
    EXPECT_EQ(different, 0);
}

// The live player on SDL's disk driver and the capture's WAV hold the same samples: after the
// device's leading silence, the disk file is the capture's sound bit for bit. The live player
// runs for a few seconds of wall-clock time, so this runs on its own.
using CaptureRealTime = CaptureTest;
TEST_F(CaptureRealTime, SoundMatchesWhatTheLivePlayerSendsToTheDevice) {
    // The live player, asked to quit once it sent over 2.5 s of the song to the device.
    const ProgramRun live =
        runUntil(dir->path.string(),
                 "env ASAN_OPTIONS=detect_leaks=0 SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=disk "
                 "SDL_DISKAUDIOFILE='" +
                     file("live.raw") + "' '" + std::string(TIR_BIN_DIR) + "/player' > '" +
                     file("live.log") + "' 2>&1",
                 [&] { return soundingFramesIn(file("live.raw")) > 44100 * 26 / 10; });
    ASSERT_TRUE(live.reached) << readText(file("live.log"));
    ASSERT_EQ(live.status, 128 + SIGINT) << readText(file("live.log")); // interrupted, closed cleanly
    const ToolRun r = capture("--to 2.5 --size 32x24 --wav capture.wav");
    ASSERT_EQ(r.code, 0) << r.err;

    const std::vector<unsigned char> raw = readFile(file("live.raw"));
    std::vector<float> heard(raw.size() / 4);
    std::memcpy(heard.data(), raw.data(), heard.size() * 4);
    const std::vector<float> captured = readFloatWav(file("capture.wav"));
    ASSERT_FALSE(captured.empty());
    const int64_t start = firstSoundingFrame(heard) - firstSoundingFrame(captured);
    ASSERT_GE(firstSoundingFrame(captured), 0);
    ASSERT_GE(start, 0);
    int64_t compared = 0, different = 0;
    for (size_t i = 0; i < captured.size() && i + 2 * start < heard.size(); ++i) {
        different += captured[i] != heard[i + 2 * static_cast<size_t>(start)];
        ++compared;
    }
    EXPECT_GT(compared, 2 * 44100); // a second or more of the live output was compared
    EXPECT_EQ(different, 0);
}

// Two runs of the same stretch write the same frames and the same sound, byte for byte; the
// contact sheet's cells are the frames at its times; the progress bar reaches its end.
TEST_F(CaptureTest, TwoRunsAreIdentical) {
    std::vector<ToolRun> runs;
    for (const char* name : {"a", "b"}) {
        runs.push_back(capture(std::string("--from 20 --to 20.5 --fps 30 --size 80x60 --out ") +
                               name + " --wav " + name + ".wav --sheet " + name +
                               ".png --every 0.25"));
        ASSERT_EQ(runs.back().code, 0) << runs.back().err;
    }
    EXPECT_NE(runs[0].err.find("100%"), std::string::npos) << runs[0].err;
    EXPECT_NE(runs[0].err.find("frames in"), std::string::npos) << runs[0].err;
    int count = 0;
    for (const auto& entry : fs::directory_iterator(file("a"))) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(readFile(entry.path().string()), readFile(file("b/" + name))) << name;
        ++count;
    }
    EXPECT_EQ(count, 15); // 20 s up to 20.5 s, not including it
    EXPECT_TRUE(fs::exists(file("a/frame-00000.png")));
    const std::vector<unsigned char> wav = readFile(file("a.wav"));
    EXPECT_GT(wav.size(), static_cast<size_t>(count) * 1470 * 8);
    EXPECT_EQ(wav, readFile(file("b.wav")));
    EXPECT_EQ(readFile(file("a.png")), readFile(file("b.png")));

    // Sheet: two cells (20 and 20.25 s) of 80 x 60 thumbnails, the first being frame 0.
    int w = 0, h = 0, fw = 0, fh = 0;
    const auto sheet = readRgbPng(file("a.png"), w, h);
    const auto first = readRgbPng(file("a/frame-00000.png"), fw, fh);
    ASSERT_FALSE(sheet.empty());
    ASSERT_EQ(fw, 80);
    EXPECT_EQ(w, 8 + 2 * (80 + 8));
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 80; ++x) {
            for (int c = 0; c < 3; ++c) {
                ASSERT_EQ(sheet[((8 + y) * w + 8 + x) * 3 + c], first[(y * 80 + x) * 3 + c]);
            }
        }
    }
    // The label under the first cell is drawn in the heading colour.
    int heading = 0;
    for (int y = 8 + 60 + 4; y < 8 + 60 + 20; ++y) {
        for (int x = 8; x < 88; ++x) {
            heading += sheet[(y * w + x) * 3] == 255 && sheet[(y * w + x) * 3 + 1] == 214;
        }
    }
    EXPECT_GT(heading, 20);
}

// A frame that is not 4:3 shows the 4:3 picture centred, with black bars: wide frames at the
// sides, tall ones above and below; the picture is the one a 4:3 capture of its size gives.
TEST_F(CaptureTest, OtherShapesShowThePicturePillarboxed) {
    struct Shape {
        const char* size;
        int w, h, x, y, pw, ph;
    };
    for (const Shape& s :
         {Shape{"200x60", 200, 60, 60, 0, 80, 60}, Shape{"60x200", 60, 200, 0, 77, 60, 45}}) {
        SCOPED_TRACE(s.size);
        const std::string picture = std::to_string(s.pw) + "x" + std::to_string(s.ph);
        ASSERT_EQ(capture(std::string("--at 11 --size ") + s.size + " --out framed.png").code, 0);
        ASSERT_EQ(capture("--at 11 --size " + picture + " --out plain.png").code, 0);
        int w = 0, h = 0, pw = 0, ph = 0;
        const auto framed = readRgbPng(file("framed.png"), w, h);
        const auto plain = readRgbPng(file("plain.png"), pw, ph);
        ASSERT_EQ(w, s.w);
        ASSERT_EQ(h, s.h);
        ASSERT_EQ(pw, s.pw);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const bool inside = x >= s.x && x < s.x + s.pw && y >= s.y && y < s.y + s.ph;
                for (int c = 0; c < 3; ++c) {
                    const unsigned char v = framed[(y * w + x) * 3 + c];
                    ASSERT_EQ(v, inside ? plain[((y - s.y) * pw + x - s.x) * 3 + c] : 0)
                        << x << "," << y;
                }
            }
        }
    }
}

// --video pipes frames and sound into ffmpeg: the MP4 has an H.264 and an AAC stream and lasts
// as long as the frames. Without ffmpeg the option says what to install.
TEST_F(CaptureTest, VideoThroughFfmpegOrWhatToInstall) {
    const ToolRun missing =
        runIn(*work, "/usr/bin/env PATH=/nonexistent '" + captureTool() + "' --data '" +
                         dir->path.string() + "' --to 1 --size 64x48 --video v.mp4");
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("apt-get install ffmpeg"), std::string::npos) << missing.err;

    if (std::system("command -v ffmpeg > /dev/null && command -v ffprobe > /dev/null") != 0) {
        GTEST_SKIP() << "ffmpeg is not installed (apt-get install ffmpeg): the video itself is "
                        "not checked";
    }
    const ToolRun r = capture("--from 3 --to 5 --fps 25 --size 64x48 --video v.mp4");
    ASSERT_EQ(r.code, 0) << r.err;
    const ToolRun probe =
        runIn(*work, "ffprobe -v error -show_entries stream=codec_name:format=duration -of "
                     "default=noprint_wrappers=1 v.mp4");
    ASSERT_EQ(probe.code, 0) << probe.err;
    EXPECT_NE(probe.out.find("codec_name=h264"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("codec_name=aac"), std::string::npos) << probe.out;
    const size_t at = probe.out.find("duration=");
    ASSERT_NE(at, std::string::npos) << probe.out;
    EXPECT_NEAR(std::atof(probe.out.c_str() + at + 9), 2.0, 0.1) << probe.out;
    EXPECT_FALSE(fs::exists(file("v.mp4.ffmpeg.log"))); // removed after a clean run
}

// --rows draws only the rows named: at 80 s the dust alone differs from the whole frame (where
// the knot and its echoes cover it), and it is the same picture whichever muted rows precede
// it in time, since a muted row is never called and leaves neither pixels nor GL state.
TEST_F(CaptureTest, RowsDrawOnlyTheRowsNamed) {
    ASSERT_EQ(capture("--at 80 --size 80x60 --out whole.png").code, 0);
    const ToolRun solo = capture("--at 80 --size 80x60 --rows 15 --out dust.png");
    ASSERT_EQ(solo.code, 0) << solo.err;
    EXPECT_NE(solo.out.find("rows 15: Dust"), std::string::npos) << solo.out;
    ASSERT_EQ(capture("--at 20,80 --size 80x60 --rows 15 --out both").code, 0);
    ASSERT_EQ(capture("--at 80 --size 80x60 --rows 99-1 --out none.png").code, 2);
    int w = 0, h = 0;
    const std::vector<unsigned char> whole = readRgbPng(file("whole.png"), w, h);
    const std::vector<unsigned char> dust = readRgbPng(file("dust.png"), w, h);
    const std::vector<unsigned char> after = readRgbPng(file("both/at-080.000.png"), w, h);
    const std::vector<unsigned char> before = readRgbPng(file("both/at-020.000.png"), w, h);
    ASSERT_EQ(whole.size(), dust.size());
    EXPECT_NE(whole, dust);
    EXPECT_EQ(dust, after); // the earlier still (nothing drawn at 20 s) changes nothing
    size_t lit = 0;
    for (unsigned char v : dust) {
        lit += v > 20;
    }
    EXPECT_GT(lit, dust.size() / 20); // the dust itself is there
    for (unsigned char v : before) {
        ASSERT_EQ(v, 0); // row 15 is not active at 20 s: nothing at all is drawn
    }
}

// One frame rule for every stretch: the first frame shows demo time --from itself, a run writes
// fps * (to - from) frames rounded up (at least one), never a frame past the demo's end, and the
// WAV is exactly the sound of those frames.
TEST_F(CaptureTest, FrameCountsAndTheFirstFrameFollowOneRule) {
    struct Range {
        double from, to;
        int fps;
        size_t frames;
    };
    for (const Range& r :
         {Range{40, 44, 30, 120}, Range{40, 60, 30, 600}, Range{40, 44, 10, 40},
          Range{40, 40, 30, 1}, Range{40.1, 40.2, 30, 3}, Range{186.4, 186.5, 30, 3}}) {
        const std::string range = "--from " + std::to_string(r.from) + " --to " +
                                  std::to_string(r.to) + " --fps " + std::to_string(r.fps);
        SCOPED_TRACE(range);
        const ToolRun run = capture(range + " --size 32x24 --wav r.wav --log r.txt");
        ASSERT_EQ(run.code, 0) << run.err;
        const std::vector<LoggedFrame> frames = readFrameLog(file("r.txt"));
        ASSERT_EQ(frames.size(), r.frames);
        EXPECT_EQ(frames.front().demo, static_cast<float>(r.from));
        EXPECT_LE(frames.back().demo, 186.5f);
        EXPECT_EQ(readFloatWav(file("r.wav")).size(), r.frames * (44100 / r.fps) * 2);
    }
}

// A render-only run draws every frame and writes nothing. Where the GL has fences it paces the
// frames with them (a frame may be drawn while the next is issued); through the GL layer,
// which has none, with glFinish.
TEST_F(CaptureTest, RenderOnlyDrawsEveryFramePacedAndWritesNothing) {
    const std::string args = " --data '" + dir->path.string() +
                             "' --render-only --from 30 --to 30.5 --fps 20 --size 64x48";
    for (const char* gl : {"", "TIR_GL=es3 "}) {
        SCOPED_TRACE(gl);
        const ToolRun run = runIn(*work, std::string(gl) + "'" + captureTool() + "'" + args);
        ASSERT_EQ(run.code, 0) << run.err;
        EXPECT_NE(run.out.find("captured 10 frames"), std::string::npos) << run.out;
        const char* paced = *gl ? "read back nothing (paced by glFinish)"
                                : "read back nothing (paced by fences)";
        EXPECT_NE(run.out.find(paced), std::string::npos) << run.out;
        std::vector<std::string> files;
        for (const auto& entry : fs::directory_iterator(work->path)) {
            files.push_back(entry.path().filename().string());
        }
        std::sort(files.begin(), files.end());
        EXPECT_EQ(files, (std::vector<std::string>{"stderr.txt", "stdout.txt"}));
    }
}

// A frames folder that holds an earlier run's frames is refused before anything is drawn, so
// two runs never mix; --force removes those frames (and only those) first.
TEST_F(CaptureTest, AnEarlierRunsFramesAreRefusedOrClearedWithForce) {
    ASSERT_EQ(capture("--to 0.1 --size 32x24 --out f").code, 0);
    writeFile(file("f/frame-00099.png"), std::string("stale"));
    writeFile(file("f/notes.txt"), std::string("kept"));
    const ToolRun refused = capture("--to 0.1 --size 32x24 --out f");
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find(file("f")), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("earlier run"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.out.find("captured"), std::string::npos) << refused.out;
    EXPECT_TRUE(fs::exists(file("f/frame-00099.png")));

    const ToolRun forced = capture("--to 0.2 --size 32x24 --out f --force");
    ASSERT_EQ(forced.code, 0) << forced.err;
    EXPECT_FALSE(fs::exists(file("f/frame-00099.png")));
    EXPECT_TRUE(fs::exists(file("f/notes.txt")));
    int frames = 0;
    for (const auto& e : fs::directory_iterator(file("f"))) {
        frames += e.path().extension() == ".png";
    }
    EXPECT_EQ(frames, 6);
}

// Every output path is checked before the player starts, and the refusal names the path and
// the reason; a contact sheet named .jpg is written as JPEG.
TEST_F(CaptureTest, OutputPathsAreCheckedFirstAndNamesHonoured) {
    struct Case {
        std::string args, path, reason;
    };
    fs::create_directories(file("folder.wav"));
    for (const Case& c :
         {Case{"--wav missing/x.wav", "missing/x.wav", "does not exist"},
          Case{"--video missing/v.mp4", "missing/v.mp4", "does not exist"},
          Case{"--sheet missing/s.png", "missing/s.png", "does not exist"},
          Case{"--wav folder.wav", "folder.wav", "is a folder"},
          Case{"--out frames --log missing/l.txt", "missing/l.txt", "does not exist"}}) {
        SCOPED_TRACE(c.args);
        const ToolRun r = capture("--to 0.1 --size 32x24 " + c.args);
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find(c.path), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("ffmpeg"), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("captured"), std::string::npos) << r.out;
    }
    EXPECT_FALSE(fs::exists(file("frames")) && !fs::is_empty(file("frames")));

    ASSERT_EQ(capture("--to 1 --size 32x24 --sheet s.jpg --every 0.5").code, 0);
    const std::vector<unsigned char> jpeg = readFile(file("s.jpg"));
    ASSERT_GT(jpeg.size(), 3u);
    EXPECT_EQ(jpeg[0], 0xFF);
    EXPECT_EQ(jpeg[1], 0xD8);
}
