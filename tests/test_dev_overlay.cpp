// test_dev_overlay.cpp - what the development player draws over the picture and takes from it,
// headless on the virtual counter: the timeline (Tab) hidden and shown, its cursor, its rows'
// colours, seeking with the mouse through the platform's messages, its frame times; and F12's
// screenshots against the capture program's stills.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>

#include "capture_test_support.h"
#include "dev_player_test_support.h"
#include "resources/png_writer.h"
#include "scene/track.h"
#include "timeline/part.h"

#include <SDL.h>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

struct DevScreenshotTest : DevFolderFixture {
    void TearDown() override {
        screenshotWriter = nullptr;
        DevFolderFixture::TearDown();
    }
};

// F12 at three paused moments writes shot-SSS.sss.png into the data folder and says where; each
// matches the capture program's still of the same demo time within the golden frames'
// tolerance. Without a writer (a web page) it says that it writes none.
TEST_F(DevScreenshotTest, F12WritesWhatCaptureDrawsAtThatTime) {
    screenshotWriter = &writePng;
    start(false);
    app->frame();
    press(sys::VK_SPACE);
    press(sys::VK_TAB); // the timeline is shown, and stays out of the shots
    const float times[] = {11.0f, 40.0f, 80.0f};
    for (float t : times) {
        app->seekTo(t);
        app->frame(); // a paused frame before the shot, as a person sees it before pressing F12
        testing::internal::CaptureStderr();
        press(sys::VK_F12);
        app->frame();
        const std::string said = testing::internal::GetCapturedStderr();
        char name[32];
        std::snprintf(name, sizeof name, "shot-%07.3f.png", static_cast<double>(t));
        EXPECT_NE(said.find("screenshot " + folder->file(name)), std::string::npos) << said;
        EXPECT_EQ(app->lastScreenshot, folder->file(name));
        app->frame();
        EXPECT_NE(
            std::string(sys::windowTitle(app->window)).find(std::string("screenshot ") + name),
            std::string::npos);
    }

    ScratchDir work("shots");
    const ToolRun r = runCaptureTool(work, "--data '" + folder->path.string() +
                                               "' --size 640x480 --at 11,40,80 --out stills");
    ASSERT_EQ(r.code, 0) << r.err;
    for (float t : times) {
        SCOPED_TRACE(t);
        char shot[32], still[32];
        std::snprintf(shot, sizeof shot, "shot-%07.3f.png", static_cast<double>(t));
        std::snprintf(still, sizeof still, "at-%07.3f.png", static_cast<double>(t));
        int sw = 0, sh = 0, cw = 0, ch = 0;
        const auto fromPlayer = readRgbPng(folder->file(shot), sw, sh);
        const auto fromCapture = readRgbPng(work.file(std::string("stills/") + still), cw, ch);
        ASSERT_EQ(sw, 640);
        ASSERT_EQ(sh, 480);
        ASSERT_EQ(cw, 640);
        ASSERT_EQ(ch, 480);
        ASSERT_GT(meanLevel(fromPlayer), 2.0);
        const GoldenDifference d = comparePictures(fromPlayer, fromCapture);
        EXPECT_TRUE(withinGoldenTolerance(d.changed, 640, 480))
            << d.changed << " pixels changed, the largest step " << d.largest;
    }

    screenshotWriter = nullptr;
    testing::internal::CaptureStderr();
    press(sys::VK_F12);
    app->frame();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("writes no screenshots"),
              std::string::npos);
}

// In full screen on a screen larger than the picture, the shot is the picture as the screen
// shows it: the viewport, scaled up and fitted.
TEST_F(DevScreenshotTest, FullScreenShotsAreThePictureAsShown) {
    screenshotWriter = &writePng;
    devOptions.startAt = 40.0f;
    start(false, true);
    app->frame();
    press(sys::VK_SPACE);
    GLint view[4] = {};
    glGetIntegerv(GL_VIEWPORT, view);
    testing::internal::CaptureStderr();
    press(sys::VK_F12);
    app->frame();
    testing::internal::GetCapturedStderr();
    int w = 0, h = 0;
    const auto shot = readRgbPng(folder->file("shot-040.000.png"), w, h);
    EXPECT_EQ(w, view[2]);
    EXPECT_EQ(h, view[3]);
    EXPECT_EQ(w * 3, h * 4);
    EXPECT_GT(meanLevel(shot), 2.0);
}

