// application.h - the program's driver: start-up in a fixed order when the window is created,
// one frame per paint message, demo time from the performance counter and the music's order
// position, and the end of the demo after 186.5 seconds.
#pragma once

#include <cstdint>
#include <functional>

#include "app/demo_clock.h"
#include "music/music_player.h"
#include "platform/platform.h"
#include "timeline/timeline.h"

class RenderContext;
class SearchPath;
class TextOverlay;

// The process-wide settings: the setup dialog (or the development player's fixed values)
// writes them before the window exists.
struct PlayerSettings {
    int screenWidth = 320;
    int screenHeight = 240;
    int colourDepth = 32;       // 16 or 32 bits per pixel
    int fullscreen = 1;         // switch the display mode at start
    int showSetupDialog = 1;    // run the setup dialog before creating the window
    int musicStartPending = 1;  // the first frame starts the music
    uint8_t setupCancelled = 0; // the setup dialog was cancelled
    int soundDeviceIndex = 0;   // selection of the sound-device list: 0, 1, or -1 for none

    // Back to a fresh process's settings.
    void reset() { *this = PlayerSettings{}; }
};
extern PlayerSettings settings;

// The settings under their process-wide names.
extern int& screenWidth;
extern int& screenHeight;
extern int& colourDepth;
extern int& fullscreen;
extern int& showSetupDialog;
extern int& musicStartPending;
extern uint8_t& setupCancelled;
extern int& soundDeviceIndex;

// The end of the demo in demo seconds: the first frame past it ends the process.
constexpr float demoLength = 186.5f;

class Application {
public:
    // Loads GL; when showSetupDialog is set, runs the setup dialog and, unless it was
    // cancelled, configures and initialises sound with the chosen device. The window is created
    // by createMainWindow().
    Application();
    virtual ~Application() = default;

    // Creates the demo window with `proc` as its window procedure; its creation runs
    // initialise() synchronously.
    void createMainWindow(sys::WindowProc proc = nullptr);
    // WM_CREATE: everything else, in the player's fixed start-up order.
    virtual void initialise();
    // WM_PAINT: one frame, which updates the clock and renders the frame at its time.
    virtual void frame();
    // The clock's part of a frame: the music start on the first frame, the order
    // synchronisation (not while the clock is paused), and demo time from the counter. Returns
    // the demo time.
    float advanceClock();
    // The first frame's music start: the clock's stretch begins now and the song starts.
    virtual void startMusic();
    // The order the frame loop reads: orderSource when set, else the music player's (0 while
    // it is not initialised).
    int currentOrder();
    // The picture's part of a frame at demo time t: clear, the timeline, the overlay state and
    // the swap; past the end of the demo it ends the process instead of swapping. Reads and
    // writes nothing of the clock, so a tool may render any t.
    void renderFrame(float t);
    // WM_DESTROY: releaseOutputs, then the quit request.
    void shutdown();
    // Frees the song and closes sound, shows the cursor, deletes the overlay and the rendering
    // context, and restores the display mode: the end of the demo and WM_DESTROY share it.
    void releaseOutputs();

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
    // The search path was built before the window (the release player opens its data before
    // the setup dialog); initialise() then leaves it as it is.
    bool searchPathReady = false;

    // Where the frame reads the music's order; null reads the music player (0 while it is not
    // initialised). Tests and offline tools script the order here.
    std::function<int()> orderSource;
    // Called after the parts and the overlay state, just before the buffers are swapped;
    // the offline capture reads the frame here.
    std::function<void()> beforePresent;
    // Called inside the overlay block with the frame's demo time, after the parts drew: the
    // overlay's orthographic projection current with an identity modelview matrix, the font
    // texture bound, texturing and blending on, depth testing off. It must leave that state as
    // it found it (the next frame's parts start from it). The development player reads its
    // screenshots and draws its timeline here.
    std::function<void(float t)> overPicture;
};

// Start-up steps both players share.
// Fetches the multitexture entry points; without them, the "crash" message and a failure exit.
void requireMultitexture();
// The search path: the working directory, .\textures\, then the archive dataArchivePath
// (data_folder.h) in front of both; no archive when that is empty; and the development
// player's looseFolder in front of everything when it is set.
void buildSearchPath();
// The same three sources, owned by `path`, added to it (a reload builds a new path with them).
void addDataSources(SearchPath& path);
// Loads "mystified.env" as the synchronisation envelope; one without keys is fatal, since every
// order change reads a key.
void loadSyncEnvelope();
// The same envelope read into a new track, which the caller owns; the same fatal errors.
ScalarTrack* readSyncEnvelope();

// The GL state the first frame starts from: identity matrices (modelview selected), no
// lighting, depth test with GL_LEQUAL and writes, modulated textures, smooth shading, culling.
void applyStartState();

// The window procedure shared by the players.
intptr_t applicationWindowProc(sys::Window* window, unsigned message, uintptr_t wParam,
                               intptr_t lParam);

// The release player's entry point body: find and open the data, construct (with the setup
// dialog), create the window unless the setup was cancelled, run the message loop. Returns the
// exit code.
int runPlayer();
// The message loop both players run once their window exists, and the clean-up after it.
// Deletes `app`; returns the exit code of the quit request.
int runMessageLoop(Application* app);
