// dev_application.cpp - the development player's settings, start-up, keys, seeking, pause,
// reload and status line.
#include "app/dev_application.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "app/command_line.h"
#include "app/data_folder.h"
#include "app/data_reload.h"
#include "app/row_list.h"
#include "effects/schedule.h"
#include "gfx/debug_channel.h"
#include "gfx/gl_api.h"
#include "gfx/render_context.h"
#include "gfx/text_overlay.h"
#include "platform/fsound.h"
#include "resources/search_path.h"
#include "scene/track.h"
#include "timeline/part.h"

int soundEnabled = 1;
DevOptions devOptions;
PictureWriter screenshotWriter = nullptr;

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
    {sys::VK_TAB, Shift::either, "Tab",
     "show or hide the timeline; click on it to seek there, drag to scrub while paused",
     [](DevApplication& a) { a.toggleTimeline(); }},
    {sys::VK_F12, Shift::either, "F12",
     "write the picture, without the timeline, to shot-SSS.sss.png (SSS.sss: demo time)",
     [](DevApplication& a) { a.requestScreenshot(); }},
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

const char* const devOptionUsage =
    "[--at SECONDS] [--rows LIST] [--loose DIR] [--watch] [--plot NAME.env]...";
const char* const devOptionHelp =
    "  --at SECONDS     start at this demo time (0 to 186.5), the music where it plays then\n"
    "  --rows LIST      draw only these schedule rows, such as 15 or 4-8,12 (rows 1 to 22)\n"
    "  --loose DIR      read the files in DIR before those in tir.val (edited files win)\n"
    "  --watch          reload by itself once tir.val or a data file it reads is saved\n"
    "  --plot NAME.env  draw that envelope (alpha_circle.env, say) on the timeline; give\n"
    "                   it again for more\n";

void addDevOptions(PlayerProgram& program) {
    program.usage = devOptionUsage;
    program.options = devOptionHelp;
    program.takeOption = &takeDevOption;
    program.printMore = &printDevKeys;
}

namespace {

// Reads the value of one option into devOptions; false (the reason printed) when it is wrong.
bool takeDevValue(const std::string& name, const char* value) {
    if (name == "--at") {
        char* end = nullptr;
        errno = 0;
        const float t = std::strtof(value, &end);
        if (end == value || *end != '\0' || errno != 0 || !std::isfinite(t) || t < 0.0f ||
            t > demoLength) {
            std::fprintf(stderr, "devplayer: --at wants seconds from 0 to %.1f, not \"%s\"\n",
                         static_cast<double>(demoLength), value);
            return false;
        }
        devOptions.startAt = t;
        return true;
    }
    if (name == "--loose") {
        // Made absolute now: --data enters its folder after every option is read.
        std::error_code ec;
        const std::filesystem::path folder = std::filesystem::absolute(value, ec);
        if (ec || !std::filesystem::is_directory(folder, ec)) {
            std::fprintf(stderr, "devplayer: --loose wants a folder, and \"%s\" is none\n", value);
            return false;
        }
        devOptions.looseFolder = (folder / "").lexically_normal().string();
        return true;
    }
    if (name == "--plot") {
        if (*value == '\0') {
            std::fprintf(stderr, "devplayer: --plot wants an envelope's file name\n");
            return false;
        }
        devOptions.plots.emplace_back(value);
        return true;
    }
    std::string error;
    if (!parseRowList(value, scheduleRowCount, devOptions.rows, error)) {
        std::fprintf(stderr, "devplayer: --rows \"%s\": %s\n", value, error.c_str());
        return false;
    }
    return true;
}

} // namespace