// ---------------------------------------------------------------------------------------------
// The timeline

struct DevTimelineOverlayTest : DevFolderFixture {
    // The colour at picture pixel (x, y) of the last frame read.
    const unsigned char* at(int x, int y) const { return &pixels[(y * 640 + x) * 3]; }
    // The columns of row y whose pixel is the cursor's colour.
    std::vector<int> cursorColumns(int y) const {
        std::vector<int> columns;
        for (int x = 0; x < 640; ++x) {
            const unsigned char* p = at(x, y);
            if (p[0] > 240 && p[1] > 35 && p[1] < 70 && p[2] > 35 && p[2] < 70) {
                columns.push_back(x);
            }
        }
        return columns;
    }
    // The mean luminance of a row's bar.
    double barLevel(int row, const Part* part) const {
        const TimelineLayout l = app->layout();
        const int x0 = static_cast<int>(l.xOf(part->start)) + 1;
        const int x1 = static_cast<int>(l.xOf(part->end)) - 1;
        const int y0 = static_cast<int>(l.rowTop(row));
        double sum = 0;
        int n = 0;
        for (int y = y0; y < y0 + static_cast<int>(l.barHeight); ++y) {
            for (int x = x0; x < x1; ++x) {
                const unsigned char* p = at(x, y);
                sum += 0.3 * p[0] + 0.59 * p[1] + 0.11 * p[2];
                ++n;
            }
        }
        return n ? sum / n : 0.0;
    }
};

// Hidden, the timeline leaves no trace: a frame is byte for byte the frame drawn without the
// development player's drawing over the picture at all, also after it was shown. Shown, it
// covers the bottom of the picture only, and the frames after it start from the state they
// would have had without it.
TEST_F(DevTimelineOverlayTest, HiddenLeavesNoTraceAndShownCoversOnlyTheBottom) {
    devOptions.startAt = 40.0f;
    start(false);
    app->frame();
    press(sys::VK_SPACE);
    const std::function<void(float)> feature = app->overPicture;
    app->overPicture = nullptr;
    frameAt();
    const std::vector<unsigned char> without = frameAt();
    app->overPicture = feature;
    EXPECT_EQ(frameAt(), without) << "hidden";

    press(sys::VK_TAB);
    const std::vector<unsigned char> shown = frameAt();
    const std::vector<unsigned char> shownAgain = frameAt();
    EXPECT_EQ(app->timelineView.rebuilds(), 1) << "the rows are drawn once while none changes";
    const int top = static_cast<int>(app->layout().top);
    ASSERT_GT(top, 200);
    const size_t above = static_cast<size_t>(top) * 640 * 3;
    EXPECT_TRUE(std::equal(shown.begin(), shown.begin() + above, without.begin()));
    EXPECT_TRUE(std::equal(shownAgain.begin(), shownAgain.begin() + above, without.begin()));
    EXPECT_GT(comparePictures(std::vector<unsigned char>(shown.begin() + above, shown.end()),
                              std::vector<unsigned char>(without.begin() + above, without.end()))
                  .changed,
              640 * 20);

    press(sys::VK_TAB);
    EXPECT_EQ(frameAt(), without) << "hidden again";

    // A row that lights up draws the rows anew; the next frames keep them.
    press(sys::VK_TAB);
    app->seekTo(80.0f);
    frameAt();
    frameAt();
    EXPECT_EQ(app->timelineView.rebuilds(), 2);
}

// The cursor's column is the axis column of the demo time, and moves right by the axis's
// pixels per second (624 pixels for 186.5 s) as the demo time moves, paused or playing.
TEST_F(DevTimelineOverlayTest, TheCursorMovesByThePixelsPerSecondOfTheAxis) {
    devOptions.startAt = 50.0f;
    start(false);
    app->frame();
    press(sys::VK_TAB);
    const TimelineLayout l = app->layout();
    const double pixelsPerSecond = (l.right - l.left) / demoLength;
    EXPECT_NEAR(pixelsPerSecond, 624.0 / 186.5, 1e-6);
    const int y = static_cast<int>(l.top) + 2; // the margin above the rows: only the cursor
    frameAt();
    const std::vector<int> at50 = cursorColumns(y);
    ASSERT_EQ(at50.size(), 1u);
    EXPECT_EQ(at50[0], static_cast<int>(std::floor(l.xOf(50.0f))));
    for (double seconds : {1.0, 10.0, 35.5}) {
        const float before = timeNow();
        const int from = cursorColumns(y).at(0);
        advance(seconds);
        frameAt();
        const std::vector<int> now = cursorColumns(y);
        ASSERT_EQ(now.size(), 1u);
        EXPECT_NEAR(now[0] - from, seconds * pixelsPerSecond, 1.0) << "after " << seconds << " s";
        EXPECT_EQ(now[0],
                  static_cast<int>(std::floor(l.xOf(before + static_cast<float>(seconds)))));
    }
    press(sys::VK_SPACE);
    app->seekTo(0.0f);
    frameAt();
    EXPECT_EQ(cursorColumns(y), std::vector<int>{static_cast<int>(l.left)});
    app->seekTo(demoLength);
    frameAt();
    EXPECT_EQ(cursorColumns(y), std::vector<int>{static_cast<int>(l.right)});
}

