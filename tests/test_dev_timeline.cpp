// test_dev_timeline.cpp - the development player's timeline tools on the default data, headless:
// row lists and the rows the timeline draws; the clock's seek, pause and frame steps driven by
// a virtual counter and keys injected into the window's queue, with sound and without; the
// start at a given time, heard through SDL's disk driver and compared with libopenmpt's own
// render; solo rows; and reloading changed and damaged data while the demo runs.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <optional>
#include <thread>

#include "app/command_line.h"
#include "app/dev_application.h"
#include "app/row_list.h"
#include "effects/schedule.h"
#include "forge_test_support.h"
#include "gfx/gl_api.h"
#include "gfx/render_state.h"
#include "music_test_support.h"
#include "platform/fsound.h"
#include "scene/track.h"
#include "timeline/part.h"
#include "tools/common/offscreen_gl.h"

using namespace testing_support;

namespace {

// ---------------------------------------------------------------------------------------------
// Row lists and the rows a timeline draws

std::string rowsOf(const RowSelection& s, int count) {
    std::string text;
    for (int r = 1; r <= count; ++r) {
        text += s.includes(r) ? '#' : '.';
    }
    return text;
}

TEST(RowList, ReadsRowsAndRangesInAnyOrder) {
    RowSelection s;
    std::string error;
    ASSERT_TRUE(parseRowList("15", scheduleRowCount, s, error)) << error;
    EXPECT_EQ(rowsOf(s, 22), "..............#.......");
    ASSERT_TRUE(parseRowList("4-8,12", scheduleRowCount, s, error)) << error;
    EXPECT_EQ(rowsOf(s, 22), "...#####...#..........");
    EXPECT_EQ(formatRowList(s), "4-8,12");
    ASSERT_TRUE(parseRowList("22,12,5-6,4,1-1,6-8", scheduleRowCount, s, error)) << error;
    EXPECT_EQ(formatRowList(s), "1,4-8,12,22");
    ASSERT_TRUE(parseRowList("1-22", scheduleRowCount, s, error)) << error;
    EXPECT_EQ(formatRowList(s), "1-22");
    EXPECT_FALSE(s.includes(0));
    EXPECT_FALSE(s.includes(23));
    EXPECT_EQ(formatRowList(RowSelection{}), "all");
    EXPECT_TRUE(RowSelection{}.includes(40));
}

TEST(RowList, RefusesAnythingElseAndKeepsTheSelection) {
    for (const char* bad : {"", "0", "23", "8-4", "4-", "-4", "a", "4,,5", "4 5", "4,", ",4",
                            "1-23", "3.5", "+3", "99999999999999999999", "4-8;12"}) {
        RowSelection s;
        std::string error;
        ASSERT_TRUE(parseRowList("3", scheduleRowCount, s, error));
        EXPECT_FALSE(parseRowList(bad, scheduleRowCount, s, error)) << "\"" << bad << "\"";
        EXPECT_FALSE(error.empty()) << bad;
        EXPECT_EQ(formatRowList(s), "3") << bad;
    }
    RowSelection s;
    std::string error;
    EXPECT_FALSE(parseRowList(nullptr, scheduleRowCount, s, error));
}

struct CountingPart : Part {
    int calls = 0;
    void render(float) override { ++calls; }
};
struct OtherPart : CountingPart {};

TEST(RowList, TheTimelineCallsOnlySelectedRowsAndNamesThem) {
    CountingPart a, c;
    OtherPart b;
    Timeline timeline;
    timeline.append(&a);
    timeline.append(&b);
    timeline.append(&c);
    std::string error;
    ASSERT_TRUE(parseRowList("2", 3, timeline.selection, error));
    timeline.run(5.0f);
    EXPECT_EQ(a.calls, 0);
    EXPECT_EQ(b.calls, 1);
    EXPECT_EQ(c.calls, 0);
    EXPECT_EQ(timeline.rowName(1), "Counting");
    EXPECT_EQ(timeline.rowName(2), "Other");
    EXPECT_EQ(timeline.rowName(4), "");
    EXPECT_EQ(describeRowSelection(timeline, timeline.selection), "rows 2: Other");
    timeline.selection = RowSelection{};
    timeline.run(5.0f);
    EXPECT_EQ(a.calls + b.calls + c.calls, 4);
    EXPECT_EQ(describeRowSelection(timeline, timeline.selection), "all rows");
    timeline.releaseArray();
}

// ---------------------------------------------------------------------------------------------
// The clock on its own

TEST(DemoClockSeek, OrderAtFollowsTheEnvelopesStretches) {
    ScalarTrack envelope;
    parseEnvelope(envelope, "mystified\nk 0 v 0\nk 12.5 v 1\nk 42 v 2\nk 60 v 3\n");
    DemoClock clock;
    clock.syncEnvelope = &envelope;
    EXPECT_EQ(clock.orderAt(-1.0f), 0);
    EXPECT_EQ(clock.orderAt(0.0f), 0);
    EXPECT_EQ(clock.orderAt(12.49f), 0);
    EXPECT_EQ(clock.orderAt(12.5f), 1);
    EXPECT_EQ(clock.orderAt(41.99f), 1);
    EXPECT_EQ(clock.orderAt(42.0f), 2);
    EXPECT_EQ(clock.orderAt(60.0f), 3);
    EXPECT_EQ(clock.orderAt(1000.0f), 3);
}

TEST(DemoClockSeek, PauseHoldsTimeSeekMovesItAndResumeRunsOnFromIt) {
    DemoClock clock;
    clock.restart(0, 10.0f);
    EXPECT_FLOAT_EQ(clock.update(500, 1000), 10.5f);
    clock.pause(500, 1000);
    clock.pause(800, 1000); // already paused: nothing moves
    EXPECT_FLOAT_EQ(clock.update(2000, 1000), 10.5f);
    clock.seek(20.0f, 4, 3000);
    EXPECT_EQ(clock.lastOrder, 4);
    EXPECT_FLOAT_EQ(clock.update(9000, 1000), 20.0f);
    clock.resume(9000);
    clock.resume(9200); // already running: nothing moves
    EXPECT_FLOAT_EQ(clock.update(9500, 1000), 20.5f);
    clock.seek(3.0f, 0, 10000);
    EXPECT_FLOAT_EQ(clock.update(10250, 1000), 3.25f);
}

// ---------------------------------------------------------------------------------------------
// The development player, headless, on a folder that holds tir.val

struct DevTimelineTest : ForgedData {
    sys::VirtualCounter counter;
    DevApplication* app = nullptr;
    std::optional<ScratchDir> folder; // a copy of the data the test may change
    std::optional<WorkingDir> cwd;
    std::optional<EnvVar> audio;
    std::vector<unsigned char> pixels; // the last frame's picture
    bool readPixels = false;

