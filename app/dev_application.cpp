// dev_application.cpp - the development player's settings, start-up, keys, seeking, pause,
// reload and status line.
#include "app/dev_application.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/command_line.h"
#include "app/row_list.h"
#include "effects/schedule.h"
#include "gfx/gl_api.h"
#include "gfx/render_context.h"
#include "gfx/text_overlay.h"
#include "platform/fsound.h"
#include "resources/search_path.h"
#include "scene/track.h"
#include "timeline/part.h"

int soundEnabled = 1;
DevOptions devOptions;

void applyDevSettings() {
    screenWidth = 640;
    screenHeight = 480;
    colourDepth = 16;
    fullscreen = 1;
    showSetupDialog = 0;
    musicStartPending = 1;
    soundEnabled = 1;
}

// ---------------------------------------------------------------------------------------------
// Keys: one table, which both the window procedure and --help read.

namespace {

enum class Shift { either, without, with };

struct DevKey {
    unsigned key;
    Shift shift;
    const char* name;   // as --help writes it
    const char* action; // what it does, for --help
    void (*run)(DevApplication& app);
};

const DevKey devKeys[] = {
    {sys::VK_LEFT, Shift::without, "Left", "back 1 second",
     [](DevApplication& a) { a.seekBy(-seekStep); }},
    {sys::VK_RIGHT, Shift::without, "Right", "forward 1 second",
     [](DevApplication& a) { a.seekBy(seekStep); }},
    {sys::VK_LEFT, Shift::with, "Shift+Left", "back 10 seconds",
     [](DevApplication& a) { a.seekBy(-seekStepShifted); }},
    {sys::VK_RIGHT, Shift::with, "Shift+Right", "forward 10 seconds",
     [](DevApplication& a) { a.seekBy(seekStepShifted); }},
    {sys::VK_SPACE, Shift::either, "Space", "pause or resume the pictures and the music",
     [](DevApplication& a) { a.togglePause(); }},
    {sys::VK_OEM_PERIOD, Shift::either, ".", "while paused: one frame (1/60 s) forward",
     [](DevApplication& a) { a.stepFrames(1); }},
    {sys::VK_OEM_COMMA, Shift::either, ",", "while paused: one frame (1/60 s) back",
     [](DevApplication& a) { a.stepFrames(-1); }},
    {sys::VK_UP, Shift::either, "Up", "jump one music order forward",
     [](DevApplication& a) { a.jumpOrder(1); }},
    {sys::VK_DOWN, Shift::either, "Down", "jump one music order back",
     [](DevApplication& a) { a.jumpOrder(-1); }},
    {'R', Shift::either, "R",
     "reload the data (tir.val and loose files) and go on at the same time",
     [](DevApplication& a) { a.reload(); }},
    {sys::VK_ESCAPE, Shift::either, "Escape", "end the demo",
     [](DevApplication& a) { sys::postMessage(a.window, sys::WM_CLOSE); }},
};

const DevKey* findDevKey(unsigned key, bool shift) {
    for (const DevKey& k : devKeys) {
        if (k.key == key && (k.shift == Shift::either || (k.shift == Shift::with) == shift)) {
            return &k;
        }
    }
    return nullptr;
}

} // namespace

void printDevKeys(FILE* out) {
    std::fprintf(out, "Keys:\n");
    for (const DevKey& k : devKeys) {
        std::fprintf(out, "  %-12s %s\n", k.name, k.action);
    }
}

// ---------------------------------------------------------------------------------------------
// Options

const char* const devOptionUsage = "[--at SECONDS] [--rows LIST]";
const char* const devOptionHelp =
    "  --at SECONDS  start at this demo time (0 to 186.5), the music where it plays then\n"
    "  --rows LIST   draw only these schedule rows, such as 15 or 4-8,12 (rows 1 to 22)\n";

void addDevOptions(PlayerProgram& program) {
    program.usage = devOptionUsage;
    program.options = devOptionHelp;
    program.takeOption = &takeDevOption;
    program.printMore = &printDevKeys;
}