// At 80 s with --rows 1-15: the dust layers (row 15) are drawn and active, the layered scene
// (row 16) is active but muted, the opening scene (row 1) drawn but idle. Lit bars are the
// brightest, muted ones the dimmest.
TEST_F(DevTimelineOverlayTest, MutedRowsAreDimmerThanActiveAndIdleOnes) {
    devOptions.startAt = 80.0f;
    devOptions.rows = rowsOf("1-15");
    start(false);
    app->frame();
    press(sys::VK_TAB);
    frameAt();
    Part* const* parts = app->timeline.items;
    ASSERT_TRUE(80.0f >= parts[14]->start && 80.0f <= parts[14]->end);
    ASSERT_TRUE(80.0f >= parts[15]->start && 80.0f <= parts[15]->end);
    ASSERT_FALSE(80.0f >= parts[0]->start && 80.0f <= parts[0]->end);
    const double active = barLevel(15, parts[14]);
    const double muted = barLevel(16, parts[15]);
    const double idle = barLevel(1, parts[0]);
    EXPECT_GT(active, idle + 40.0);
    EXPECT_GT(idle, muted + 25.0);
    EXPECT_LT(muted, 60.0);
}

// The mouse through the window's queue, as the platform delivers it: a click at 75 % of the
// axis seeks to 139.9 s within one pixel's worth of time, paused or playing; a drag scrubs
// while paused and does nothing more while playing; a click off the timeline, or with the
// timeline hidden, does nothing.
TEST_F(DevTimelineOverlayTest, AClickSeeksAndADragScrubsWhilePaused) {
    devOptions.startAt = 10.0f;
    start(false);
    app->frame();
    const TimelineLayout l = app->layout();
    const double pixel = demoLength / (l.right - l.left);
    const int rowY = static_cast<int>(l.rowTop(5)) + 3;
    const int at75 = static_cast<int>(l.left + 0.75f * (l.right - l.left));
    auto xAt = [&](double share) { return static_cast<int>(l.left + share * (l.right - l.left)); };

    mouse(sys::WM_LBUTTONDOWN, at75, rowY, true); // hidden: nothing
    mouse(sys::WM_LBUTTONUP, at75, rowY, false);
    EXPECT_FLOAT_EQ(timeNow(), 10.0f);

    press(sys::VK_TAB);
    mouse(sys::WM_LBUTTONDOWN, at75, static_cast<int>(l.top) - 10, true); // above it
    mouse(sys::WM_LBUTTONUP, at75, static_cast<int>(l.top) - 10, false);
    EXPECT_FLOAT_EQ(timeNow(), 10.0f);

    mouse(sys::WM_LBUTTONDOWN, at75, rowY, true);
    EXPECT_NEAR(timeNow(), 139.9, pixel);
    EXPECT_NEAR(timeNow(), 0.75 * demoLength, pixel);
    // Playing: moving with the button held does not drag the music along.
    mouse(sys::WM_MOUSEMOVE, xAt(0.5), rowY, true);
    EXPECT_NEAR(timeNow(), 139.9, pixel);
    mouse(sys::WM_LBUTTONUP, xAt(0.5), rowY, false);
    advance(0.5);
    app->frame();
    EXPECT_NEAR(demoTime, 139.9 + 0.5, pixel);

    // Paused: a drag scrubs, over the end of the axis too; once released, moves do nothing.
    press(sys::VK_SPACE);
    mouse(sys::WM_LBUTTONDOWN, xAt(0.25), static_cast<int>(l.axisY), true);
    EXPECT_NEAR(timeNow(), 0.25 * demoLength, pixel);
    for (double share : {0.3, 0.5, 0.9}) {
        mouse(sys::WM_MOUSEMOVE, xAt(share), rowY, true);
        EXPECT_NEAR(timeNow(), share * demoLength, pixel) << share;
    }
    mouse(sys::WM_MOUSEMOVE, static_cast<int>(l.right) + 40, 10, true);
    EXPECT_FLOAT_EQ(timeNow(), demoLength);
    mouse(sys::WM_MOUSEMOVE, -30, 10, true);
    EXPECT_FLOAT_EQ(timeNow(), 0.0f);
    mouse(sys::WM_LBUTTONUP, xAt(0.4), rowY, false);
    mouse(sys::WM_MOUSEMOVE, xAt(0.6), rowY, true); // held again, but the drag began nowhere
    EXPECT_FLOAT_EQ(timeNow(), 0.0f);
    advance(1.0);
    app->frame();
    EXPECT_FLOAT_EQ(demoTime, 0.0f);
}