    void SetUp() override {
        ForgedData::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        // The player builds its own search path from the folder it starts in.
        searchPath.clear();
        delete source;
        source = nullptr;
        resetArchive();
        folder.emplace("devtime");
        std::filesystem::copy_file(archivePath(), folder->file("tir.val"));
        cwd.emplace(folder->path);
        counter.frequency = 1000000;
        counter.now = 0;
        sys::useVirtualCounter(&counter);
        resetPlayerState();
        renderState.reset();
    }
    void TearDown() override {
        if (app) {
            if (app->window) {
                sys::destroyWindow(app->window); // WM_DESTROY: sound closed, display restored
            }
            sys::Message m;
            while (sys::peekMessage(m)) {
            }
            for (int i = 0; i < app->timeline.count; ++i) {
                delete app->timeline.items[i];
            }
            app->timeline.releaseArray();
            unloadGl();
            delete app;
        }
        for (SearchPath::Node* n = searchPath.head; n; n = n->next) {
            delete n->source;
        }
        searchPath.clear();
        resetArchive();
        delete syncEnvelope;
        syncEnvelope = nullptr;
        sys::useVirtualCounter(nullptr);
        resetPlayerState();
        renderState.reset();
        cwd.reset();
        folder.reset();
        audio.reset();
        ForgedData::TearDown();
    }

