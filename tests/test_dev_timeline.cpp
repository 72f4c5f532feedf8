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
#include <memory>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>

#include <SDL.h>

#include "app/command_line.h"
#include "app/data_folder.h"
#include "app/dev_application.h"
#include "app/row_list.h"
#include "dev_player_test_support.h"
#include "effects/schedule.h"
#include "forge_test_support.h"
#include "gfx/gl_api.h"
#include "gfx/render_state.h"
#include "music/companion.h"
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
    const char* name() const override { return "Counting"; }
};
struct OtherPart : CountingPart {
    const char* name() const override { return "Other"; }
};

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
    clock.replaceSyncEnvelope(&envelope);
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

struct DevTimelineTest : DevPlayerFixture {
    std::optional<ScratchDir> folder;  // a copy of the data the test may change
    std::vector<unsigned char> pixels; // the last frame's picture
    bool readPixels = false;

    void SetUp() override {
        ForgedData::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        folder.emplace("devtime");
        std::filesystem::copy_file(archivePath(), folder->file("tir.val"));
        enterPlayerFolder(folder->path);
    }
    void TearDown() override {
        DevPlayerFixture::TearDown();
        folder.reset();
    }

    // Starts the player as runDevPlayer does, up to its message loop: the test runs the frames.
    // With sound, the music plays offline unless an SDL audio `driver` is named.
    void start(bool sound, float at = 0.0f, const char* rows = nullptr,
               const char* driver = nullptr) {
        audio.emplace("SDL_AUDIODRIVER", sound ? (driver ? driver : "dummy") : "no-such-driver");
        applyDevSettings();
        app = new DevApplication;
        if (sound && !driver) {
            app->soundOutput = offlineOutput;
        }
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
    float timeNow() const { return demoClock.timeAt(counter.now, counter.frequency); }
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
    EXPECT_EQ(std::string(sys::windowTitle(app->window)),
              "0.10 s | order 0 | 1 Beginning, 3 TitleSprites | paused");
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

// Up and Down move one order from the order the title bar shows, paused or playing, with
// sound: paused, the sound library hears nothing and reports its old order, which must not
// matter. Paused at the demo's end, Up leaves the demo there instead of ending it.
TEST_F(DevTimelineTest, UpAndDownMoveOneOrderFromTheOrderShownPausedOrPlaying) {
    start(true, 124.94f);
    app->frame();
    const int shown = demoClock.orderAt(124.94f);
    ASSERT_GT(shown, 2);
    ASSERT_LT(shown + 3, syncEnvelope->lastIndex);
    auto titleOrder = [&] {
        const std::string title = sys::windowTitle(app->window);
        return std::stoi(title.substr(title.find("| order ") + 8));
    };
    EXPECT_EQ(titleOrder(), shown);
    press(sys::VK_SPACE); // paused
    const struct {
        unsigned key;
        int order;
    } script[] = {{sys::VK_UP, shown + 1}, {sys::VK_UP, shown + 2},   {sys::VK_DOWN, shown + 1},
                  {sys::VK_DOWN, shown},   {sys::VK_DOWN, shown - 1}, {sys::VK_UP, shown}};
    for (const auto& step : script) {
        press(step.key);
        advance(0.5);
        app->frame();
        EXPECT_FLOAT_EQ(demoTime, keyTime(step.order)) << step.order;
        EXPECT_EQ(titleOrder(), step.order);
    }
    // Playing: the music comes back at the order shown and each key moves one from there.
    press(sys::VK_SPACE);
    advance(0.25);
    app->frame();
    EXPECT_FLOAT_EQ(demoTime, keyTime(shown) + 0.25f);
    EXPECT_EQ(FMUSIC_GetOrder(app->music.song), shown);
    press(sys::VK_UP);
    EXPECT_FLOAT_EQ(timeNow(), keyTime(shown + 1));
    EXPECT_EQ(FMUSIC_GetOrder(app->music.song), shown + 1);
    press(sys::VK_DOWN);
    press(sys::VK_DOWN);
    EXPECT_FLOAT_EQ(timeNow(), keyTime(shown - 1));

    // At the end, paused: Up holds the time at the end and the frame still renders; Down goes
    // to the start of the order before the one shown there.
    press(sys::VK_SPACE);
    for (int i = 0; i < 8; ++i) {
        press(sys::VK_RIGHT, true);
    }
    press(sys::VK_UP);
    press(sys::VK_UP);
    advance(1.0);
    EXPECT_EQ(exitCodeOf([&] { app->frame(); }), -1000);
    EXPECT_FLOAT_EQ(demoTime, demoLength);
    const int last = demoClock.orderAt(demoLength);
    press(sys::VK_DOWN);
    EXPECT_FLOAT_EQ(timeNow(), keyTime(last - 1));
    // Down at order 0 stays at its start.
    for (int i = 0; i <= last; ++i) {
        press(sys::VK_DOWN);
    }
    EXPECT_FLOAT_EQ(timeNow(), keyTime(0));
}

// With sound, every seek puts the music where the pictures are: the order the sound library
// reports at once is the envelope's order for the new time, so the frame loop's order
// synchronisation sees no change and never re-bases the clock to that order's start. The song
// plays on as the counter moves (50 ms after each seek), so every landing point is chosen at
// least half a second before the next order starts.
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

// Keys read before the first frame (the player reads them during its start-up pause) move the
// starting point; pause and the order jumps wait for the song to start.
TEST_F(DevTimelineTest, KeysBeforeTheFirstFrameMoveTheStart) {
    start(true);
    press(sys::VK_RIGHT, true);
    press(sys::VK_RIGHT, true);
    press(sys::VK_LEFT);
    press(sys::VK_SPACE);
    press(sys::VK_UP);
    EXPECT_FLOAT_EQ(app->startAt, 19.0f);
    app->frame();
    EXPECT_FLOAT_EQ(demoTime, 19.0f);
    EXPECT_FALSE(demoClock.paused);
    EXPECT_EQ(FMUSIC_GetOrder(app->music.song), demoClock.orderAt(19.0f));
    advance(0.1);
    app->frame();
    EXPECT_FLOAT_EQ(demoTime, 19.1f);
}

// The archive unpacked by `tirtool unpack` (upper-case names) is a folder of loose files the
// development player plays without the archive: every file the schedule loads is found whatever
// its case, and the credits at 120 s show.
TEST_F(DevTimelineTest, UnpackedArchivePlaysAsLooseFiles) {
    const std::string unpack =
        "'" + std::string(TIR_BIN_DIR) + "/tirtool' unpack tir.val . > unpack.log";
    ASSERT_EQ(std::system(unpack.c_str()), 0);
    ASSERT_TRUE(std::filesystem::exists("CREDIT0.JPG"));
    std::filesystem::remove("tir.val");
    testing::internal::CaptureStderr();
    locateData(DataChoices{true, {}});
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("playing the loose files there"), std::string::npos) << said;
    EXPECT_EQ(exitCodeOf([&] { start(false, 120.0f); }), -1000);
    ASSERT_NE(app, nullptr);
    app->frame();
    press(sys::VK_SPACE);
    const std::vector<unsigned char> credits = frameAt();
    EXPECT_GT(meanLevelOf(credits), 2.0);
    EXPECT_NE(app->statusLine(120.0f).find("17 Credits"), std::string::npos);
    dataArchivePath = "tir.val";
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

// ---------------------------------------------------------------------------------------------
// Reload

// The forged archive's entries with `name` given `data`, or left out when `data` is empty.
std::vector<ArchiveInput> entriesWith(const std::string& name,
                                      const std::vector<unsigned char>& data) {
    std::vector<ArchiveInput> entries = forgedEntries();
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (strcasecmp(it->name.c_str(), name.c_str()) == 0) {
            if (data.empty()) {
                entries.erase(it);
            } else {
                it->data = data;
            }
            return entries;
        }
    }
    ADD_FAILURE() << name << " is not in the forged archive";
    return entries;
}

std::vector<unsigned char> entryBytes(const std::vector<ArchiveInput>& entries,
                                      const std::string& name) {
    for (const ArchiveInput& e : entries) {
        if (strcasecmp(e.name.c_str(), name.c_str()) == 0) {
            return e.data;
        }
    }
    return {};
}

struct DevReloadTest : DevTimelineTest {
    // Puts a new tir.val in place the way a tool that writes a whole file does: written beside
    // it, then renamed over it.
    void replaceArchive(const std::vector<ArchiveInput>& entries) {
        std::string error;
        ASSERT_TRUE(writeArchive(folder->file("tir.val.new"), entries, error)) << error;
        std::filesystem::rename(folder->file("tir.val.new"), folder->file("tir.val"));
    }
    // Presses R and returns what it wrote on standard error.
    std::string reloadAndReport() {
        testing::internal::CaptureStderr();
        press('R');
        return testing::internal::GetCapturedStderr();
    }
    // Takes every queued message; true when one of them was a quit request.
    bool quitQueued() {
        bool quit = false;
        sys::Message m;
        while (sys::peekMessage(m)) {
            quit |= m.message == sys::WM_QUIT;
        }
        return quit;
    }
};

// The boxes (row 4) at 40 s, alone and paused. Their scene is replaced by another on disk:
// after R the next frame shows it, at the same demo time; the first scene put back and
// reloaded gives the first picture again.
TEST_F(DevReloadTest, AChangedSceneShowsAtTheNextFrame) {
    const std::vector<ArchiveInput> original = forgedEntries();
    const std::vector<unsigned char> energy = entryBytes(original, "energy.exp");
    ASSERT_FALSE(energy.empty());
    const std::vector<ArchiveInput> changed = entriesWith("boxical.exp", energy);
    start(false, 40.0f, "4");
    app->frame();
    press(sys::VK_SPACE);
    const std::vector<unsigned char> boxes = frameAt();
    ASSERT_GT(meanLevelOf(boxes), 1.0);
    const Part* oldPart = app->timeline.items[3];

    replaceArchive(changed);
    std::string report = reloadAndReport();
    EXPECT_TRUE(app->lastReloadFailure.empty()) << report;
    EXPECT_NE(report.find("reloaded"), std::string::npos) << report;
    EXPECT_EQ(app->timeline.count, scheduleRowCount);
    EXPECT_NE(app->timeline.items[3], oldPart);
    EXPECT_EQ(app->timeline.rowName(4), "Boxical");
    EXPECT_EQ(formatRowList(app->timeline.selection), "4"); // the selection stays
    const std::vector<unsigned char> other = frameAt();
    EXPECT_FLOAT_EQ(demoTime, 40.0f);
    EXPECT_GT(differingPixels(boxes, other), 640 * 480 / 50);

    replaceArchive(original);
    report = reloadAndReport();
    EXPECT_TRUE(app->lastReloadFailure.empty()) << report;
    EXPECT_EQ(differingPixels(boxes, frameAt()), 0);
    EXPECT_FALSE(quitQueued());
}

// Each kind of failure leaves the parts, the envelope and the picture as they were, says what
// failed on standard error, and leaves no quit request behind; the demo plays on, and a good
// archive reloads afterwards.
TEST_F(DevReloadTest, AFileThatFailsKeepsTheOldDataAndThePlayerRunsOn) {
    const std::vector<ArchiveInput> original = forgedEntries();
    std::vector<unsigned char> damagedScene = entryBytes(original, "boxical.exp");
    ASSERT_GT(damagedScene.size(), 200u);
    damagedScene.resize(damagedScene.size() / 3);
    struct Case {
        const char* what;
        std::vector<ArchiveInput> entries; // empty: the archive is damaged or missing
        const char* archiveBytes;          // the archive file's content, or null for none
        const char* said;                  // in the report
    };
    const Case cases[] = {
        {"a damaged scene", entriesWith("boxical.exp", damagedScene), nullptr, "damaged"},
        {"a missing scene", entriesWith("boxical.exp", {}), nullptr, "boxical.exp"},
        {"a missing picture", entriesWith("max_t4.jpg", {}), nullptr, "MAX_T4.JPG"},
        {"an envelope without keys",
         entriesWith("mystified.env", std::vector<unsigned char>{'x', '\n'}), nullptr, "no keys"},
        {"a damaged archive", {}, "not an archive at all", "not a TIR VAL archive"},
        {"no archive", {}, nullptr, "No archive file"},
    };

    start(false, 40.0f, "4");
    app->frame();
    press(sys::VK_SPACE);
    const std::vector<unsigned char> boxes = frameAt();
    const std::vector<Part*> parts(app->timeline.items, app->timeline.items + app->timeline.count);
    const ScalarTrack* envelope = syncEnvelope;

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.entries.empty()) {
            replaceArchive(c.entries);
        } else if (c.archiveBytes) {
            writeFile(folder->file("tir.val.new"), std::string(c.archiveBytes));
            std::filesystem::rename(folder->file("tir.val.new"), folder->file("tir.val"));
        } else {
            std::filesystem::remove(folder->file("tir.val"));
        }
        const std::string report = reloadAndReport();
        EXPECT_FALSE(app->lastReloadFailure.empty());
        EXPECT_NE(report.find("reload failed"), std::string::npos) << report;
        EXPECT_NE(report.find(c.said), std::string::npos) << report;
        EXPECT_FALSE(quitQueued());
        EXPECT_EQ(
            std::vector<Part*>(app->timeline.items, app->timeline.items + app->timeline.count),
            parts);
        EXPECT_EQ(syncEnvelope, envelope);
        EXPECT_EQ(differingPixels(boxes, frameAt()), 0);
    }

    // Playing on.
    press(sys::VK_SPACE);
    advance(0.5);
    app->frame();
    EXPECT_FLOAT_EQ(demoTime, 40.5f);
    replaceArchive(original);
    const std::string report = reloadAndReport();
    EXPECT_TRUE(app->lastReloadFailure.empty()) << report;
    EXPECT_NE(app->timeline.items[3], parts[3]);
}