// In full screen on the headless driver's larger screen the picture is scaled up to fit, and a
// click the window system reports in the screen's pixels arrives in the picture's own: the
// click at 75 % of the axis as the screen shows it still seeks to 139.9 s.
TEST_F(DevTimelineOverlayTest, InFullScreenClicksArriveInThePicturesPixels) {
    devOptions.startAt = 10.0f;
    start(false, true);
    app->frame();
    press(sys::VK_TAB);
    SDL_Window* native = SDL_GL_GetCurrentWindow();
    ASSERT_NE(native, nullptr);
    int ww = 0, wh = 0;
    SDL_GetWindowSize(native, &ww, &wh);
    if (ww * 3 != wh * 4) {
        GTEST_SKIP() << "the headless screen is " << ww << " x " << wh << ", not 4:3";
    }
    ASSERT_GT(ww, 640);
    const TimelineLayout l = app->layout();
    const double scale = ww / 640.0;
    const double x = (l.left + 0.75 * (l.right - l.left)) * scale;
    const double y = (l.rowTop(5) + 3) * scale;
    SDL_Event e{};
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.windowID = SDL_GetWindowID(native);
    e.button.button = SDL_BUTTON_LEFT;
    e.button.x = static_cast<int>(x);
    e.button.y = static_cast<int>(y);
    ASSERT_EQ(SDL_PushEvent(&e), 1);
    sys::Message m;
    while (sys::peekMessage(m)) {
        if (m.message != sys::WM_PAINT) {
            sys::dispatchMessage(m);
        }
    }
    EXPECT_NEAR(timeNow(), 139.9, demoLength / (l.right - l.left));
}

// The frame times the graph shows: the last 120 frames' counter intervals, and the frame rate
// over them.
TEST(DevFrameTimes, TheLastHundredAndTwentyFramesAndTheirRate) {
    FrameTimes frames;
    EXPECT_EQ(frames.count(), 0);
    EXPECT_EQ(frames.framesPerSecond(), 0.0);
    for (int i = 0; i < 100; ++i) {
        frames.add(0.05);
    }
    EXPECT_EQ(frames.count(), 100);
    EXPECT_NEAR(frames.framesPerSecond(), 20.0, 1e-9);
    for (int i = 0; i < 120; ++i) {
        frames.add(i < 60 ? 1.0 / 60 : 1.0 / 30);
    }
    EXPECT_EQ(frames.count(), 120);
    EXPECT_DOUBLE_EQ(frames.at(0), 1.0 / 60);
    EXPECT_DOUBLE_EQ(frames.at(119), 1.0 / 30);
    EXPECT_NEAR(frames.framesPerSecond(), 40.0, 1e-9); // 120 frames in 3 s
}

// The player's frames feed the graph from the counter: a frame that took longer shows in it.
TEST_F(DevTimelineOverlayTest, FramesAreTimedOnTheCounter) {
    start(false);
    app->frame();
    for (int i = 0; i < 130; ++i) {
        advance(i == 129 ? 0.1 : 0.02);
        app->frame();
    }
    ASSERT_EQ(app->frameTimes.count(), FrameTimes::capacity);
    EXPECT_NEAR(app->frameTimes.at(118), 0.02, 1e-9);
    EXPECT_NEAR(app->frameTimes.at(119), 0.1, 1e-9);
    EXPECT_NEAR(app->frameTimes.framesPerSecond(), 120.0 / (119 * 0.02 + 0.1), 1e-6);
}