    // Starts the player as runDevPlayer does, up to its message loop: the test runs the frames.
    void start(bool sound, float at = 0.0f, const char* rows = nullptr,
               const char* driver = "dummy") {
        audio.emplace("SDL_AUDIODRIVER", sound ? driver : "no-such-driver");
        applyDevSettings();
        app = new DevApplication;
        app->startAt = at;
        if (rows) {
            std::string error;
            ASSERT_TRUE(parseRowList(rows, scheduleRowCount, app->timeline.selection, error));
        }
        app->beforePresent = [this] {
            if (readPixels) {
                pixels = readBackBuffer(640, 480);
            }
        };
        app->createMainWindow(&devWindowProc);
        ASSERT_NE(app->context, nullptr);
        ASSERT_EQ(app->scheduleReady, 1);
        ASSERT_EQ(app->music.initialised, sound ? 1 : 0);
    }
    // A key through the window's queue, as the platform delivers it; paint requests are left
    // alone, the test runs frames itself.
    void press(unsigned key, bool shift = false) {
        sys::postMessage(app->window, sys::WM_KEYDOWN, key,
                         shift ? intptr_t{sys::keyFlagShift} : 0);
        sys::Message m;
        while (sys::peekMessage(m)) {
            if (m.message == sys::WM_KEYDOWN) {
                sys::dispatchMessage(m);
            }
        }
    }
    void advance(double seconds) { counter.now += static_cast<int64_t>(seconds * 1e6); }
    float timeNow() const { return demoClock.timeAt(counter.now, counter.frequency); }
    float keyTime(int k) const { return syncEnvelope->keys[k].time; }
    std::vector<unsigned char> frameAt() {
        readPixels = true;
        app->frame();
        readPixels = false;
        return pixels;
    }
};

// Pixels whose colour differs by more than a rounding step.
int differingPixels(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    int n = 0;
    for (size_t i = 0; i + 2 < a.size() && i + 2 < b.size(); i += 3) {
        if (std::abs(a[i] - b[i]) > 2 || std::abs(a[i + 1] - b[i + 1]) > 2 ||
            std::abs(a[i + 2] - b[i + 2]) > 2) {
            ++n;
        }
    }
    return n;
}

double meanLevelOf(const std::vector<unsigned char>& rgb) {
    double sum = 0;
    for (unsigned char v : rgb) {
        sum += v;
    }
    return rgb.empty() ? 0.0 : sum / static_cast<double>(rgb.size());
}

// Seeking without sound: the order stays 0, so the clock alone says where the demo is. Every
// step moves demo time by exactly the key's amount, and no frame moves it anywhere else.
TEST_F(DevTimelineTest, SeekPauseAndStepWithoutSoundOnAVirtualCounter) {
    start(false);
    app->frame();
    EXPECT_FLOAT_EQ(demoTime, 0.0f);
    advance(0.5);
    app->frame();
    float expected = 0.5f;
    EXPECT_FLOAT_EQ(demoTime, expected);

    struct Step {
        unsigned key;
        bool shift;
        float by;
    };
    // Forwards across order starts (4, 8, 12 ...), back across them, and single seconds.
    const Step script[] = {{sys::VK_RIGHT, true, 10}, {sys::VK_RIGHT, false, 1},
                           {sys::VK_RIGHT, true, 10}, {sys::VK_LEFT, false, 1},
                           {sys::VK_LEFT, true, 10},  {sys::VK_LEFT, false, 1},
                           {sys::VK_RIGHT, true, 10}, {sys::VK_RIGHT, true, 10}};
    for (const Step& s : script) {
        press(s.key, s.shift);
        expected += s.by * (s.key == sys::VK_LEFT ? -1.0f : 1.0f);
        EXPECT_FLOAT_EQ(timeNow(), expected);
        EXPECT_EQ(lastOrder, 0);
        advance(0.25);
        app->frame();
        expected += 0.25f;
        EXPECT_FLOAT_EQ(demoTime, expected);
    }

    // Before 0: held at 0, and time runs on from there.
    press(sys::VK_LEFT, true);
    press(sys::VK_LEFT, true);
    press(sys::VK_LEFT, true);
    press(sys::VK_LEFT, true);
    EXPECT_FLOAT_EQ(timeNow(), 0.0f);
    advance(0.1);
    app->frame();
    EXPECT_FLOAT_EQ(demoTime, 0.1f);

    // Pause: frames keep the time however far the counter moves; '.' and ',' step 1/60 s.
    press(sys::VK_SPACE);
    EXPECT_TRUE(demoClock.paused);
    advance(5.0);
    app->frame();
    EXPECT_FLOAT_EQ(demoTime, 0.1f);
    press(sys::VK_OEM_PERIOD);
    press(sys::VK_OEM_PERIOD);
    press(sys::VK_OEM_PERIOD);
    press(sys::VK_OEM_COMMA);
    advance(1.0);
    app->frame();
    EXPECT_NEAR(demoTime, 0.1f + 2.0f / 60.0f, 1e-5);
    // Stepping back past 0 stays at 0.
    for (int i = 0; i < 10; ++i) {
        press(sys::VK_OEM_COMMA);
    }
    EXPECT_FLOAT_EQ(timeNow(), 0.0f);
    // Seeking while paused moves the time and keeps it standing.
    press(sys::VK_RIGHT, true);
    press(sys::VK_RIGHT);
    advance(2.0);
    app->frame();
    EXPECT_FLOAT_EQ(demoTime, 11.0f);
    // Resumed, time runs on from there; '.' and ',' do nothing while playing.
    press(sys::VK_SPACE);
    EXPECT_FALSE(demoClock.paused);
    advance(0.5);
    press(sys::VK_OEM_PERIOD);
    press(sys::VK_OEM_COMMA);
    app->frame();
    EXPECT_FLOAT_EQ(demoTime, 11.5f);

    // Past the end: held at the demo's end. Paused there, the last frame still renders; playing
    // on, the next frame ends the demo.
    press(sys::VK_SPACE);
    for (int i = 0; i < 20; ++i) {
        press(sys::VK_RIGHT, true);
    }
    EXPECT_FLOAT_EQ(timeNow(), demoLength);
    advance(3.0);
    EXPECT_EQ(exitCodeOf([&] { app->frame(); }), -1000);
    EXPECT_FLOAT_EQ(demoTime, demoLength);
    press(sys::VK_SPACE);
    advance(0.1);
    EXPECT_EQ(exitCodeOf([&] { app->frame(); }), 0);
}

// With sound, every seek puts the music where the pictures are: the order the sound library
// reports at once is the envelope's order for the new time, so the frame loop's order
// synchronisation sees no change and never re-bases the clock to that order's start. The song
// plays on in real time meanwhile, so every landing point is chosen at least half a second
// before the next order starts.
TEST_F(DevTimelineTest, SeeksWithSoundLandInsideOrdersBothWays) {
    start(true, 12.85f);
    ASSERT_GE(syncEnvelope->lastIndex, 10);
    app->frame();
    float expected = 12.85f;
    EXPECT_FLOAT_EQ(demoTime, expected);
    EXPECT_EQ(FMUSIC_GetOrder(app->music.song), demoClock.orderAt(expected));

    struct Step {
        unsigned key;
        bool shift;
        float by;
    };
    const Step script[] = {
        {sys::VK_RIGHT, false, 1}, // inside one order
        {sys::VK_RIGHT, true, 10}, // forwards across several order starts
        {sys::VK_LEFT, false, 1},  // back inside one order
        {sys::VK_LEFT, true, 10},  // back across several
        {sys::VK_LEFT, false, 1},  // back, landing just after an order's start
        {sys::VK_RIGHT, true, 10}, // forwards, landing just after an order's start
        {sys::VK_LEFT, true, 10},  // back again
        {sys::VK_LEFT, false, 1},  // back across one order start
    };
    int crossed = 0;
    for (const Step& s : script) {
        const int before = demoClock.orderAt(expected);
        press(s.key, s.shift);
        expected += s.by * (s.key == sys::VK_LEFT ? -1.0f : 1.0f);
        const int order = demoClock.orderAt(expected);
        crossed += order != before;
        ASSERT_GE(keyTime(order + 1) - expected, 0.5f) << "the script lands too near an order end";
        EXPECT_FLOAT_EQ(timeNow(), expected);
        EXPECT_EQ(lastOrder, order);
        EXPECT_EQ(FMUSIC_GetOrder(app->music.song), order) << "at " << expected;
        advance(0.05);
        app->frame();
        expected += 0.05f;
        EXPECT_FLOAT_EQ(demoTime, expected) << "the frame after the seek re-based the clock";
        EXPECT_GT(demoTime, keyTime(order) + 0.01f);
    }
    EXPECT_GE(crossed, 4);

    // Paused, the music stops where it is; a seek while paused moves both, and resuming plays
    // on from the paused time without re-basing.
    press(sys::VK_SPACE);
    EXPECT_TRUE(FMUSIC_GetPaused(app->music.song));
    press(sys::VK_RIGHT, true);
    expected += 10.0f;
    press(sys::VK_OEM_PERIOD);
    expected += frameStep;
    EXPECT_EQ(FMUSIC_GetOrder(app->music.song), demoClock.orderAt(expected));
    advance(4.0);
    app->frame();
    EXPECT_FLOAT_EQ(demoTime, expected);
    press(sys::VK_SPACE);
    EXPECT_FALSE(FMUSIC_GetPaused(app->music.song));
    EXPECT_EQ(FMUSIC_GetOrder(app->music.song), demoClock.orderAt(expected));
    advance(0.1);
    app->frame();
    EXPECT_FLOAT_EQ(demoTime, expected + 0.1f);
}

// Solo rows: at 80 s the dust layers (row 15) and the layered scene (row 16) are active. Drawn
// alone, row 15 gives another picture than both rows; the muted row is never called, so two
// frames of the solo row in a row give the same picture whatever was drawn before them.
TEST_F(DevTimelineTest, SoloRowsDrawOnlyThoseRows) {
    start(false, 80.0f);
    app->frame();
    press(sys::VK_SPACE);
    const std::vector<unsigned char> both = frameAt();
    ASSERT_EQ(both.size(), 640u * 480u * 3u);
    std::string error;
    ASSERT_TRUE(parseRowList("15", scheduleRowCount, app->timeline.selection, error));
    const std::vector<unsigned char> dust = frameAt();
    const std::vector<unsigned char> dustAgain = frameAt();
    ASSERT_TRUE(parseRowList("16", scheduleRowCount, app->timeline.selection, error));
    const std::vector<unsigned char> woah = frameAt();
    EXPECT_GT(differingPixels(both, dust), 640 * 480 / 20);
    EXPECT_GT(differingPixels(woah, dust), 640 * 480 / 20);
    EXPECT_EQ(differingPixels(dust, dustAgain), 0);
    EXPECT_GT(meanLevelOf(dust), 2.0);
    EXPECT_NE(app->statusLine(80.0f).find("16 Woah"), std::string::npos);
    EXPECT_EQ(app->statusLine(80.0f).find("15 Dust"), std::string::npos);
    EXPECT_NE(app->statusLine(80.0f).find("paused"), std::string::npos);
}

} // namespace
