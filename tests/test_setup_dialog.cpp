// test_setup_dialog.cpp - the setup dialog without a display: what its init and command
// handlers write into the settings, the keyboard and mouse rules that lead there, and the
// picture the window shows, read back from the platform's drawing.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/setup_dialog.h"
#include "music/music_player.h"
#include "platform/fsound.h"
#include "platform/platform.h"
#include "test_support.h"

using namespace testing_support;

namespace {

struct SetupDialogTest : ::testing::Test {
    MusicPlayer music;
    sys::Dialog dialog{setupDialogTemplate, &setupDialogProc, reinterpret_cast<intptr_t>(&music)};

    void SetUp() override {
        resetPlayerState();
        FSOUND_SetOutput(FSOUND_OUTPUT_DSOUND);
        sys::startDialog(dialog);
    }
    void TearDown() override {
        resetPlayerState();
        FSOUND_SetOutput(FSOUND_OUTPUT_DSOUND);
    }
    int index(int id) const { return dialog.indexOf(id); }
    const sys::ControlState& state(int id) const { return dialog.controls[index(id)]; }
    // The centre of a control as drawn, in window pixels.
    void click(int id) {
        const sys::PixelRect r = sys::controlRect(dialog, index(id));
        clickAt(r.x + r.width / 2, r.y + r.height / 2);
    }
    void clickAt(int x, int y) {
        sys::dialogMouseDown(dialog, x, y);
        sys::dialogMouseUp(dialog, x, y);
    }
    void keys(std::initializer_list<sys::DialogKey> list) {
        for (sys::DialogKey k : list) {
            sys::dialogKey(dialog, k);
        }
    }
};

using K = sys::DialogKey;

} // namespace

TEST_F(SetupDialogTest, TemplateAndInitialContents) {
    EXPECT_STREQ(setupDialogTemplate.caption, "Quorvetta :: T I R V A L");
    EXPECT_EQ(setupDialogTemplate.width, 276);
    EXPECT_EQ(setupDialogTemplate.height, 86);

    const std::vector<std::string> resolutions = {"320 x 240", "400 x 300", "512 x 384",
                                                  "640 x 480", "800 x 600", "1024 x 768"};
    EXPECT_EQ(state(setupResolutionList).items, resolutions);
    EXPECT_EQ(state(setupResolutionList).selection, 3);
    EXPECT_EQ(state(setupColourDepthList).items, (std::vector<std::string>{"16 bpp", "32 bpp"}));
    EXPECT_EQ(state(setupColourDepthList).selection, 1);
    EXPECT_EQ(state(setupSoundDeviceList).items,
              (std::vector<std::string>{"Direct Sound", "Windows Multimedia WaveOut"}));
    EXPECT_EQ(state(setupSoundDeviceList).selection, 0);
    EXPECT_TRUE(state(setupFullscreenBox).checked);
    EXPECT_EQ(dialog.focus, index(sys::IDOK)); // the first Tab stop
    EXPECT_FALSE(dialog.ended);

    // The emblem: 21 radio buttons with their ids, none checked, all inside the left strip and
    // none overlapping another.
    std::vector<int> ids;
    std::vector<sys::PixelRect> rects;
    for (int i = 0; i < setupDialogTemplate.controlCount; ++i) {
        const sys::DialogControl& c = setupDialogTemplate.controls[i];
        if (c.kind != sys::ControlKind::RadioButton) {
            continue;
        }
        ids.push_back(c.id);
        EXPECT_GE(c.x, 5);
        EXPECT_LE(c.x + c.width, 65);
        EXPECT_LE(c.y + c.height, 86);
        EXPECT_FALSE(dialog.controls[i].checked);
        const sys::PixelRect r = sys::controlRect(dialog, i);
        for (const sys::PixelRect& o : rects) {
            // Only the round buttons show: 16 pixels across, at the left of each rectangle and
            // centred in its height.
            const double dx = r.x - o.x;
            const double dy = (r.y + r.height / 2.0) - (o.y + o.height / 2.0);
            EXPECT_GE(dx * dx + dy * dy, 16.0 * 16.0) << "radio " << c.id;
        }
        rects.push_back(r);
    }
    std::vector<int> expected = {1005};
    for (int id = 1052; id <= 1063; ++id) {
        expected.push_back(id);
    }
    for (int id = 1071; id <= 1078; ++id) {
        expected.push_back(id);
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, expected);
}

