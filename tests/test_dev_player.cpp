// test_dev_player.cpp - the development player on the default data, headless: its fixed
// start-up, and the Up and Down arrows, injected into its window's queue, jumping through the
// music's orders with demo time following at once, with sound and with sound failed. Demo time
// runs on a virtual counter; only the sound library's own progress is waited for.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "dev_player_test_support.h"
#include "gfx/render_context.h"
#include "gfx/text_overlay.h"
#include "platform/fsound.h"

using namespace testing_support;

namespace {

struct DevPlayerTest : DevPlayerFixture {
    void SetUp() override {
        ForgedData::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        enterPlayerFolder(dir->path);
    }

    // With sound, the music plays offline; without, sound fails as when SDL has no such audio
    // driver.
    void start(bool sound) {
        audio.emplace("SDL_AUDIODRIVER", sound ? "dummy" : "no-such-driver");
        applyDevSettings();
        app = new DevApplication;
        if (sound) {
            app->soundOutput = offlineOutput;
        }
        app->createMainWindow(&devWindowProc);
        ASSERT_NE(app->context, nullptr);
        ASSERT_EQ(app->scheduleReady, 1);
    }
    float timeNow() const { return demoClock.update(counter.now, counter.frequency); }
};

} // namespace

TEST_F(DevPlayerTest, FixedStartUpAndOrderJumpsWithSound) {
    start(true);
    // 16-bit colour and depth, a 640 x 120 overlay, sound on the fixed output, and the two
    // seconds' pause (the virtual counter moved by exactly that much).
    EXPECT_EQ(app->context->colourBits, 16);
    EXPECT_EQ(app->context->depthBits, 16);
    EXPECT_EQ(app->overlay->width, 640);
    EXPECT_EQ(app->overlay->height, 120);
    EXPECT_EQ(sys::windowWidth(app->window), 640);
    EXPECT_EQ(sys::windowHeight(app->window), 480);
    ASSERT_EQ(app->music.initialised, 1);
    ASSERT_NE(app->music.song, nullptr);
    EXPECT_EQ(fsoundStatus().mixRate, 44100);
    EXPECT_EQ(counter.now, 2000000);
    ASSERT_GE(syncEnvelope->lastIndex, 7);

    app->frame(); // starts the song at order 0
    EXPECT_FLOAT_EQ(demoTime, keyTime(0));

    // Down at order 0 asks for order -1, which the song refuses; demo time goes back to key 0.
    advance(3.0);
    app->frame();
    EXPECT_FLOAT_EQ(demoTime, keyTime(0) + 3.0f);
    press(sys::VK_DOWN);
    EXPECT_FLOAT_EQ(timeNow(), keyTime(0));
    EXPECT_TRUE(heard(0));

    // Bring the song to order 5 and let a frame see it.
    ASSERT_TRUE(FMUSIC_SetOrder(app->music.song, 5));
    ASSERT_TRUE(heard(5));
    app->frame();
    EXPECT_EQ(lastOrder, 5);
    EXPECT_FLOAT_EQ(demoTime, keyTime(5));
    advance(1.5);

    // Up: order 6 and key 6's time at once, before any frame runs.
    ASSERT_NE(keyTime(6), keyTime(5) + 1.5f);
    press(sys::VK_UP);
    EXPECT_FLOAT_EQ(timeNow(), keyTime(6));
    EXPECT_TRUE(heard(6));
    // The jump is a seek: the music reports order 6 at once, so the frames that follow see no
    // order change and time runs on from key 6.
    advance(0.25);
    app->frame();
    EXPECT_EQ(lastOrder, 6);
    EXPECT_FLOAT_EQ(demoTime, keyTime(6) + 0.25f);
    advance(0.25);
    app->frame();
    EXPECT_FLOAT_EQ(demoTime, keyTime(6) + 0.5f);

    // Keys outside the key table do nothing; Escape closes the window.
    press('A');
    press(sys::VK_RETURN);
    press(0xFF);
    EXPECT_FLOAT_EQ(timeNow(), keyTime(6) + 0.5f);
    sys::postMessage(app->window, sys::WM_KEYDOWN, sys::VK_ESCAPE);
    bool closing = false;
    sys::Message m;
    while (sys::peekMessage(m)) {
        closing |= m.message == sys::WM_CLOSE;
        if (m.message == sys::WM_KEYDOWN) {
            sys::dispatchMessage(m);
        }
    }
    EXPECT_TRUE(closing);
}

TEST_F(DevPlayerTest, OrderJumpsWithSoundFailedRunOnTheCounter) {
    start(false);
    EXPECT_EQ(app->music.initialised, 0);
    EXPECT_EQ(app->music.song, nullptr);
    app->frame();
    advance(1.0);
    app->frame();
    EXPECT_FLOAT_EQ(demoTime, keyTime(0) + 1.0f);

    // From order 0, Up gives key 1's time; the next frames read order 0 again, which is no
    // change, so that time keeps running.
    press(sys::VK_UP);
    EXPECT_FLOAT_EQ(timeNow(), keyTime(1));
    advance(0.25);
    app->frame();
    EXPECT_FLOAT_EQ(demoTime, keyTime(1) + 0.25f);
    advance(0.25);
    app->frame();
    EXPECT_FLOAT_EQ(demoTime, keyTime(1) + 0.5f);
    EXPECT_EQ(lastOrder, 0);

    // Each key moves one order from the order shown (the envelope's order for the time),
    // whatever the silent music says: Up gives key 2, Down key 1, then key 0, where it stays.
    press(sys::VK_UP);
    EXPECT_FLOAT_EQ(timeNow(), keyTime(2));
    press(sys::VK_DOWN);
    EXPECT_FLOAT_EQ(timeNow(), keyTime(1));
    press(sys::VK_DOWN);
    press(sys::VK_DOWN);
    EXPECT_FLOAT_EQ(timeNow(), keyTime(0));
}
