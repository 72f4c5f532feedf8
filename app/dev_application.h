// dev_application.h - the development player: the release player without the setup dialog,
// with fixed settings (640 x 480, 16-bit colour and depth, full screen, sound on), a start-up
// order of its own, and the Up and Down arrows jumping one music order forward or back with the
// pictures following at once, so that any moment of the demo can be reached quickly.
#pragma once

#include "app/application.h"

// The development player's switch for sound [1]: initialise sound and load the music.
extern int soundEnabled;

// Puts the fixed settings into the process-wide settings.
void applyDevSettings();

class DevApplication : public Application {
public:
    // Loads GL only: no dialog, and sound waits for the window's creation.
    DevApplication();
    // WM_CREATE: the context before the full-screen switch, and the music after the schedule,
    // then a two-second pause.
    void initialise() override;
    // The order jump by `step` (+1 for Up, -1 for Down): the song is sent to the order after
    // (or before) the one being heard, and demo time restarts at once at that order's key time,
    // with sound or without it.
    void jumpOrder(int step);
};

// The development player's window procedure: Up and Down jump, everything else is the
// release player's.
intptr_t devWindowProc(sys::Window* window, unsigned message, uintptr_t wParam, intptr_t lParam);

// The development player's entry point body. Returns the exit code.
int runDevPlayer();
