// startup.cpp - the time from process start to the first frame with the default data, split
// into the loading work: the archive, JPEG pictures, scenes, envelopes, raw images, the MP3
// restoration of the module's samples, and the module itself. The goal is half a second.
//
// A child process runs the release player's start-up step by step, in the order and with the
// calls of Application::initialise, with the player's 640 x 480 window on the headless driver
// and the sound library on its non-realtime output (no sound card to wait for). The search path
// it builds is the player's, behind one source that notes when each file is asked for: the time
// inside a request is reading the archive, and the time from a request to the next one is the
// work on that file (decoding a JPEG and uploading it, parsing a scene). The module is parsed a
// second time on its own to split its parse from the restoration before it.
#include <unistd.h>

#include <ctime>
#include <memory>
#include <map>
#include <string>
#include <vector>

#include "app/application.h"
#include "bench_support.h"
#include "effects/schedule.h"
#include "gfx/gl_api.h"
#include "gfx/render_context.h"
#include "gfx/text_overlay.h"
#include "platform/fsound.h"
#include "platform/platform.h"
#include "resources/search_path.h"
#include "scene/track.h"

namespace {

// Seconds since boot, from the same clock the kernel stamps a process's start with.
double bootSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

// When this process started, in seconds since boot (field 22 of /proc/self/stat, in clock
// ticks: 10 ms steps), or -1.
double processStartSeconds() {
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    const size_t close = text.rfind(')'); // the command name may hold spaces
    if (close == std::string::npos) {
        return -1;
    }
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
        if (i == 22) {
            return std::stod(field) / static_cast<double>(sysconf(_SC_CLK_TCK));
        }
    }
    return -1;
}

// The search path behind a note of every request.
class TimingSource : public FileSource {
public:
    struct Request {
        std::string name;
        double start, end;
    };
    explicit TimingSource(FileSource& inner) : inner(inner) {}
    LoadedFile* load(const char* name, int mode) override {
        const double start = bootSeconds();
        LoadedFile* f = inner.load(name, mode);
        requests.push_back({name, start, bootSeconds()});
        return f;
    }
    void* loadInto(const char* name, void* buffer) override {
        const double start = bootSeconds();
        void* p = inner.loadInto(name, buffer);
        requests.push_back({name, start, bootSeconds()});
        return p;
    }
    FILE* openStream(const char* name, int mode) override {
        const double start = bootSeconds();
        FILE* f = inner.openStream(name, mode);
        requests.push_back({name, start, bootSeconds()});
        return f;
    }
    void touch() override { inner.touch(); }

    FileSource& inner;
    std::vector<Request> requests;
};

std::string kindOf(const std::string& name) {
    std::string lower;
    for (char c : name) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    auto ends = [&](const char* e) {
        const std::string s = e;
        return lower.size() >= s.size() && lower.compare(lower.size() - s.size(), s.size(), s) == 0;
    };
    if (ends(".jpg") || ends(".jpeg")) {
        return "JPEG pictures (decode, upload)";
    }
    if (ends(".exp")) {
        return "scenes";
    }
    if (ends(".env")) {
        return "envelopes";
    }
    if (ends(".raw") || ends(".tga")) {
        return "raw images and alpha";
    }
    if (ends(".xm")) {
        return "module (parse)";
    }
    if (ends(".m3d")) {
        return "MP3 restoration";
    }
    return "other files";
}

// Spreads the phase [begin, end) over the requests made inside it.
void attribute(const TimingSource& source, double begin, double end,
               std::map<std::string, double>& phases) {
    std::vector<const TimingSource::Request*> inside;
    for (const auto& r : source.requests) {
        if (r.start >= begin && r.end <= end) {
            inside.push_back(&r);
        }
    }
    double at = begin;
    std::string kind = "part set-up (code)";
    for (size_t i = 0; i < inside.size(); ++i) {
        phases[kind] += inside[i]->start - at;
        phases["archive (directory, reads)"] += inside[i]->end - inside[i]->start;
        kind = kindOf(inside[i]->name);
        at = inside[i]->end;
    }
    phases[kind] += end - at;
}

intptr_t quietWindowProc(sys::Window*, unsigned, uintptr_t, intptr_t) {
    return 0;
}

