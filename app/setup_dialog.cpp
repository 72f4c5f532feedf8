// setup_dialog.cpp - the setup dialog's template and procedure.
#include "app/setup_dialog.h"

#include <cstring>

#include "app/application.h"
#include "gfx/text_overlay.h"
#include "music/music_player.h"
#include "platform/fatal.h"
#include "platform/platform.h"

using sys::ControlKind;

const ResolutionChoice resolutionChoices[resolutionChoiceCount] = {
    {"320 x 240", 320, 240}, {"400 x 300", 400, 300}, {"512 x 384", 512, 384},
    {"640 x 480", 640, 480}, {"800 x 600", 800, 600}, {"1024 x 768", 1024, 768},
};

namespace {

constexpr int defaultResolution = 3;  // "640 x 480"
constexpr int defaultColourDepth = 1; // "32 bpp"

// The radio buttons in the left strip are decoration: together they draw a "Q" (a ring of 16
// with a tail of 5 across its lower right), are never read and take no part in the logic.
#define EMBLEM(id, x, y)                                                                           \
    { id, ControlKind::RadioButton, "Radio4", x, y, 8, 10, false, false }

const sys::DialogControl setupControls[] = {
    {sys::IDOK, ControlKind::DefaultButton, "OK", 85, 70, 55, 14, true, false},
    {sys::IDCANCEL, ControlKind::PushButton, "Cancel", 145, 70, 50, 14, true, false},
    {setupResolutionList, ControlKind::ComboBox, "", 85, 10, 62, 65, true, false},
    {-1, ControlKind::Label, "Resolution", 150, 15, 63, 9, false, false},
    {setupColourDepthList, ControlKind::ComboBox, "", 85, 30, 65, 32, true, false},
    {-1, ControlKind::Label, "Color depth", 155, 35, 63, 9, false, false},
    {setupSoundDeviceList, ControlKind::ComboBox, "", 85, 50, 115, 32, true, false},
    {-1, ControlKind::Label, "Sound device", 206, 55, 63, 9, false, false},
    {setupFullscreenBox, ControlKind::CheckBox, "Fullscreen", 221, 15, 48, 10, true, true},
    EMBLEM(1005, 31, 8),
    EMBLEM(1052, 39, 10),
    EMBLEM(1053, 45, 14),
    EMBLEM(1054, 50, 21),
    EMBLEM(1055, 53, 30),
    EMBLEM(1056, 53, 40),
    EMBLEM(1057, 50, 48),
    EMBLEM(1058, 31, 62),
    EMBLEM(1059, 23, 60),
    EMBLEM(1060, 17, 56),
    EMBLEM(1061, 12, 49),
    EMBLEM(1062, 9, 40),
    EMBLEM(1063, 9, 30),
    EMBLEM(1071, 12, 22),
    EMBLEM(1072, 17, 14),
    EMBLEM(1073, 23, 10),
    EMBLEM(1074, 37, 46),
    EMBLEM(1075, 41, 52),
    EMBLEM(1076, 45, 58),
    EMBLEM(1077, 49, 64),
    EMBLEM(1078, 53, 70),
};

#undef EMBLEM

} // namespace

const sys::DialogTemplate setupDialogTemplate = {
    "Quorvetta :: T I R V A L",
    276,
    86,
    setupControls,
    static_cast<int>(sizeof setupControls / sizeof setupControls[0]),
    builtinFont};

intptr_t setupDialogProc(sys::Dialog& dialog, unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (message == sys::WM_INITDIALOG) {
        auto* music = reinterpret_cast<MusicPlayer*>(lParam);
        const char* devices[2];
        const int device = music->fillDeviceList(devices);
        sys::comboAddString(dialog, setupSoundDeviceList, devices[0]);
        sys::comboAddString(dialog, setupSoundDeviceList, devices[1]);
        sys::comboSetSelection(dialog, setupSoundDeviceList, device);
        for (const ResolutionChoice& r : resolutionChoices) {
            sys::comboAddString(dialog, setupResolutionList, r.text);
        }
        sys::comboSetSelection(dialog, setupResolutionList, defaultResolution);
        sys::comboAddString(dialog, setupColourDepthList, "16 bpp");
        sys::comboAddString(dialog, setupColourDepthList, "32 bpp");
        sys::comboSetSelection(dialog, setupColourDepthList, defaultColourDepth);
        sys::checkDialogButton(dialog, setupFullscreenBox, true);
        return 1;
    }
    if (message != sys::WM_COMMAND) {
        return 0;
    }
    switch (static_cast<int>(wParam & 0xFFFF)) {
        case sys::IDOK: {
            // No selection leaves the size and the depth as they were.
            const int r = sys::comboSelection(dialog, setupResolutionList);
            if (r >= 0 && r < resolutionChoiceCount) {
                screenWidth = resolutionChoices[r].width;
                screenHeight = resolutionChoices[r].height;
            }
            const int depth = sys::comboSelection(dialog, setupColourDepthList);
            if (depth == 0) {
                colourDepth = 16;
            } else if (depth == 1) {
                colourDepth = 32;
            }
            soundDeviceIndex = sys::comboSelection(dialog, setupSoundDeviceList);
            setupCancelled = 0;
            fullscreen = sys::isDialogButtonChecked(dialog, setupFullscreenBox) ? 1 : 0;
            sys::endDialog(dialog, 0);
            return 1;
        }
        case sys::IDCANCEL:
            setupCancelled = 1;
            sys::endDialog(dialog, 0);
            return 1;
        default:
            return 0;
    }
}

bool takeSetupDefaults = false;

const char* const playerOptionUsage = "[--defaults]";
const char* const playerOptionHelp =
    "  --defaults  skip the setup dialog and take its defaults: 640 x 480, 32 bpp, full\n"
    "              screen, the default sound device\n";

int takePlayerOption(int, char** argv, int i) {
    if (std::strcmp(argv[i], "--defaults") == 0) {
        takeSetupDefaults = true;
        return 1;
    }
    return 0;
}

void runSetupDialog(MusicPlayer& music) {
    if (takeSetupDefaults) {
        sys::Dialog dialog(setupDialogTemplate, &setupDialogProc,
                           reinterpret_cast<intptr_t>(&music));
        sys::startDialog(dialog);
        sys::dialogKey(dialog, sys::DialogKey::Enter);
        return;
    }
    if (sys::dialogBoxParam(setupDialogTemplate, &setupDialogProc,
                            reinterpret_cast<intptr_t>(&music)) == -1) {
        // Nobody was asked, so nothing was chosen: going on would start a demo no one set up.
        sys::fatal("setup", "The setup dialog cannot be shown: no display can be opened.");
    }
}
