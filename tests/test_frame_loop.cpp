// test_frame_loop.cpp - demo time, order synchronisation, the end of the demo and the state one
// frame leaves to the next, through a recording GL table and a virtual counter.
#include <gtest/gtest.h>

#include <optional>

#include "app/application.h"
#include "gfx/text_overlay.h"
#include "gl_recorder.h"
#include "scene/track.h"
#include "test_support.h"
#include "timeline/part.h"

using namespace testing_support;

namespace {

struct TimeProbe : Part {
    std::vector<float> seen;
    void render(float localTime) override { seen.push_back(localTime); }
};

// An application whose window was never made: frames run against the recording table.
struct FrameFixture : ::testing::Test {
    std::optional<RecordingGl> gl;
    sys::VirtualCounter counter;
    Application* app = nullptr;
    ScalarTrack envelope;
    int order = 0;
    int presents = 0;
    TimeProbe probe;

    void SetUp() override {
        counter.frequency = 1000;
        counter.now = 5000;
        sys::useVirtualCounter(&counter);
        resetPlayerState();
        settings.showSetupDialog = 0;
        app = new Application; // loads the real GL library; the recorder goes over it
        gl.emplace();
        parseEnvelope(envelope, "mystified\nk 0 v 0\nk 12.5 v 1\nk 42 v 2\nk 60 v 3\n");
        demoClock.replaceSyncEnvelope(&envelope);
        app->counterFrequency = counter.frequency;
        app->overlay = new TextOverlay(builtinFont, 16, 1234, 640, 120);
        app->orderSource = [this] { return order; };
        app->beforePresent = [this] { ++presents; };
        app->timeline.append(&probe);
        app->scheduleReady = 1;
        gl->log().clear();
    }
    void TearDown() override {
        sys::useVirtualCounter(nullptr);
        resetPlayerState();
        app->timeline.releaseArray();
        delete app->overlay;
        delete app;
        gl.reset();
        unloadGl();
    }
    void at(double seconds) { counter.now = static_cast<int64_t>(seconds * counter.frequency); }
};

} // namespace

TEST_F(FrameFixture, FirstFrameStartsTheClockAndTimeIsCounterTime) {
    app->frame(); // music start at counter 5000
    EXPECT_FLOAT_EQ(demoTime, 0.0f);
    counter.now += 2500;
    app->frame();
    EXPECT_FLOAT_EQ(demoTime, 2.5f);
    ASSERT_EQ(probe.seen.size(), 2u);
    EXPECT_FLOAT_EQ(probe.seen[1], 2.5f);
}

TEST_F(FrameFixture, OrderChangeRebasesTheClockAtTheEnvelopeKey) {
    app->frame();
    counter.now += 7000; // 7 s in, whatever the demo time was
    order = 2;
    app->frame();
    EXPECT_FLOAT_EQ(demoTime, 42.0f);
    counter.now += 500;
    app->frame();
    EXPECT_FLOAT_EQ(demoTime, 42.5f);
    order = 99; // past the last key: the last key's time
    app->frame();
    EXPECT_FLOAT_EQ(demoTime, 60.0f);
    order = -4; // negative: key 0
    app->frame();
    EXPECT_FLOAT_EQ(demoTime, 0.0f);
    order = 1;
    counter.now += 100;
    app->frame();
    EXPECT_FLOAT_EQ(demoTime, 12.5f);
    // Jumping back to an earlier order simply runs earlier parts again.
    EXPECT_FLOAT_EQ(probe.seen.back(), 12.5f);
}

TEST_F(FrameFixture, DemoEndsAfter186Point5WithoutSwapping) {
    app->frame();
    counter.now = 5000 + 186500; // exactly 186.5: still a frame
    app->frame();
    EXPECT_FLOAT_EQ(demoTime, 186.5f);
    EXPECT_EQ(presents, 2);
    TextOverlay* overlay = app->overlay;
    counter.now += 1;
    const int code = exitCodeOf([&] { app->frame(); });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(presents, 2);           // no swap in the last frame
    EXPECT_EQ(app->overlay, nullptr); // the overlay was deleted
    (void)overlay;
}

TEST_F(FrameFixture, FrameLeavesOverlayStateForTheNextFrame) {
    app->frame();
    const GlLog& log = gl->log();
    const int clear = log.find("glClear(");
    const int bind = log.find("glBindTexture(3553, 1234)");
    const int colour = log.find("glColor3f(0.7, 0.2, 0)");
    ASSERT_GE(clear, 0);
    ASSERT_GT(bind, clear);
    ASSERT_GT(colour, bind);
    EXPECT_GE(log.find("glEnable(3553)", bind), 0); // GL_TEXTURE_2D
    EXPECT_GE(log.find("glEnable(3042)", bind), 0); // GL_BLEND
    EXPECT_GE(log.find("glOrtho(0, 640, 120, 0, -1, 1)"), 0);
    // The modelview matrix is pushed and popped once; the overlay's projection is loaded in
    // place and stays current for the next frame, so neither stack grows or underflows.
    EXPECT_EQ(log.count("glPushMatrix("), 1);
    EXPECT_EQ(log.count("glPopMatrix("), 1);
    const int lastMode = log.find("glMatrixMode(5888)", colour); // GL_MODELVIEW
    ASSERT_GT(lastMode, colour);
    EXPECT_GT(log.find("glPopMatrix(", colour), colour);
    EXPECT_EQ(log.calls.back(), "glEnable(2929)"); // depth test back on before the swap
}

TEST(WindowMessages, EscapeClosesAndOtherKeysDoNothing) {
    auto proc = [](sys::Window*, unsigned, uintptr_t, intptr_t) -> intptr_t { return 0; };
    sys::Window* w = sys::createWindow("test", 0, 0, 8, 8, proc, nullptr);
    sys::Message m;
    while (sys::peekMessage(m)) {
    }
    applicationWindowProc(w, sys::WM_KEYDOWN, 'A', 0);
    applicationWindowProc(w, sys::WM_KEYDOWN, sys::VK_UP, 0);
    EXPECT_FALSE(sys::peekMessage(m));
    applicationWindowProc(w, sys::WM_KEYDOWN, sys::VK_ESCAPE, 0);
    ASSERT_TRUE(sys::peekMessage(m));
    EXPECT_EQ(m.message, sys::WM_CLOSE);
    EXPECT_EQ(m.window, w);
    sys::destroyWindow(w);
}