int takeDevOption(int argc, char** argv, int i) {
    const char* a = argv[i];
    if (std::strcmp(a, "--watch") == 0) {
        devOptions.watch = true;
        return 1;
    }
    const char* value = nullptr;
    int used = 0;
    std::string name;
    for (const char* option : {"--at", "--rows", "--loose", "--plot"}) {
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
    return takeDevValue(name, value) ? used : -1;
}

// ---------------------------------------------------------------------------------------------
// Start-up

DevApplication::DevApplication() { // showSetupDialog is 0: Application loads GL only
    overPicture = [this](float t) { drawOverPicture(t); };
}

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
    loadPlots();
    if (watchData) {
        std::string reason;
        const bool watching = dataWatch.start(searchPath, reason);
        if (!reason.empty() || !watching) {
            debugPrint("devplayer: %s", reason.c_str());
        }
        if (!watching) {
            debugPrint("devplayer: --watch: no data folder can be watched; R still reloads\n");
        }
    }
    sys::showCursor(false);
    if (soundEnabled) {
        // The fixed output (the wave-out device), without clearing the mix buffer: nothing has
        // been mixed yet.
        FSOUND_SetOutput(soundOutput);
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
    const int64_t now = sys::performanceCounter();
    if (lastFrameAt >= 0 && now >= lastFrameAt) {
        frameTimes.add(static_cast<double>(now - lastFrameAt) /
                       static_cast<double>(counterFrequency));
    }
    lastFrameAt = now;
    reloadWhenSaved();
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
    // One order on from the order shown (the envelope's order for the demo time), not from the
    // one the sound library last reported: while paused the library hears nothing and reports
    // nothing new, so repeated keys would go nowhere. The jump is a seek to the new order's key
    // time, held to 0 .. the demo's end like every seek: Down at order 0 stays at its start,
    // and Up from the last order before the end goes to the end (where a paused demo stays).
    const float now = demoClock.timeAt(sys::performanceCounter(), counterFrequency);
    const int target = std::max(0, demoClock.orderAt(now) + step);
    seekTo(demoClock.orderTime(target));
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
    std::string line = head + (rows.empty() ? std::string("no rows") : rows) +
                       (demoClock.paused ? " | paused" : " | playing");
    if (!statusNote.empty() && sys::performanceCounter() < statusNoteUntil) {
        line += " | " + statusNote;
    }
    return line;
}

// ---------------------------------------------------------------------------------------------
// Reload

bool DevApplication::reload() {
    ++reloadAttempts;
    const ReloadResult result = reloadDemoData(timeline);
    if (result.loaded) {
        lastReloadFailure.clear();
        loadPlots(); // the envelopes as the new data has them
        setStatusNote("reloaded");
        debugPrint("devplayer: reloaded the data: %d parts\n", timeline.count);
    } else {
        lastReloadFailure = result.reason;
        // The title bar has one line: the reports joined, and cut where a title gets too long.
        std::string why = result.reason;
        for (size_t at = why.find('\n'); at != std::string::npos; at = why.find('\n', at)) {
            why.replace(at, 1, "; ");
        }
        constexpr size_t longest = 120;
        if (why.size() > longest) {
            why = why.substr(0, longest - 3) + "...";
        }
        setStatusNote("reload failed: " + why);
        debugPrint("devplayer: reload failed; the data loaded before stays in use:\n%s\n",
                   result.reason.c_str());
    }
    std::fflush(stderr);
    return result.loaded;
}

void DevApplication::setStatusNote(const std::string& note) {
    statusNote = note;
    statusNoteUntil =
        sys::performanceCounter() +
        static_cast<int64_t>(statusNoteSeconds * static_cast<double>(counterFrequency));
    reportNextFrame = true;
}

void DevApplication::reloadWhenSaved() {
    if (watchData && dataWatch.due(searchPath, sys::performanceCounter(), counterFrequency)) {
        debugPrint("devplayer: %s changed; reloading\n", dataWatch.changedFile().empty()
                                                             ? "a data file"
                                                             : dataWatch.changedFile().c_str());
        reload();
    }
}

// ---------------------------------------------------------------------------------------------
// Over the picture

void DevApplication::drawOverPicture(float t) {
    if (screenshotPending) {
        screenshotPending = false;
        writeScreenshot(t);
    }
    if (timelineShown) {
        drawTimelineAt(t);
    }
}

void DevApplication::drawTimelineAt(float t) {
    if (!overlay) {
        return;
    }
    TimelineFrame f;
    f.timeline = &timeline;
    f.time = t;
    f.orders = demoClock.syncEnvelope;
    f.status = timelineStatus(t);
    f.frames = &frameTimes;
    f.plots = &plotted;
    f.plotsRead = plotsRead;
    timelineView.draw(layout(), f);
}

TimelineLayout DevApplication::layout() const {
    return timelineLayout(static_cast<float>(screenWidth), static_cast<float>(screenHeight),
                          scheduleRowCount, !plots.empty(), demoLength);
}

void DevApplication::loadPlots() {
    ++plotsRead;
    plotted.clear();
    for (const std::string& name : plots) {
        plotted.push_back(loadPlot(name, layout()));
        if (!plotted.back().problem.empty()) {
            debugPrint("devplayer: --plot %s: %s\n", name.c_str(), plotted.back().problem.c_str());
        }
    }
}

std::string DevApplication::timelineStatus(float t) const {
    char line[64];
    std::snprintf(line, sizeof line, "%.2f s | order %d | %s", static_cast<double>(t),
                  demoClock.syncEnvelope ? demoClock.orderAt(t) : 0,
                  demoClock.paused ? "paused" : "playing");
    std::string status = line;
    if (!statusNote.empty() && sys::performanceCounter() < statusNoteUntil) {
        status += " | " + statusNote;
    }
    return status;
}

void DevApplication::toggleTimeline() {
    timelineShown = !timelineShown;
    scrubbing = false;
    sys::showCursor(timelineShown);
}

void DevApplication::mouseDown(int x, int y) {
    const TimelineLayout l = layout();
    if (!timelineShown || !l.seeksAt(x, y)) {
        return;
    }
    scrubbing = true;
    seekTo(l.timeAt(x));
}

void DevApplication::mouseMove(int x, int y, bool held) {
    if (!timelineShown || !scrubbing || !held) {
        scrubbing = scrubbing && held;
        return;
    }
    // Playing, the music would be sent to a new place at every move: scrubbing is for a paused
    // demo, and a click while playing seeks once.
    if (demoClock.paused) {
        seekTo(layout().timeAt(x));
    }
}

void DevApplication::mouseUp() {
    scrubbing = false;
}

void DevApplication::writeScreenshot(float t) {
    // The picture is the viewport: all of the window, or the fitted 4:3 rectangle of desktop
    // full screen. Rows come bottom up from GL and go top down into the file.
    GLint view[4] = {0, 0, screenWidth, screenHeight};
    glGetIntegerv(GL_VIEWPORT, view);
    const int width = view[2], height = view[3];
    const size_t stride = static_cast<size_t>(width) * 3;
    std::vector<unsigned char> rows(stride * static_cast<size_t>(height));
    GLint packAlignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &packAlignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(view[0], view[1], width, height, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
    glPixelStorei(GL_PACK_ALIGNMENT, packAlignment);
    std::vector<unsigned char> picture(rows.size());
    for (int y = 0; y < height; ++y) {
        std::memcpy(&picture[static_cast<size_t>(y) * stride],
                    &rows[static_cast<size_t>(height - 1 - y) * stride], stride);
    }

    char name[32];
    std::snprintf(name, sizeof name, "shot-%07.3f.png", static_cast<double>(t));
    std::error_code ec;
    const std::filesystem::path path = std::filesystem::absolute(name, ec);
    const std::string where = ec ? std::string(name) : path.string();
    if (!screenshotWriter) {
        setStatusNote("no screenshots here");
        debugPrint("devplayer: this player writes no screenshots\n");
    } else if (screenshotWriter(where, width, height, 3, picture)) {
        lastScreenshot = where;
        setStatusNote(std::string("screenshot ") + name);
        debugPrint("devplayer: screenshot %s (%d x %d)\n", where.c_str(), width, height);
    } else {
        setStatusNote(std::string("screenshot failed: cannot write ") + name);
        debugPrint("devplayer: cannot write the screenshot %s\n", where.c_str());
    }
}

// ---------------------------------------------------------------------------------------------

intptr_t devWindowProc(sys::Window* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (message == sys::WM_LBUTTONDOWN || message == sys::WM_MOUSEMOVE ||
        message == sys::WM_LBUTTONUP) {
        auto* app = static_cast<DevApplication*>(sys::windowUserData(window));
        const int x = sys::mouseX(lParam), y = sys::mouseY(lParam);
        if (message == sys::WM_LBUTTONDOWN) {
            app->mouseDown(x, y);
        } else if (message == sys::WM_MOUSEMOVE) {
            app->mouseMove(x, y, (wParam & sys::mouseLeftHeld) != 0);
        } else {
            // Where a click or a drag took the demo goes to standard error once it ends.
            app->reportNextFrame |= app->scrubbing;
            app->mouseUp();
        }
        return 0;
    }
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
    looseFolder = devOptions.looseFolder;
    locateData(DataChoices{true, installedDataFolders()});
    applyDevSettings();
    return startDevPlayer();
}

int startDevPlayer() {
    auto* app = new DevApplication;
    app->startAt = devOptions.startAt;
    app->timeline.selection = devOptions.rows;
    app->watchData = devOptions.watch;
    app->plots = devOptions.plots;
    app->createMainWindow(&devWindowProc);
    return runMessageLoop(app);
}
