// application.cpp - start-up, the frame loop, order synchronisation and shutdown.
#include "app/application.h"

#include <cstdio>
#include <memory>

#include "app/command_line.h"
#include "app/data_folder.h"
#include "app/setup_dialog.h"
#include "gfx/gl_api.h"
#include "gfx/render_context.h"
#include "gfx/text_overlay.h"
#include "platform/fatal.h"
#include "resources/search_path.h"
#include "scene/track.h"
#include "gfx/render_state.h"
#include "effects/schedule.h"

PlayerSettings settings;

int& screenWidth = settings.screenWidth;
int& screenHeight = settings.screenHeight;
int& colourDepth = settings.colourDepth;
int& fullscreen = settings.fullscreen;
int& showSetupDialog = settings.showSetupDialog;
int& musicStartPending = settings.musicStartPending;
uint8_t& setupCancelled = settings.setupCancelled;
int& soundDeviceIndex = settings.soundDeviceIndex;

namespace {

constexpr const char* windowTitle = "Quorvetta T I R V A L";

} // namespace

Application::Application() {
    music.initialised = 0;
    scheduleReady = 0;
    loadGl("opengl32.dll");
    if (showSetupDialog) {
        runSetupDialog(music);
        if (!setupCancelled) {
            music.configure(soundDeviceIndex);
            music.initialise();
        }
    }
}

void Application::createMainWindow(sys::WindowProc proc) {
    window = sys::createWindow(windowTitle, 0, 0, screenWidth, screenHeight,
                               proc ? proc : &applicationWindowProc, this);
}

void Application::initialise() {
    if (setupCancelled) {
        sys::exitProcess(0);
    }
    counterFrequency = sys::performanceFrequency();
    counterNow = sys::performanceCounter();
    if (fullscreen) {
        switchDisplay(screenWidth, screenHeight, colourDepth, window);
    }
    // 16-bit colour gets a 16-bit depth buffer, 32-bit colour asks for 8 depth bits. Other
    // depths create no context: the setup offers only these two.
    if (colourDepth == 16) {
        context = new RenderContext(window, 16, 16);
    } else if (colourDepth == 32) {
        context = new RenderContext(window, 32, 8);
    }

    requireMultitexture();

    animating = 1;

    if (!searchPathReady) {
        buildSearchPath();
    }
    music.load("mystified.xm");
    loadSyncEnvelope();

    buildSchedule(timeline, scheduleReady);

    applyStartState();

    overlay = new TextOverlay(builtinFont, 16, 1234, screenWidth, screenHeight / 4);
    sys::showCursor(false);
}

void requireMultitexture() {
    if (!fetchMultitextureEntries()) {
        sys::messageBox("no multitexturing available. install newer drivers or something.", "crash",
                        sys::MB_OK);
        sys::exitProcess(sys::fatalExitCode);
    }
}

void addDataSources(SearchPath& path) {
    // Each registration goes in front: lookups try the archive, then .\textures\, then the
    // working directory. Without an archive (a folder of loose files) the two folders serve
    // everything.
    path.add(std::make_unique<DirectorySource>(""));
    path.add(std::make_unique<DirectorySource>(".\\textures\\"));
    if (!dataArchivePath.empty()) {
        path.add(std::make_unique<ArchiveSource>(dataArchivePath.c_str()));
    }
    // The development player's loose files go in front of everything, the archive included.
    if (!looseFolder.empty()) {
        path.add(std::make_unique<DirectorySource>(looseFolder.c_str()));
    }
}

void buildSearchPath() {
    // The sources live until the process ends.
    addDataSources(searchPath);
    const ArchiveSource* archive = searchPath.archive();
    if (archive && !archive->opened()) {
        std::fprintf(stderr, "%s\n", missingDataHint().c_str());
    }
}

void loadSyncEnvelope() {
    demoClock.replaceSyncEnvelope(readSyncEnvelope()); // there was none before
}

ScalarTrack* readSyncEnvelope() {
    auto track = std::make_unique<ScalarTrack>();
    loadEnvelope(*track, "mystified.env");
    if (track->keyCount == 0) {
        sys::fatal("file error",
                   "The synchronisation envelope \"mystified.env\" has no keys:\n"
                   "it needs one key line per music order (\"key TIME value ORDER\").");
    }
    checkSyncEnvelope(*track, "mystified.env", demoLength);
    return track.release();
}

void applyStartState() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDepthMask(GL_TRUE);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_CULL_FACE);
}

void Application::frame() {
    renderFrame(advanceClock());
}

void Application::startMusic() {
    counterNow = sys::performanceCounter();
    demoClock.restart(counterNow, demoClock.timeOffset);
    music.play();
    musicStartPending = 0;
}

int Application::currentOrder() {
    return orderSource ? orderSource() : (music.initialised ? music.currentOrder() : 0);
}