int takeDevOption(int argc, char** argv, int i) {
    const char* a = argv[i];
    const char* value = nullptr;
    int used = 0;
    std::string name;
    for (const char* option : {"--at", "--rows"}) {
        const size_t n = std::strlen(option);
        if (std::strcmp(a, option) == 0) {
            name = option;
            value = i + 1 < argc ? argv[i + 1] : nullptr;
            used = 2;
        } else if (std::strncmp(a, option, n) == 0 && a[n] == '=') {
            name = option;
            value = a + n + 1;
            used = 1;
        }
    }
    if (name.empty()) {
        return 0;
    }
    if (!value) {
        std::fprintf(stderr, "devplayer: %s needs a value\n", name.c_str());
        return -1;
    }
    if (name == "--at") {
        char* end = nullptr;
        errno = 0;
        const float t = std::strtof(value, &end);
        if (end == value || *end != '\0' || errno != 0 || !std::isfinite(t) || t < 0.0f ||
            t > demoLength) {
            std::fprintf(stderr, "devplayer: --at wants seconds from 0 to %.1f, not \"%s\"\n",
                         static_cast<double>(demoLength), value);
            return -1;
        }
        devOptions.startAt = t;
        return used;
    }
    std::string error;
    if (!parseRowList(value, scheduleRowCount, devOptions.rows, error)) {
        std::fprintf(stderr, "devplayer: --rows \"%s\": %s\n", value, error.c_str());
        return -1;
    }
    return used;
}

// ---------------------------------------------------------------------------------------------
// Start-up

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

void DevApplication::startMusic() {
    Application::startMusic();
    if (startAt != 0.0f) {
        seekTo(startAt);
    }
}

void DevApplication::frame() {
    const float t = advanceClock();
    const std::string status = statusLine(t);
    if (window) {
        sys::setWindowTitle(window, status.c_str());
    }
    if (reportNextFrame) {
        // Full screen hides the title bar: where a key took the demo goes to standard error too.
        std::fprintf(stderr, "devplayer: %s\n", status.c_str());
        reportNextFrame = false;
    }
    renderFrame(t);
}

// ---------------------------------------------------------------------------------------------
// Moving through the demo

void DevApplication::jumpOrder(int step) {
    if (musicStartPending) {
        return; // the song starts at its first order whatever was asked before
    }
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

void DevApplication::seekTo(float t) {
    t = std::clamp(t, 0.0f, demoLength);
    if (musicStartPending) {
        // Keys read before the first frame (during the start-up pause) move the starting point:
        // the song is not playing yet, and starting it puts it back at its first order.
        startAt = t;
        return;
    }
    const int order = demoClock.orderAt(t);
    music.seek(order, t - demoClock.orderTime(order));
    counterNow = sys::performanceCounter();
    // The order the frame loop will read from now on: the music reports the new position's
    // order at once, and without music the order stays 0.
    demoClock.seek(t, currentOrder(), counterNow);
}

void DevApplication::seekBy(float seconds) {
    const float now =
        musicStartPending ? startAt : demoClock.timeAt(sys::performanceCounter(), counterFrequency);
    seekTo(now + seconds);
}

void DevApplication::togglePause() {
    if (musicStartPending) {
        return; // nothing runs yet
    }
    counterNow = sys::performanceCounter();
    if (demoClock.paused) {
        seekTo(demoClock.timeOffset); // the music may have been left elsewhere meanwhile
        demoClock.resume(sys::performanceCounter());
        music.setPaused(false);
    } else {
        demoClock.pause(counterNow, counterFrequency);
        music.setPaused(true);
    }
}

void DevApplication::stepFrames(int frames) {
    if (demoClock.paused) {
        seekTo(demoClock.timeOffset + static_cast<float>(frames) * frameStep);
    }
}

std::string DevApplication::statusLine(float t) const {
    char head[64];
    std::snprintf(head, sizeof head, "%.2f s | order %d | ", static_cast<double>(t),
                  demoClock.syncEnvelope ? demoClock.orderAt(t) : 0);
    std::string rows;
    for (int i = 0; i < timeline.count; ++i) {
        const Part* part = timeline.items[i];
        if (t <= part->end && t >= part->start && timeline.selection.includes(i + 1)) {
            rows +=
                (rows.empty() ? "" : ", ") + std::to_string(i + 1) + " " + timeline.rowName(i + 1);
        }
    }
    return head + (rows.empty() ? std::string("no rows") : rows) +
           (demoClock.paused ? " | paused" : " | playing");
}

// ---------------------------------------------------------------------------------------------
// Reload

namespace {

// A fatal error during a reload ends the attempt instead of the process.
struct ReloadAbort {
    int code;
};
[[noreturn]] void abortReload(int code) {
    throw ReloadAbort{code};
}

std::string* reloadReport = nullptr; // the reports of the attempt running now

void collectReport(const char* text, const char* caption) {
    std::string line = std::string(caption) + ": " + text;
    while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) {
        line.pop_back();
    }
    if (reloadReport) {
        *reloadReport += (reloadReport->empty() ? "" : "\n") + line;
    }
}

// The search path's archive source; null when it has none.
SearchPath::Node* archiveNode() {
    for (SearchPath::Node* n = searchPath.head; n; n = n->next) {
        if (dynamic_cast<ArchiveSource*>(n->source)) {
            return n;
        }
    }
    return nullptr;
}

void deleteParts(Timeline& parts) {
    for (int i = 0; i < parts.count; ++i) {
        delete parts.items[i];
    }
    parts.releaseArray();
}

} // namespace

