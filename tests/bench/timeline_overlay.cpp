// timeline_overlay.cpp - what the development player's timeline (Tab) costs per frame, headless
// on llvmpipe at 640 x 480, as a share of the frame it is drawn over.
//
// At demo times spread over the whole demo the player is paused and renders a frame, with
// glFinish before the swap so the rasteriser's work is counted; inside it, after the parts,
// the timeline is drawn alone several times, each between two glFinish calls, so that its own
// work is all the rasteriser does meanwhile. Its cost at a time is the median of those draws
// (the first draw at a time also draws the rows anew, which happens only when a row lights up
// or goes out). The table gives the median, the 90th percentile and the worst over the demo,
// without plots and with two, in milliseconds and as a ratio to the frame's own time (the
// frame less the timeline's draws), against the goal of at most 1 ms. Both are measured in the
// same run, so the ratio holds whatever the machine's speed.
//
//   bench_timeline_overlay [--picture FILE.png]   the second also writes a frame with the
//                                                 timeline shown (docs/timeline-overlay.png)
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/demo_clock.h"
#include "app/dev_application.h"
#include "effects/schedule.h"
#include "bench_support.h"
#include "gfx/gl_api.h"
#include "platform/platform.h"
#include "resources/png_writer.h"
#include "timeline/timeline.h"
#include "tools/common/offscreen_gl.h"

namespace {

constexpr int repetitions = 7;

// One frame at the paused time, its wall time in seconds.
double timedFrame(DevApplication& app) {
    const double start = bench::now();
    app.frame();
    return bench::now() - start;
}

// Plays from `from` to `to` with the counter moved by each frame's own wall time, so the frame
// graph shows llvmpipe's pace, and writes the last frame, timeline and all, to `path`.
bool writePicture(DevApplication& app, sys::VirtualCounter& counter, float from, float to,
                  const std::string& path) {
    app.seekTo(from);
    if (demoClock.paused) {
        app.togglePause();
    }
    std::vector<unsigned char> picture;
    bool read = false;
    app.beforePresent = [&] {
        glFinish();
        if (read) {
            picture = readBackBuffer(640, 480);
        }
    };
    while (demoClock.timeAt(counter.now, counter.frequency) < to) {
        const double spent = timedFrame(app);
        counter.now += static_cast<int64_t>(spent * static_cast<double>(counter.frequency));
    }
    read = true;
    app.frame();
    app.beforePresent = [] { glFinish(); };
    return writePng(path, 640, 480, 3, picture);
}

} // namespace

int main(int argc, char** argv) {
    const char* picture = nullptr;
    if (argc == 3 && std::strcmp(argv[1], "--picture") == 0) {
        picture = argv[2];
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: %s [--picture FILE.png]\n", argv[0]);
        return 2;
    }
    const std::string picturePath = picture ? bench::fs::absolute(picture).string() : std::string();
    const bench::fs::path bin = bench::programDir(argv[0]);
    bench::Scratch scratch("timeline");
    if (!bench::forgeData(bin, scratch.path)) {
        std::fprintf(stderr, "timeline_overlay: forge could not write the default data\n");
        return 1;
    }
    bench::fs::current_path(scratch.path);
    std::freopen((scratch.path / "player.log").c_str(), "w", stderr); // its status lines

    static sys::VirtualCounter counter;
    counter.frequency = 1000000;
    sys::useVirtualCounter(&counter);
    sys::preferHeadlessVideo();
    applyDevSettings();
    fullscreen = 0;
    soundEnabled = 0;
    auto* app = new DevApplication;
    app->plots = {"napierdalanie.env", "alpha_circle.env"};
    // Row 6 muted, as --rows 1-5,7-22 would: the picture shows a dimmed row too.
    app->timeline.selection.rows.assign(scheduleRowCount + 1, true);
    app->timeline.selection.rows[6] = false;
    app->beforePresent = [] { glFinish(); };
    app->createMainWindow(&devWindowProc);
    if (!app->context) {
        std::printf("timeline_overlay: no GL context (is SDL_VIDEODRIVER=offscreen there?)\n");
        return 1;
    }
    app->frame(); // starts the clock
    app->togglePause();

    // Inside each measured frame, after its parts: the timeline alone, drawn `repetitions`
    // times between glFinish calls, so that nothing else is in the rasteriser meanwhile.
    const std::function<void(float)> feature = app->overPicture;
    std::vector<double> alone;
    app->overPicture = [&](float t) {
        feature(t);
        for (int i = 0; i < repetitions; ++i) {
            glFinish();
            const double start = bench::now();
            app->drawTimelineAt(t);
            glFinish();
            alone.push_back(bench::now() - start);
        }
    };
    std::printf("the development player's timeline over the picture, headless on llvmpipe, "
                "640 x 480\n");
    int samples = 0;
    for (float t = 0.5f; t < demoLength; t += 6.0f) {
        ++samples;
    }
    std::printf("  at %d demo times over the demo, the timeline drawn %d times alone inside a "
                "frame\n",
                samples, repetitions);
    std::printf("  plots  frame ms  timeline ms: median   90%%   worst  median/frame  goal 1 ms\n");
    for (const std::vector<std::string>& plots : {std::vector<std::string>{}, app->plots}) {
        const std::vector<std::string> all = app->plots;
        app->plots = plots;
        app->loadPlots();
        std::vector<double> costs, frames;
        for (float t = 0.5f; t < demoLength; t += 6.0f) {
            app->seekTo(t);
            alone.clear();
            frames.push_back(timedFrame(*app) - bench::median(alone) * repetitions);
            costs.push_back(bench::median(alone));
        }
        std::vector<double> sorted = costs;
        std::sort(sorted.begin(), sorted.end());
        const double median = bench::median(costs);
        std::printf("  %5zu  %8.2f  %20.3f %6.3f %7.3f  %12.3f  %s\n", plots.size(),
                    1000 * bench::median(frames), 1000 * median,
                    1000 * sorted[sorted.size() * 9 / 10], 1000 * sorted.back(),
                    median / bench::median(frames), 1000 * median <= 1.0 ? "met" : "missed");
        app->plots = all;
    }
    app->overPicture = feature;
    app->loadPlots();
    if (picture) {
        app->timelineShown = true;
        if (!writePicture(*app, counter, 39.0f, 40.5f, picturePath)) {
            std::printf("  cannot write %s\n", picturePath.c_str());
            return 1;
        }
        std::printf("  wrote %s\n", picturePath.c_str());
    }
    bench::fs::current_path(bin); // out of the scratch folder, which goes now
    return 0;
}