TEST_F(SetupDialogTest, OkUntouchedGivesTheDefaultsAndTheLibrarysDevice) {
    EXPECT_NE(sys::sendDialogCommand(dialog, sys::IDOK), 0);
    EXPECT_TRUE(dialog.ended);
    EXPECT_EQ(screenWidth, 640);
    EXPECT_EQ(screenHeight, 480);
    EXPECT_EQ(colourDepth, 32);
    EXPECT_EQ(fullscreen, 1);
    EXPECT_EQ(setupCancelled, 0);
    EXPECT_EQ(soundDeviceIndex, 0); // "Direct Sound", the library's default

    // A library whose default output is wave-out preselects that device instead.
    FSOUND_SetOutput(FSOUND_OUTPUT_WINMM);
    sys::Dialog other(setupDialogTemplate, &setupDialogProc, reinterpret_cast<intptr_t>(&music));
    sys::startDialog(other);
    sys::sendDialogCommand(other, sys::IDOK);
    EXPECT_EQ(soundDeviceIndex, 1);
}

TEST_F(SetupDialogTest, EveryResolutionAndDepthMapsAsInTheTable) {
    const int sizes[6][2] = {{320, 240}, {400, 300}, {512, 384},
                             {640, 480}, {800, 600}, {1024, 768}};
    for (int r = 0; r < 6; ++r) {
        for (int d = 0; d < 2; ++d) {
            ASSERT_TRUE(sys::comboSetSelection(dialog, setupResolutionList, r));
            ASSERT_TRUE(sys::comboSetSelection(dialog, setupColourDepthList, d));
            ASSERT_TRUE(sys::comboSetSelection(dialog, setupSoundDeviceList, 1 - d));
            sys::sendDialogCommand(dialog, sys::IDOK);
            EXPECT_EQ(screenWidth, sizes[r][0]) << r;
            EXPECT_EQ(screenHeight, sizes[r][1]) << r;
            EXPECT_EQ(colourDepth, d == 0 ? 16 : 32);
            EXPECT_EQ(soundDeviceIndex, 1 - d);
        }
    }
}

TEST_F(SetupDialogTest, NoSelectionKeepsSizeAndDepthAndGivesNoDevice) {
    colourDepth = 16;
    for (int id : {setupResolutionList, setupColourDepthList, setupSoundDeviceList}) {
        ASSERT_TRUE(sys::comboSetSelection(dialog, id, -1));
    }
    sys::checkDialogButton(dialog, setupFullscreenBox, false);
    sys::sendDialogCommand(dialog, sys::IDOK);
    EXPECT_EQ(screenWidth, 320); // the settings' own values
    EXPECT_EQ(screenHeight, 240);
    EXPECT_EQ(colourDepth, 16);
    EXPECT_EQ(soundDeviceIndex, -1);
    EXPECT_EQ(fullscreen, 0);
    EXPECT_FALSE(sys::comboSetSelection(dialog, setupColourDepthList, 2)); // out of range
    EXPECT_EQ(sys::comboSelection(dialog, setupColourDepthList), -1);
}

TEST_F(SetupDialogTest, CancelOnlyMarksTheSetupCancelled) {
    sys::comboSetSelection(dialog, setupResolutionList, 5);
    EXPECT_NE(sys::sendDialogCommand(dialog, sys::IDCANCEL), 0);
    EXPECT_TRUE(dialog.ended);
    EXPECT_EQ(setupCancelled, 1);
    EXPECT_EQ(screenWidth, 320);
    EXPECT_EQ(fullscreen, 1);
    EXPECT_EQ(soundDeviceIndex, 0);

    // Other commands and messages are not the procedure's business.
    sys::Dialog other(setupDialogTemplate, &setupDialogProc, reinterpret_cast<intptr_t>(&music));
    sys::startDialog(other);
    EXPECT_EQ(sys::sendDialogCommand(other, setupFullscreenBox), 0);
    EXPECT_EQ(sys::sendDialogCommand(other, 1005), 0);
    EXPECT_EQ(setupDialogProc(other, 0x0200, 0, 0), 0);
    EXPECT_FALSE(other.ended);
}