// ---------------------------------------------------------------------------------------------
// Starting at a given time, heard through SDL's disk driver

// libopenmpt's own float render of `image` from `seconds`, in the 64-frame blocks the sound
// library renders.
std::vector<float> renderFrom(const std::vector<unsigned char>& image, double seconds,
                              int64_t frames) {
    std::vector<float> stereo(static_cast<size_t>(frames) * 2);
    openmpt_module* m = openmpt_module_create_from_memory2(
        image.data(), image.size(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (!m) {
        return {};
    }
    openmpt_module_set_repeat_count(m, -1);
    openmpt_module_set_position_seconds(m, seconds);
    for (int64_t at = 0; at < frames; at += 64) {
        const auto n = static_cast<size_t>(std::min<int64_t>(64, frames - at));
        openmpt_module_read_interleaved_float_stereo(m, 44100, n,
                                                     &stereo[static_cast<size_t>(at) * 2]);
    }
    openmpt_module_destroy(m);
    return stereo;
}

// The normalised correlation of `reference` with `heard` from frame `at` on (0 when `heard`
// is too short).
double correlation(const std::vector<float>& heard, int64_t at,
                   const std::vector<float>& reference) {
    if (at < 0 || static_cast<size_t>(at) * 2 + reference.size() > heard.size()) {
        return 0.0;
    }
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < reference.size(); ++i) {
        const double a = heard[static_cast<size_t>(at) * 2 + i];
        const double b = reference[i];
        ab += a * b;
        aa += a * a;
        bb += b * b;
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

// The best correlation of the first second after the first sounding frame with `reference`,
// over a few milliseconds either way (the file starts with the silence before the song).
double bestCorrelation(const std::vector<float>& heard, const std::vector<float>& reference,
                       int64_t& lag) {
    const int64_t start = firstSoundingFrame(heard) - firstSoundingFrame(reference);
    double best = -1.0;
    for (int64_t d = -256; d <= 256; ++d) {
        const double c = correlation(heard, start + d, reference);
        if (c > best) {
            best = c;
            lag = d;
        }
    }
    return best;
}

// The first frames' demo time, and the music the player mixed offline meanwhile, against
// libopenmpt's render of the loaded module from 100 s: the same samples, within one block.
TEST_F(DevTimelineTest, AtHundredStartsPicturesAndMusicThere) {
    start(true, 100.0f);
    const std::vector<unsigned char> image(app->music.moduleImage,
                                           app->music.moduleImage + app->music.moduleSize);
    app->frame();
    EXPECT_FLOAT_EQ(demoTime, 100.0f);
    // The music moves only as the counter does: frame by frame, demo time runs on from 100 s
    // within the order that holds it.
    const float nextKey = keyTime(demoClock.orderAt(100.0f) + 1);
    ASSERT_GT(nextKey, 100.0f + 3.5f / 60.0f);
    for (int i = 1; i <= 3; ++i) {
        advance(1.0 / 60);
        app->frame();
        EXPECT_NEAR(demoTime, 100.0f + static_cast<float>(i) / 60.0f, 1e-4f) << "frame " << i;
        EXPECT_EQ(lastOrder, demoClock.orderAt(100.0f));
    }
    advance(1.5);
    const std::vector<float> from100 = renderFrom(image, 100.0, 44100);
    ASSERT_FALSE(from100.empty());
    int64_t lag = 0;
    const double c = bestCorrelation(mixed, from100, lag);
    EXPECT_GT(c, 0.99) << "lag " << lag << " frames";
    EXPECT_LE(std::abs(lag), 64) << "frames";
    // The order holding 100 s started earlier: the music did not go back to its start.
    const float orderStart = keyTime(demoClock.orderAt(100.0f));
    ASSERT_LT(orderStart, 99.5f);
    int64_t otherLag = 0;
    EXPECT_LT(bestCorrelation(mixed, renderFrom(image, orderStart, 44100), otherLag), 0.5);
}

// What must meet real time: the program on a real audio device (SDL's disk driver), one run.
struct DevPlayerRealTime : DevTimelineTest {};

// The program itself, `devplayer --at 100` with SDL_AUDIODRIVER=disk, ended by an interrupt
// once over a second of the song reached the file: its audio matches the render from 100 s,
// and the status line of its first frame says 100 s.
TEST_F(DevPlayerRealTime, TheProgramStartedAtHundred) {
#ifndef TIR_BIN_DIR
    GTEST_SKIP() << "no program folder";
#else
    const std::string program = std::string(TIR_BIN_DIR) + "/devplayer";
    if (!std::filesystem::exists(program)) {
        GTEST_SKIP() << "devplayer is not built";
    }
    const std::string out = folder->file("out.raw");
    const std::string log = folder->file("stderr.txt");
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        // A sanitizer build's leak report would name the GL driver's allocations and change
        // the exit code; the in-process tests check our own.
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        if (!freopen(log.c_str(), "w", stderr)) {
            _exit(127);
        }
        execl(program.c_str(), program.c_str(), "--data", folder->path.c_str(), "--at", "100",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    // Whatever ends the test, the program does not outlive it.
    struct Child {
        pid_t pid;
        ~Child() {
            if (pid > 0) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
        }
    } child{pid};
    // The file holds silence until the song starts; then wait for 1.2 s of it.
    const auto t0 = std::chrono::steady_clock::now();
    std::vector<float> heard;
    while (std::chrono::steady_clock::now() - t0 < std::chrono::seconds(60)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const std::vector<unsigned char> raw = readFile(out);
        heard.assign(raw.size() / 4, 0.0f);
        if (!heard.empty()) {
            std::memcpy(heard.data(), raw.data(), heard.size() * 4);
        }
        const int64_t first = firstSoundingFrame(heard);
        if (first >= 0 && static_cast<int64_t>(heard.size() / 2) - first > 44100 * 6 / 5) {
            break;
        }
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            child.pid = 0;
            FAIL() << "devplayer ended early";
        }
    }
    kill(pid, SIGINT); // the window closes, and the exit code says it was interrupted
    int status = 0;
    waitpid(pid, &status, 0);
    child.pid = 0;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGINT) << status;

    const std::vector<unsigned char> text = readFile(log);
    const std::string err(text.begin(), text.end());
    const size_t line = err.find("devplayer: ");
    ASSERT_NE(line, std::string::npos) << err;
    const float shown = std::strtof(err.c_str() + line + 11, nullptr);
    EXPECT_NEAR(shown, 100.0f, 1.0f / 60.0f) << "within a frame: " << err.substr(line, 80);

    // The module as the player loads it: its samples restored from the companion.
    searchPath.add(std::make_unique<ArchiveSource>(folder->file("tir.val").c_str()));
    std::vector<unsigned char> image = entry("mystified.xm");
    const std::vector<unsigned char> companion = entry("mystified.m3d");
    ASSERT_FALSE(image.empty());
    if (!companion.empty()) {
        restoreSamplesInto(image.data(), image.size(), companion.data(), companion.size());
    }
    int64_t lag = 0;
    const double c = bestCorrelation(heard, renderFrom(image, 100.0, 44100), lag);
    std::printf("devplayer --at 100: correlation %.4f (lag %lld frames)\n", c,
                static_cast<long long>(lag));
    EXPECT_GT(c, 0.9);
#endif
}

// ---------------------------------------------------------------------------------------------
// The command line

TEST(DevPlayerOptions, AtAndRowsAreReadAndBadValuesRefused) {
    const PlayerProgram program = [] {
        PlayerProgram p{"devplayer", "test"};
        p.usage = devOptionUsage;
        p.options = devOptionHelp;
        p.takeOption = &takeDevOption;
        p.printMore = &printDevKeys;
        return p;
    }();
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), "devplayer");
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        const int code = handleCommandLine(program, static_cast<int>(argv.size()), argv.data());
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        return code;
    };
    devOptions.reset();
    EXPECT_EQ(run({"--at", "100", "--rows", "4-8,12"}), -1);
    EXPECT_FLOAT_EQ(devOptions.startAt, 100.0f);
    EXPECT_EQ(formatRowList(devOptions.rows), "4-8,12");
    EXPECT_EQ(run({"--at=186.5", "--rows=15"}), -1);
    EXPECT_FLOAT_EQ(devOptions.startAt, 186.5f);
    EXPECT_EQ(formatRowList(devOptions.rows), "15");
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"--at"},
                                               {"--at", "-1"},
                                               {"--at", "186.6"},
                                               {"--at", "ten"},
                                               {"--at", "1e99"},
                                               {"--at", "nan"},
                                               {"--at", "5s"},
                                               {"--rows", "0"},
                                               {"--rows", "23"},
                                               {"--rows"},
                                               {"--rows", "8-4"}}) {
        EXPECT_EQ(run(bad), 2) << bad[0] << " " << (bad.size() > 1 ? bad[1] : "");
    }
    devOptions.reset();
}