// The platform turns SDL's mouse events into the window's mouse messages in the picture's own
// pixels, with the button's state, and brings Tab and F12 as their virtual keys.
TEST(DevPlayerKeys, SdlMouseEventsAndTheNewKeysArriveAsWindowMessages) {
    OffscreenGl gl;
    std::string error;
    ASSERT_TRUE(gl.open(64, 48, error)) << error;
    SDL_Window* native = SDL_GL_GetCurrentWindow();
    ASSERT_NE(native, nullptr);
    sys::Message m;
    while (sys::peekMessage(m)) {
    }
    auto push = [&](SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1); };
    SDL_Event down{};
    down.type = SDL_MOUSEBUTTONDOWN;
    down.button.windowID = SDL_GetWindowID(native);
    down.button.button = SDL_BUTTON_LEFT;
    down.button.x = 48;
    down.button.y = 12;
    push(down);
    SDL_Event right = down;
    right.button.button = SDL_BUTTON_RIGHT;
    push(right);
    // Three moves before anyone looks: only the last one is kept.
    for (int x : {10, 20, 30}) {
        SDL_Event move{};
        move.type = SDL_MOUSEMOTION;
        move.motion.windowID = SDL_GetWindowID(native);
        move.motion.state = SDL_BUTTON_LMASK;
        move.motion.x = x;
        move.motion.y = 40;
        push(move);
    }
    SDL_Event up = down;
    up.type = SDL_MOUSEBUTTONUP;
    up.button.x = 63;
    up.button.y = 47;
    push(up);
    for (SDL_Keycode key : {SDLK_TAB, SDLK_F12}) {
        SDL_Event k{};
        k.type = SDL_KEYDOWN;
        k.key.windowID = SDL_GetWindowID(native);
        k.key.keysym.sym = key;
        push(k);
    }
    std::vector<sys::Message> got;
    while (sys::peekMessage(m)) {
        if (m.message != sys::WM_PAINT) {
            got.push_back(m);
        }
    }
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[0].message, sys::WM_LBUTTONDOWN);
    EXPECT_EQ(got[0].wParam, sys::mouseLeftHeld);
    EXPECT_EQ(sys::mouseX(got[0].lParam), 48);
    EXPECT_EQ(sys::mouseY(got[0].lParam), 12);
    EXPECT_EQ(got[1].message, sys::WM_MOUSEMOVE);
    EXPECT_EQ(got[1].wParam, sys::mouseLeftHeld);
    EXPECT_EQ(sys::mouseX(got[1].lParam), 30);
    EXPECT_EQ(sys::mouseY(got[1].lParam), 40);
    EXPECT_EQ(got[2].message, sys::WM_LBUTTONUP);
    EXPECT_EQ(got[2].wParam, 0u);
    EXPECT_EQ(sys::mouseX(got[2].lParam), 63);
    EXPECT_EQ(sys::mouseY(got[2].lParam), 47);
    EXPECT_EQ(got[3].message, sys::WM_KEYDOWN);
    EXPECT_EQ(got[3].wParam, sys::VK_TAB);
    EXPECT_EQ(got[4].wParam, sys::VK_F12);
    // Points off the picture keep their sign.
    EXPECT_EQ(sys::mouseX(sys::mousePosition(-30, -2)), -30);
    EXPECT_EQ(sys::mouseY(sys::mousePosition(-30, -2)), -2);
    gl.close();
}

// ---------------------------------------------------------------------------------------------
// Envelopes plotted over the axis

// A scalar envelope whose curve rises and falls gently (less than a pixel per column), so each
// column of the curve is a pixel or two.
constexpr const char* gentle =
    "gentle\nkey 10 value 0\nkey 60 value 1\nkey 120 value 0.25\nkey 180 value 0.75\n";
constexpr const char* gentleAgain =
    "gentle\nkey 10 value 1\nkey 60 value 0\nkey 120 value 0.75\nkey 180 value 0.25\n";

