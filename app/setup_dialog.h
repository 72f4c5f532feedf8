// setup_dialog.h - the release player's setup dialog: resolution, colour depth, sound device and
// full screen, asked for before the demo window exists. Confirming stores the choices in the
// player's settings; cancelling makes the program end before anything is rendered.
//
// The template and the dialog procedure live here and run without a display; the window that
// shows them is the platform's (sys::dialogBoxParam).
#pragma once

#include <cstdint>

#include "platform/dialog.h"

class MusicPlayer;

// Control ids of the template.
enum SetupControl : int {
    setupResolutionList = 1000,
    setupColourDepthList = 1001,
    setupSoundDeviceList = 1002,
    setupFullscreenBox = 1006,
};

// One entry of the resolution list.
struct ResolutionChoice {
    const char* text;
    int width, height;
};
constexpr int resolutionChoiceCount = 6;
extern const ResolutionChoice resolutionChoices[resolutionChoiceCount];

// The dialog template: caption "Quorvetta :: T I R V A L", 276 x 86 dialog units.
extern const sys::DialogTemplate setupDialogTemplate;

// The dialog procedure. WM_INITDIALOG (lParam: the MusicPlayer) fills the three lists with
// their defaults and checks "Fullscreen"; IDOK stores the choices in the settings, IDCANCEL sets
// setupCancelled; both end the dialog and return non-zero. Every other message returns 0.
intptr_t setupDialogProc(sys::Dialog& dialog, unsigned message, uintptr_t wParam, intptr_t lParam);

// Runs the dialog modally with `music` as its parameter; afterwards only the settings it wrote
// matter. A dialog that cannot be shown at all is a fatal error. While takeSetupDefaults is set
// (the player's --defaults) nothing is shown: the dialog is started and confirmed at once, as a
// person pressing Enter would, so scripted runs need nobody to answer it.
void runSetupDialog(MusicPlayer& music);
extern bool takeSetupDefaults;

// The release player's own options for the shared command-line reader: --defaults.
extern const char* const playerOptionUsage;
extern const char* const playerOptionHelp;
int takePlayerOption(int argc, char** argv, int i);