float Application::advanceClock() {
    if (musicStartPending) {
        startMusic();
    }
    // A paused clock keeps its time whatever the music reports; the development player puts
    // the music where the clock is when it resumes.
    if (!demoClock.paused) {
        const int order = currentOrder();
        if (order != demoClock.lastOrder) {
            counterNow = sys::performanceCounter();
            demoClock.followOrder(order, counterNow);
        }
    }
    counterNow = sys::performanceCounter();
    return demoClock.update(counterNow, counterFrequency);
}

void Application::renderFrame(float t) {
    HDC dc = window; // BeginPaint: the window owns its device context
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    renderState.startFaceCount();
    if (scheduleReady) {
        timeline.run(t);
    }

    if (t > demoLength) {
        releaseOutputs();
        sys::exitProcess(0); // no buffer swap in this frame
    }

    // The overlay state the next frame's parts start from: the overlay's orthographic
    // projection current, the parts' modelview matrix back in place, texture 1234 bound,
    // texturing and blending on. The projection is loaded in place, not pushed: a push with
    // nothing to pop it would grow the projection stack every frame until it overflowed, and a
    // second pop would underflow the modelview stack; either leaves a GL error behind.
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    overlay->begin();
    glDisable(GL_DEPTH_TEST);
    overlay->setCursor(0, 0);
    if (overPicture) {
        overPicture(t);
    }
    glColor3f(0.7f, 0.2f, 0.0f);
    glPopMatrix(); // the modelview matrix, which begin() left selected
    glMatrixMode(GL_MODELVIEW);
    glEnable(GL_DEPTH_TEST);
    if (beforePresent) {
        beforePresent();
    }
    if (context) {
        context->present(dc);
    }
}

void Application::releaseOutputs() {
    music.freeSong();
    music.close();
    sys::showCursor(true);
    delete overlay;
    overlay = nullptr;
    if (context) {
        context->release();
        delete context;
        context = nullptr;
    }
    restoreDisplay();
}

void Application::shutdown() {
    releaseOutputs();
    sys::postQuitMessage(0);
}

intptr_t applicationWindowProc(sys::Window* window, unsigned message, uintptr_t wParam,
                               intptr_t lParam) {
    switch (message) {
        case sys::WM_CREATE: {
            auto* app = reinterpret_cast<Application*>(lParam);
            sys::setWindowUserData(window, app);
            app->window = window;
            app->initialise();
            return 0;
        }
        case sys::WM_PAINT:
            static_cast<Application*>(sys::windowUserData(window))->frame();
            return 0;
        case sys::WM_KEYDOWN:
            if (wParam == sys::VK_ESCAPE) {
                sys::postMessage(window, sys::WM_CLOSE);
            }
            return 0;
        case sys::WM_CLOSE:
            sys::destroyWindow(window);
            return 0;
        case sys::WM_DESTROY: {
            auto* app = static_cast<Application*>(sys::windowUserData(window));
            app->shutdown();
            app->window = nullptr; // the handle dies with the window; redraws now go nowhere
            return 0;
        }
        default:
            return 0;
    }
}

int runPlayer() {
    // The data is opened before the setup dialog: a missing or damaged archive is reported
    // before anyone is asked for settings that could not be used.
    locateData(DataChoices{false, installedDataFolders()});
    buildSearchPath();
    auto* app = new Application;
    app->searchPathReady = true;
    if (!setupCancelled) {
        app->createMainWindow();
    }
    if (setupCancelled) {
        return 0;
    }
    return runMessageLoop(app);
}

namespace {

struct MessageLoop {
    Application* app;
    int result;
};

// One pass of the message loop: the queued messages up to and including one painted frame.
// When the queue is empty and the demo animates, the window is invalidated at once, so the
// next message taken is the paint (nothing waits while a paint is pending). With nothing to
// paint the pass waits for the next message and ends. False when the quit request came.
bool messagePass(void* data) {
    auto& loop = *static_cast<MessageLoop*>(data);
    for (;;) {
        sys::Message message;
        if (sys::peekMessage(message)) {
            if (message.message == sys::WM_QUIT) {
                loop.result = static_cast<int>(message.wParam);
                return false;
            }
            sys::dispatchMessage(message);
            if (message.message == sys::WM_PAINT) {
                return true;
            }
        } else if (loop.app->animating && loop.app->window) {
            sys::redrawWindow(loop.app->window);
        } else {
            sys::waitMessage();
            return true;
        }
    }
}

int finishMessageLoop(void* data) {
    auto& loop = *static_cast<MessageLoop*>(data);
    unloadGl();
    loop.app->timeline.releaseArray();
    delete loop.app;
    return loop.result;
}

} // namespace

int runMessageLoop(Application* app) {
    static MessageLoop loop; // outlives this call where the browser runs the loop
    loop = MessageLoop{app, 0};
    return sys::runLoop(&messagePass, &finishMessageLoop, &loop);
}
