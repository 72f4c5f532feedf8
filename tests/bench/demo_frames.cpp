// demo_frames.cpp - how fast the release player's frame loop runs over the whole demo,
// headless on llvmpipe, at 640 x 480 and 1024 x 768.
//
// For every second of demo time it renders ten frames spread over that second through the
// player's own advanceClock() and renderFrame() on a virtual counter, with glFinish before the
// swap so the rasteriser's work is counted, and reports the frame rate the player would reach
// there: the minimum and the median over the demo and the five slowest seconds with the
// schedule rows on screen. The same frames are then run with a GL table that does nothing:
// that is the CPU side of each frame, our code alone. The goal is that it stays under a fifth
// of the real frame time, so the renderer and not our code sets the pace; the table gives the
// ratio for the slow seconds and counts the seconds that miss it. Peak memory is the child
// process's high-water mark after the real-GL pass. Each size runs in a child process, since
// the player starts once per process.
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/application.h"
#include "bench_support.h"
#include "gfx/gl_api.h"
#include "platform/platform.h"
#include "tools/common/headless_player.h"
#include "tools/common/offscreen_gl.h"
#include "tools/common/timeline_rows.h"

namespace {

constexpr int framesPerSecond = 10;

struct Second {
    int frames = 0;
    double real = 0; // seconds of wall time for its frames with the real GL
    double cpu = 0;  // the same frames with the do-nothing GL table
    std::string rows;
};

// Renders every sample frame, adding each one's wall time to its second.
void timeFrames(Application* app, sys::VirtualCounter& counter, std::vector<Second>& seconds,
                bool real) {
    for (size_t s = 0; s < seconds.size(); ++s) {
        for (int j = 0; j < framesPerSecond; ++j) {
            const double at = static_cast<double>(s) + static_cast<double>(j) / framesPerSecond;
            if (at > demoLength) {
                break;
            }
            counter.now = static_cast<int64_t>(at * counter.frequency + 0.5);
            const double start = bench::now();
            app->renderFrame(app->advanceClock());
            const double spent = bench::now() - start;
            (real ? seconds[s].real : seconds[s].cpu) += spent;
            if (real) {
                ++seconds[s].frames;
                for (const TimelineRow& r : activeRows(app->timeline, static_cast<float>(at))) {
                    const std::string item = std::to_string(r.row) + " " + r.name;
                    if (seconds[s].rows.find(item) == std::string::npos) {
                        seconds[s].rows += (seconds[s].rows.empty() ? "" : ", ") + item;
                    }
                }
            }
        }
    }
}

int child(int width, int height, const char* outPath) {
    static sys::VirtualCounter counter;
    counter.frequency = 1000000;
    sys::useVirtualCounter(&counter);
    std::string error;
    Application* app = startHeadlessPlayer(width, height, false, error);
    if (!app) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    // The swap alone may leave the rasteriser's work queued; finish it inside the frame.
    app->beforePresent = [] { glFinish(); };
    app->renderFrame(app->advanceClock()); // the first frame starts the clock at 0

    std::vector<Second> seconds(static_cast<size_t>(demoLength) + 1);
    timeFrames(app, counter, seconds, true);
    const long peak = bench::peakMemoryKb();

    installNullGl();
    app->beforePresent = nullptr;
    app->context = nullptr; // no swap either: the frame is our code alone
    timeFrames(app, counter, seconds, false);

    std::FILE* out = std::fopen(outPath, "w");
    if (!out) {
        return 1;
    }
    std::fprintf(out, "peak %ld\n", peak);
    for (size_t s = 0; s < seconds.size(); ++s) {
        std::fprintf(out, "second %zu %d %.9f %.9f %s\n", s, seconds[s].frames, seconds[s].real,
                     seconds[s].cpu, seconds[s].rows.empty() ? "-" : seconds[s].rows.c_str());
    }
    return std::fclose(out) == 0 ? 0 : 1;
}

void report(int width, int height, const std::string& path) {
    std::ifstream in(path);
    std::string line;
    long peak = -1;
    std::vector<Second> seconds;
    std::vector<int> index;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        std::string tag;
        f >> tag;
        if (tag == "peak") {
            f >> peak;
        } else if (tag == "second") {
            Second s;
            int n = 0;
            f >> n >> s.frames >> s.real >> s.cpu;
            std::getline(f, s.rows);
            s.rows.erase(0, s.rows.find_first_not_of(' '));
            if (s.frames > 0) {
                seconds.push_back(s);
                index.push_back(n);
            }
        }
    }
    if (seconds.empty()) {
        std::printf("%dx%d: no result\n", width, height);
        return;
    }
    std::vector<double> fps;
    std::vector<size_t> order;
    int missing = 0;
    double worstRatio = 0;
    for (size_t i = 0; i < seconds.size(); ++i) {
        fps.push_back(seconds[i].frames / seconds[i].real);
        order.push_back(i);
        const double ratio = seconds[i].cpu / seconds[i].real;
        missing += ratio > 0.2;
        worstRatio = std::max(worstRatio, ratio);
    }
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return fps[a] < fps[b]; });
    std::printf("\n%d x %d, %d frames in each second of demo time\n", width, height,
                framesPerSecond);
    std::printf("  frame rate: minimum %.1f fps, median %.1f fps\n", fps[order[0]],
                bench::median(fps));
    std::printf("  CPU side (no-op GL) / real frame time: worst %.3f, %d of %zu seconds above "
                "the goal of 0.2\n",
                worstRatio, missing, seconds.size());
    std::printf("  slowest seconds:\n    second    fps   frame ms   CPU ms   CPU/real  rows\n");
    for (size_t k = 0; k < std::min<size_t>(5, order.size()); ++k) {
        const Second& s = seconds[order[k]];
        std::printf("    %6d %6.1f %10.2f %8.4f %10.3f  %s\n", index[order[k]], fps[order[k]],
                    1000 * s.real / s.frames, 1000 * s.cpu / s.frames, s.cpu / s.real,
                    s.rows.c_str());
    }
    std::printf("  peak memory: %.1f MB\n", peak / 1024.0);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[1], "--child") == 0) {
        return child(std::atoi(argv[2]), std::atoi(argv[3]), argv[4]);
    }
    const bench::fs::path bin = bench::programDir(argv[0]);
    bench::Scratch scratch("frames");
    if (!bench::forgeData(bin, scratch.path)) {
        std::fprintf(stderr, "demo_frames: forge could not write the default data\n");
        return 1;
    }
    std::printf("the release player's frame loop over the whole demo, headless on llvmpipe\n");
    for (const auto& [w, h] : {std::pair{640, 480}, std::pair{1024, 768}}) {
        const std::string out = (scratch.path / ("frames-" + std::to_string(w) + ".txt")).string();
        const std::string command = "cd '" + scratch.path.string() +
                                    "' && SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen} '" +
                                    (bin / "bench_demo_frames").string() + "' --child " +
                                    std::to_string(w) + " " + std::to_string(h) + " '" + out +
                                    "' > /dev/null";
        if (!bench::run(command)) {
            std::printf("%dx%d: the run failed\n", w, h);
            continue;
        }
        report(w, h, out);
    }
    return 0;
}
