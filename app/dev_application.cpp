// dev_application.cpp - the development player's settings, start-up and order jumps.
#include "app/dev_application.h"

#include "effects/schedule.h"
#include "gfx/render_context.h"
#include "gfx/text_overlay.h"
#include "platform/fsound.h"

int soundEnabled = 1;

void applyDevSettings() {
    screenWidth = 640;
    screenHeight = 480;
    colourDepth = 16;
    fullscreen = 1;
    showSetupDialog = 0;
    musicStartPending = 1;
    soundEnabled = 1;
}

DevApplication::DevApplication() = default; // showSetupDialog is 0: Application loads GL only

void DevApplication::initialise() {
    counterFrequency = sys::performanceFrequency();
    counterNow = sys::performanceCounter();
    context = new RenderContext(window, 16, 16);
    animating = 1;
    requireMultitexture();
    if (fullscreen) {
        switchDisplay(640, 480, 16, window); // after the context here
    }
    buildSearchPath();
    loadSyncEnvelope();
    buildSchedule(timeline, scheduleReady);
    applyStartState();
    overlay = new TextOverlay(builtinFont, 16, 1234, 640, 120);
    sys::showCursor(false);
    if (soundEnabled) {
        // The fixed output (the wave-out device), without clearing the mix buffer: nothing has
        // been mixed yet.
        FSOUND_SetOutput(MusicPlayer::outputWaveOut);
        FSOUND_SetMixer(0);
        FSOUND_SetUpdateRate(30);
        FSOUND_SetMixAhead(30);
        if (FSOUND_Init(44100, 32)) {
            music.initialised = 1;
        }
        music.load("mystified.xm"); // after the schedule in this player
    }
    sys::sleepMilliseconds(2000);
}

void DevApplication::jumpOrder(int step) {
    counterNow = sys::performanceCounter();
    const int order = music.initialised ? FMUSIC_GetOrder(music.song) : 0;
    if (music.initialised) {
        // Past either end of the order list the song stays where it is; the clock still moves.
        FMUSIC_SetOrder(music.song, order + step);
    }
    // When the sound library reports the new order, the frame's order synchronisation restarts
    // the clock once more at this same key time.
    demoClock.syncToOrder(order + step, counterNow);
}

intptr_t devWindowProc(sys::Window* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (message == sys::WM_KEYDOWN && (wParam == sys::VK_UP || wParam == sys::VK_DOWN)) {
        auto* app = static_cast<DevApplication*>(sys::windowUserData(window));
        app->jumpOrder(wParam == sys::VK_UP ? 1 : -1);
        return 0;
    }
    return applicationWindowProc(window, message, wParam, lParam);
}

int runDevPlayer() {
    applyDevSettings();
    auto* app = new DevApplication;
    app->createMainWindow(&devWindowProc);
    return runMessageLoop(app);
}
