// test_dev_overlay.cpp - what the development player draws over the picture and takes from it,
// headless on the virtual counter: F12's screenshots against the capture program's stills.
#include <gtest/gtest.h>

#include <filesystem>

#include "capture_test_support.h"
#include "dev_player_test_support.h"
#include "resources/png_writer.h"

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

} // namespace