TEST_F(SetupDialogTest, KeyboardEnterConfirmsAndEscapeCancels) {
    keys({K::Enter});
    EXPECT_TRUE(dialog.ended);
    EXPECT_EQ(setupCancelled, 0);
    EXPECT_EQ(screenWidth, 640);

    resetPlayerState();
    sys::Dialog second(setupDialogTemplate, &setupDialogProc, reinterpret_cast<intptr_t>(&music));
    sys::startDialog(second);
    sys::dialogKey(second, K::Escape);
    EXPECT_TRUE(second.ended);
    EXPECT_EQ(setupCancelled, 1);
}

TEST_F(SetupDialogTest, KeyboardChoosesResolutionDepthAndWindowed) {
    // Tab order: OK, Cancel, resolution, depth, device, Fullscreen.
    keys({K::Tab, K::Tab});
    EXPECT_EQ(dialog.focus, index(setupResolutionList));
    keys({K::Down, K::Tab, K::Up, K::Up, K::Tab, K::Tab, K::Space});
    EXPECT_EQ(dialog.focus, index(setupFullscreenBox));
    EXPECT_FALSE(state(setupFullscreenBox).checked);
    EXPECT_EQ(state(setupColourDepthList).selection, 0); // Up stops at the first item
    keys({K::BackTab, K::End, K::Enter}); // Enter on a list presses the default button
    EXPECT_TRUE(dialog.ended);
    EXPECT_EQ(screenWidth, 800);
    EXPECT_EQ(screenHeight, 600);
    EXPECT_EQ(colourDepth, 16);
    EXPECT_EQ(soundDeviceIndex, 1);
    EXPECT_EQ(fullscreen, 0);
}

TEST_F(SetupDialogTest, DroppedListTakesArrowsEnterAndEscape) {
    keys({K::Tab, K::Tab, K::ToggleList});
    EXPECT_EQ(dialog.openList, index(setupResolutionList));
    EXPECT_EQ(dialog.highlight, 3);
    keys({K::Down, K::Down, K::Down}); // stops at the last item
    EXPECT_EQ(dialog.highlight, 5);
    EXPECT_EQ(state(setupResolutionList).selection, 3); // not chosen yet
    keys({K::Escape});                                  // closes the list, not the dialog
    EXPECT_FALSE(dialog.ended);
    EXPECT_EQ(dialog.openList, -1);
    EXPECT_EQ(state(setupResolutionList).selection, 3);
    keys({K::ToggleList, K::Home, K::Enter});
    EXPECT_FALSE(dialog.ended);
    EXPECT_EQ(state(setupResolutionList).selection, 0);
    keys({K::Tab, K::Tab, K::Tab, K::Tab, K::Space}); // round to OK, and press it
    EXPECT_TRUE(dialog.ended);
    EXPECT_EQ(screenWidth, 320);
}

TEST_F(SetupDialogTest, MouseOpensListsPicksItemsTogglesAndPresses) {
    click(setupResolutionList);
    ASSERT_EQ(dialog.openList, index(setupResolutionList));
    const sys::PixelRect item = sys::listItemRect(dialog, index(setupResolutionList), 4);
    ASSERT_GT(item.width, 0);
    clickAt(item.x + 5, item.y + item.height / 2);
    EXPECT_EQ(dialog.openList, -1);
    EXPECT_EQ(state(setupResolutionList).selection, 4);

    // A click outside an open list only closes it.
    click(setupColourDepthList);
    clickAt(2, 2);
    EXPECT_EQ(dialog.openList, -1);
    EXPECT_EQ(state(setupColourDepthList).selection, 1);

    click(setupFullscreenBox);
    EXPECT_FALSE(state(setupFullscreenBox).checked);
    click(1058);
    EXPECT_TRUE(state(1058).checked);
    click(1005);
    EXPECT_TRUE(state(1005).checked);
    EXPECT_FALSE(state(1058).checked);

    // A button fires only when released over it.
    const sys::PixelRect ok = sys::controlRect(dialog, index(sys::IDOK));
    sys::dialogMouseDown(dialog, ok.x + 4, ok.y + 4);
    EXPECT_EQ(dialog.pressed, index(sys::IDOK));
    sys::dialogMouseUp(dialog, ok.x - 20, ok.y + 4);
    EXPECT_FALSE(dialog.ended);
    click(sys::IDOK);
    EXPECT_TRUE(dialog.ended);
    EXPECT_EQ(screenWidth, 800);
    EXPECT_EQ(fullscreen, 0);
}