struct DevPlotTest : DevTimelineOverlayTest {
    // The rows of column x inside the plot band whose pixel is the first plot's colour.
    std::vector<int> curveRows(int x) const {
        const TimelineLayout l = app->layout();
        std::vector<int> rows;
        for (int y = static_cast<int>(l.plotTop); y < static_cast<int>(l.plotBottom); ++y) {
            const unsigned char* p = at(x, y);
            if (p[0] > 80 && p[0] < 100 && p[1] > 245 && p[2] > 105 && p[2] < 125) {
                rows.push_back(y);
            }
        }
        return rows;
    }
    // Checks, for the envelope `text`, that the curve's pixel in the column of each of `times`
    // lies where the envelope's value there puts it in the band: its range over the keys'
    // span mapped onto the band's height.
    void expectCurveFollows(const char* text, std::initializer_list<float> times) {
        ScalarTrack envelope;
        parseEnvelope(envelope, text);
        const TimelineLayout l = app->layout();
        float low = 1e9f, high = -1e9f;
        for (int x = static_cast<int>(std::ceil(l.xOf(envelope.keys[0].time) - 0.5f));
             x <=
             static_cast<int>(std::floor(l.xOf(envelope.keys[envelope.lastIndex].time) - 0.5f));
             ++x) {
            const float v = evaluate(envelope, l.timeAt(x));
            low = std::min(low, v);
            high = std::max(high, v);
        }
        for (float t : times) {
            const int x = static_cast<int>(std::floor(l.xOf(t)));
            const float value = evaluate(envelope, l.timeAt(x));
            // The band's height holds the range, its lowest value 2 pixels above the bottom.
            const float expected = l.plotBottom - 2.0f -
                                   (value - low) / (high - low) * (l.plotBottom - l.plotTop - 3.0f);
            const std::vector<int> rows = curveRows(x);
            ASSERT_FALSE(rows.empty()) << "no curve at " << t << " s";
            EXPECT_LE(rows.size(), 2u) << t;
            EXPECT_NEAR(rows.front(), std::floor(expected), 1.0)
                << "value " << value << " at " << t;
        }
    }
};

// --plot of a scalar envelope in the loose folder: its curve's height at 25, 45 and 90 s is the
// envelope's value there; the label gives the value at the cursor; R after the file changed
// draws the new curve. A missing envelope draws none and says so; a vector envelope has three.
TEST_F(DevPlotTest, TheCurveFollowsTheEnvelopeAndReloadRedrawsIt) {
    writeFile(loose + "gentle.env", gentle);
    devOptions.looseFolder = loose;
    devOptions.startAt = 5.0f;
    devOptions.plots = {"gentle.env", "missing.env", "bubble.env"};
    testing::internal::CaptureStderr();
    start(false);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("--plot missing.env: no such file"),
              std::string::npos);
    app->frame();
    press(sys::VK_SPACE);
    press(sys::VK_TAB);
    app->seekTo(175.0f); // the cursor and the values beside it far from the columns looked at
    ASSERT_EQ(app->plotted.size(), 3u);
    EXPECT_EQ(app->plotted[0].components(), 1);
    EXPECT_EQ(app->plotted[1].components(), 0);
    EXPECT_EQ(app->plotted[2].components(), 3);
    const TimelineLayout l = app->layout();
    EXPECT_GT(l.plotBottom - l.plotTop, 40.0f);
    EXPECT_LT(l.top, timelineLayout(640, 480, scheduleRowCount, false, demoLength).top);
    frameAt();
    expectCurveFollows(gentle, {25.0f, 45.0f, 90.0f});
    // Before the first key and after the last, no curve.
    EXPECT_TRUE(curveRows(static_cast<int>(l.xOf(5.0f)) + 3).empty());
    EXPECT_TRUE(curveRows(static_cast<int>(l.xOf(184.0f))).empty());

    EXPECT_EQ(plotLabel(app->plotted[0], 60.0f), "gentle.env 1.000");
    EXPECT_EQ(plotLabel(app->plotted[1], 60.0f), "missing.env: no such file");
    const std::string vectorLabel = plotLabel(app->plotted[2], 60.0f);
    EXPECT_EQ(std::count(vectorLabel.begin(), vectorLabel.end(), ' '), 3) << vectorLabel;

    writeFile(loose + "gentle.env", gentleAgain);
    app->seekTo(175.0f);
    testing::internal::CaptureStderr();
    press('R');
    testing::internal::GetCapturedStderr();
    frameAt();
    expectCurveFollows(gentleAgain, {25.0f, 45.0f, 90.0f});
    EXPECT_EQ(plotLabel(app->plotted[0], 60.0f), "gentle.env 0.000");
}

} // namespace