int child() {
    const double processStart = processStartSeconds();
    const double mainStart = bootSeconds();
    std::map<std::string, double> phases;
    std::vector<std::string> order;
    auto phase = [&](const std::string& name, double seconds) {
        if (!phases.count(name)) {
            order.push_back(name);
        }
        phases[name] += seconds;
    };

    // Application construction: the GL library, and sound where the dialog would start it.
    double t = bootSeconds();
    sys::preferHeadlessVideo();
    settings.showSetupDialog = 0;
    settings.fullscreen = 0;
    settings.screenWidth = 640;
    settings.screenHeight = 480;
    auto* app = new Application;
    app->music.outputType = FSOUND_OUTPUT_NOSOUND_NONREALTIME;
    app->music.initialise();
    phase("GL library, sound start", bootSeconds() - t);

    // Application::initialise, step by step.
    t = bootSeconds();
    app->window = sys::createWindow("startup", 0, 0, 640, 480, &quietWindowProc, app);
    app->counterFrequency = sys::performanceFrequency();
    app->counterNow = sys::performanceCounter();
    app->context = new RenderContext(app->window, 32, 8);
    if (!fetchMultitextureEntries()) {
        std::fprintf(stderr, "startup: no multitexturing\n");
        return 1;
    }
    app->animating = 1;
    phase("window, GL context", bootSeconds() - t);

    SearchPath inner;
    inner.add(std::make_unique<DirectorySource>(""));
    inner.add(std::make_unique<DirectorySource>(".\\textures\\"));
    t = bootSeconds();
    inner.add(std::make_unique<ArchiveSource>("tir.val"));
    phase("archive (directory, reads)", bootSeconds() - t);
    TimingSource timing(inner);
    searchPath.add(&timing);

    for (const char* name : {"archive (directory, reads)", "JPEG pictures (decode, upload)",
                             "scenes", "envelopes", "raw images and alpha", "MP3 restoration",
                             "module (parse)", "part set-up (code)", "other files"}) {
        phase(name, 0);
    }
    t = bootSeconds();
    app->music.load("mystified.xm");
    const double musicEnd = bootSeconds();
    attribute(timing, t, musicEnd, phases);
    // The parse alone, to take it out of the restoration it follows.
    const double parseStart = bootSeconds();
    FmusicModule* again = FMUSIC_LoadSongMemory(app->music.moduleImage, app->music.moduleSize);
    const double parse = bootSeconds() - parseStart;
    FMUSIC_FreeSong(again);
    phases["MP3 restoration"] -= parse;
    phases["module (parse)"] += parse;

    t = bootSeconds();
    demoClock.replaceSyncEnvelope(new ScalarTrack);
    loadEnvelope(*syncEnvelope, "mystified.env");
    buildSchedule(app->timeline, app->scheduleReady);
    attribute(timing, t, bootSeconds(), phases);

    t = bootSeconds();
    applyStartState();
    app->overlay = new TextOverlay(builtinFont, 16, 1234, 640, 480 / 4);
    app->renderFrame(app->advanceClock());
    glFinish();
    const double end = bootSeconds();
    phase("GL state, overlay, first frame", end - t);

    const double total = processStart >= 0 ? end - processStart : end - mainStart;
    std::printf("start-up to the first frame, default data (%d parts), 640 x 480\n",
                app->timeline.count);
    std::printf("  %-34s %9s %7s\n", "phase", "ms", "share");
    if (processStart >= 0) {
        std::printf("  %-34s %9.1f %6.1f%%  (10 ms steps)\n", "process start to main",
                    1000 * (mainStart - processStart), 100 * (mainStart - processStart) / total);
    }
    double named = 0;
    for (const std::string& name : order) {
        named += phases[name];
        std::printf("  %-34s %9.1f %6.1f%%\n", name.c_str(), 1000 * phases[name],
                    100 * phases[name] / total);
    }
    std::printf("  %-34s %9.1f\n", "total", 1000 * total);
    std::printf("  goal 500 ms: total / goal = %.2f\n", total / 0.5);
    (void)named;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--child") {
        return child();
    }
    const bench::fs::path bin = bench::programDir(argv[0]);
    bench::Scratch scratch("startup");
    if (!bench::forgeData(bin, scratch.path)) {
        std::fprintf(stderr, "startup: forge could not write the default data\n");
        return 1;
    }
    // Once to bring the files into the page cache, then the run that is reported.
    const std::string command = "cd '" + scratch.path.string() +
                                "' && SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen} '" +
                                (bin / "bench_startup").string() + "' --child";
    bench::run(command + " > /dev/null 2>&1");
    return bench::run(command + " 2>/dev/null | grep -v -e '^mystified.m3d$' -e '^done.$'") ? 0 : 1;
}