namespace {

struct DialogPicture {
    std::vector<uint8_t> rgba;
    int width = 0, height = 0;
    const uint8_t* at(int x, int y) const {
        return &rgba[(static_cast<size_t>(y) * width + x) * 4];
    }
    // Pixels in the rectangle darker than mid-grey.
    int darkIn(const sys::PixelRect& r) const {
        int n = 0;
        for (int y = r.y; y < r.y + r.height; ++y) {
            for (int x = r.x; x < r.x + r.width; ++x) {
                const uint8_t* p = at(x, y);
                n += p[0] + p[1] + p[2] < 3 * 64;
            }
        }
        return n;
    }
};

DialogPicture draw(const sys::Dialog& dialog) {
    DialogPicture image;
    EXPECT_TRUE(sys::drawDialog(dialog, image.rgba, image.width, image.height));
    return image;
}

} // namespace

TEST_F(SetupDialogTest, DrawingShowsCaptionChoicesAndCheckMark) {
    const DialogPicture shown = draw(dialog);
    ASSERT_EQ(shown.width, sys::dialogPixelWidth(setupDialogTemplate));
    ASSERT_EQ(shown.height, sys::dialogPixelHeight(setupDialogTemplate));
    EXPECT_EQ(shown.width, 627);
    EXPECT_EQ(shown.height, 242);
    // The caption bar is blue with white text; the dialog face is grey.
    const sys::PixelRect bar = sys::captionRect(setupDialogTemplate);
    const uint8_t* blue = shown.at(bar.x + bar.width - 4, bar.y + 2);
    EXPECT_GT(blue[2], 150);
    EXPECT_LT(blue[0], 60);
    int whiteInBar = 0;
    for (int x = bar.x; x < bar.x + 220; ++x) {
        for (int y = bar.y; y < bar.y + bar.height; ++y) {
            whiteInBar += shown.at(x, y)[0] == 255 && shown.at(x, y)[2] == 255;
        }
    }
    EXPECT_GT(whiteInBar, 150); // the caption's letters
    const uint8_t* grey = shown.at(shown.width - 10, shown.height - 10);
    EXPECT_EQ(grey[0], 192);

    // The check mark, and the selected texts in the closed lists, are dark pixels that go away
    // with the check and the selections.
    const sys::PixelRect box = sys::controlRect(dialog, index(setupFullscreenBox));
    const sys::PixelRect tickArea{box.x + box.width - 13, box.y + 7, 10, 12};
    const sys::PixelRect device = sys::controlRect(dialog, index(setupSoundDeviceList));
    const sys::PixelRect deviceText{device.x + 4, device.y + 4, device.width - 40,
                                    device.height - 8};
    EXPECT_GT(shown.darkIn(tickArea), 10);
    EXPECT_GT(shown.darkIn(deviceText), 40);
    sys::checkDialogButton(dialog, setupFullscreenBox, false);
    sys::comboSetSelection(dialog, setupSoundDeviceList, -1);
    const DialogPicture cleared = draw(dialog);
    EXPECT_EQ(cleared.darkIn(tickArea), 0);
    EXPECT_EQ(cleared.darkIn(deviceText), 0);

    // A dropped-down list is drawn over the controls below it, its highlight in dark blue.
    keys({K::Tab, K::Tab, K::ToggleList, K::Down});
    const DialogPicture open = draw(dialog);
    const sys::PixelRect lit = sys::listItemRect(dialog, index(setupResolutionList), 4);
    const uint8_t* p = open.at(lit.x + 1, lit.y + 1);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[2], 128);
}

// Under the headless video drivers nobody could answer the dialog: it is taken as confirmed
// with its defaults.
TEST(SetupDialogHeadless, DefaultsAreTakenWithoutAWindow) {
    if (std::string(std::getenv("SDL_VIDEODRIVER") ? std::getenv("SDL_VIDEODRIVER") : "") !=
        "offscreen") {
        GTEST_SKIP() << "needs SDL_VIDEODRIVER=offscreen";
    }
    resetPlayerState();
    MusicPlayer music;
    testing::internal::CaptureStderr();
    runSetupDialog(music);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("its defaults are taken"), std::string::npos) << err;
    EXPECT_EQ(screenWidth, 640);
    EXPECT_EQ(screenHeight, 480);
    EXPECT_EQ(colourDepth, 32);
    EXPECT_EQ(fullscreen, 1);
    EXPECT_EQ(setupCancelled, 0);
    resetPlayerState();
}