TEST(DevPlayerOptions, HelpListsEveryKeyAndOption) {
    char* buffer = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&buffer, &size);
    printDevKeys(out);
    std::fclose(out);
    const std::string keys(buffer, size);
    std::free(buffer);
    for (const char* key :
         {"Left", "Right", "Shift+Left", "Shift+Right", "Space", "Up", "Down", "Escape"}) {
        EXPECT_NE(keys.find(std::string("  ") + key + " "), std::string::npos) << key;
    }
    for (const char* key : {"  . ", "  , ", "  R "}) {
        EXPECT_NE(keys.find(key), std::string::npos) << key;
    }
    EXPECT_NE(std::string(devOptionHelp).find("--at SECONDS"), std::string::npos);
    EXPECT_NE(std::string(devOptionHelp).find("--rows LIST"), std::string::npos);
}

// The platform turns SDL's key events into the window's WM_KEYDOWN: the new keys' codes, and
// Shift in lParam, while the keys that had a meaning before keep their codes.
TEST(DevPlayerKeys, SdlKeysArriveAsVirtualKeysWithTheShiftState) {
    OffscreenGl gl;
    std::string error;
    ASSERT_TRUE(gl.open(16, 16, error)) << error;
    SDL_Window* native = SDL_GL_GetCurrentWindow();
    ASSERT_NE(native, nullptr);
    sys::Message m;
    while (sys::peekMessage(m)) {
    }
    struct Case {
        SDL_Keycode key;
        Uint16 mod;
        unsigned virtualKey;
        bool shift;
    };
    const Case cases[] = {
        {SDLK_LEFT, KMOD_NONE, sys::VK_LEFT, false},
        {SDLK_LEFT, KMOD_LSHIFT, sys::VK_LEFT, true},
        {SDLK_RIGHT, KMOD_RSHIFT, sys::VK_RIGHT, true},
        {SDLK_RIGHT, KMOD_NUM, sys::VK_RIGHT, false},
        {SDLK_SPACE, KMOD_NONE, sys::VK_SPACE, false},
        {SDLK_PERIOD, KMOD_NONE, sys::VK_OEM_PERIOD, false},
        {SDLK_COMMA, KMOD_NONE, sys::VK_OEM_COMMA, false},
        {SDLK_r, KMOD_NONE, 'R', false},
        {SDLK_r, KMOD_LSHIFT, 'R', true},
        {SDLK_UP, KMOD_NONE, sys::VK_UP, false},
        {SDLK_DOWN, KMOD_NONE, sys::VK_DOWN, false},
        {SDLK_ESCAPE, KMOD_NONE, sys::VK_ESCAPE, false},
        {SDLK_RETURN, KMOD_NONE, sys::VK_RETURN, false},
        {SDLK_F5, KMOD_NONE, 0xFF, false},
    };
    for (const Case& c : cases) {
        SDL_Event e{};
        e.type = SDL_KEYDOWN;
        e.key.windowID = SDL_GetWindowID(native);
        e.key.state = SDL_PRESSED;
        e.key.keysym.sym = c.key;
        e.key.keysym.mod = c.mod;
        ASSERT_EQ(SDL_PushEvent(&e), 1);
        bool found = false;
        while (sys::peekMessage(m)) {
            if (m.message == sys::WM_KEYDOWN) {
                found = true;
                EXPECT_EQ(m.wParam, c.virtualKey) << SDL_GetKeyName(c.key);
                EXPECT_EQ((m.lParam & sys::keyFlagShift) != 0, c.shift) << SDL_GetKeyName(c.key);
            }
        }
        EXPECT_TRUE(found) << SDL_GetKeyName(c.key);
    }
    gl.close();
}

} // namespace