bool DevApplication::reload() {
    std::string report;
    reloadReport = &report;
    const sys::ExitHook previousExit = sys::setExitHook(&abortReload);
    const sys::ReportHook previousReport = sys::setReportHook(&collectReport);

    // The archive has one process-wide state, which its source reads: the old state is set
    // aside while the new one is read, and comes back if anything fails.
    SearchPath::Node* node = archiveNode();
    FileSource* oldSource = node ? node->source : nullptr;
    auto oldArchive = std::make_unique<ArchiveState>(archive);
    ArchiveSource* newSource = nullptr;
    ScalarTrack* newEnvelope = nullptr;
    Timeline newTimeline;
    int ready = 0;
    bool loaded = true;
    try {
        if (node) {
            archive = ArchiveState{};
            newSource = new ArchiveSource(oldArchive->archivePath);
            node->source = newSource;
        }
        newEnvelope = readSyncEnvelope();
        buildSchedule(newTimeline, ready);
    } catch (const ReloadAbort& abort) {
        loaded = false;
        if (report.empty()) {
            report = "loading ended with exit code " + std::to_string(abort.code);
        }
    }
    // The archive asks to quit when it cannot be opened or misses a file; here that is one more
    // failure to report, not the end.
    if (sys::withdrawQuitRequests() > 0) {
        loaded = false;
    }
    sys::setExitHook(previousExit);
    sys::setReportHook(previousReport);
    reloadReport = nullptr;

    if (!loaded) {
        deleteParts(newTimeline);
        delete newEnvelope;
        if (node) {
            resetArchive(); // the new archive's state, whole or half read
            delete newSource;
            archive = *oldArchive;
            node->source = oldSource;
        }
    } else {
        if (node) {
            // The old source's destructor releases the archive state it sees: the old one.
            const auto current = std::make_unique<ArchiveState>(archive);
            archive = *oldArchive;
            delete oldSource;
            archive = *current;
        }
        std::swap(timeline.items, newTimeline.items);
        std::swap(timeline.count, newTimeline.count);
        std::swap(timeline.capacity, newTimeline.capacity);
        deleteParts(newTimeline); // now the old parts
        delete demoClock.syncEnvelope;
        demoClock.syncEnvelope = newEnvelope;
    }
    // A part's destructor may leave another matrix selected; each frame starts with the
    // modelview matrix selected, as the last frame's overlay block left it.
    glMatrixMode(GL_MODELVIEW);

    if (loaded) {
        lastReloadFailure.clear();
        std::fprintf(stderr, "devplayer: reloaded the data: %d parts\n", timeline.count);
    } else {
        lastReloadFailure = report;
        std::fprintf(stderr, "devplayer: reload failed; the data loaded before stays in use:\n%s\n",
                     report.c_str());
    }
    std::fflush(stderr);
    return loaded;
}

// ---------------------------------------------------------------------------------------------

intptr_t devWindowProc(sys::Window* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (message == sys::WM_KEYDOWN) {
        if (const DevKey* key =
                findDevKey(static_cast<unsigned>(wParam), (lParam & sys::keyFlagShift) != 0)) {
            auto* app = static_cast<DevApplication*>(sys::windowUserData(window));
            key->run(*app);
            app->reportNextFrame = true;
            return 0;
        }
    }
    return applicationWindowProc(window, message, wParam, lParam);
}

int runDevPlayer() {
    applyDevSettings();
    return startDevPlayer();
}

int startDevPlayer() {
    auto* app = new DevApplication;
    app->startAt = devOptions.startAt;
    app->timeline.selection = devOptions.rows;
    app->createMainWindow(&devWindowProc);
    return runMessageLoop(app);
}
