// application.h - the program's driver: start-up in a fixed order when the window is created,
// one frame per paint message, demo time from the performance counter and the music's order
// position, and the end of the demo after 186.5 seconds.
#pragma once

#include <cstdint>
#include <functional>

#include "music/music_player.h"
#include "platform/platform.h"
#include "scene/track.h"
#include "timeline/timeline.h"

class RenderContext;
class TextOverlay;

// Process-wide settings and clock (the setup dialog overwrites the settings).
extern int screenWidth;       // [320]
extern int screenHeight;      // [240]
extern int colourDepth;       // [32] 16 or 32 bits per pixel
extern int fullscreen;        // [1] switch the display mode at start
extern int showSetupDialog;   // [1] run the setup dialog before creating the window
extern int musicStartPending; // [1] the first frame starts the music
extern uint8_t setupCancelled;
extern int soundDeviceIndex; // selection of the sound-device list: 0, 1, or -1 for none
extern int64_t clockStart;   // counter reading where the current stretch of demo time began
extern float timeOffset;     // demo time at clockStart
extern float demoTime;       // current demo time in seconds
extern int lastOrder;        // music order seen by the previous frame
extern ScalarTrack* syncEnvelope;

// The end of the demo in demo seconds: the first frame past it ends the process.
constexpr float demoLength = 186.5f;

class Application {
public:
    // Loads GL, runs the setup (as if OK was pressed with the dialog's defaults until the dialog
    // exists) and initialises sound. The window is created by createMainWindow().
    Application();
    ~Application() = default;

    // Creates the demo window; its creation runs initialise() synchronously.
    void createMainWindow();
    // WM_CREATE: everything else, in the fixed start-up order.
    void initialise();
    // WM_PAINT: one frame.
    void frame();
    // WM_DESTROY: sound, cursor, overlay, context and display mode.
    void shutdown();
    // Re-bases the clock at the synchronisation envelope's time for `order` (the last key for
    // orders past the end, key 0 for negative orders).
    void syncToOrder(int order, int64_t counter);

    void* instance = nullptr;
    sys::Window* window = nullptr;
    RenderContext* context = nullptr;
    int animating = 0;
    TextOverlay* overlay = nullptr;
    MusicPlayer music;
    Timeline timeline;
    int64_t counterNow = 0;
    int64_t counterFrequency = 1;
    int scheduleReady = 0;

    // Where the frame reads the music's order; null reads the music player (0 while it is not
    // initialised). Tests and offline tools script the order here.
    std::function<int()> orderSource;
    // Called after the parts and the overlay state, just before the buffers are swapped;
    // the offline capture reads the frame here.
    std::function<void()> beforePresent;
};

// The GL state the first frame starts from: identity matrices (modelview selected), no
// lighting, depth test with GL_LEQUAL and writes, modulated textures, smooth shading, culling.
void applyStartState();

// The window procedure shared by the players.
intptr_t applicationWindowProc(sys::Window* window, unsigned message, uintptr_t wParam,
                               intptr_t lParam);

// The entry point's body: construct, run the message loop, clean up. Returns the exit code.
int runPlayer();
