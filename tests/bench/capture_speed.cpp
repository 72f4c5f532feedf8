// capture_speed.cpp - how fast the capture program runs the whole demo, drawing only and with
// each output: PNG frames and WAV, an MP4 through ffmpeg (where it is installed), and all three
// in one run. Each line gives the speed as a multiple of real time, the cost over the drawing
// alone and the peak memory of the capture process (and of ffmpeg, its child). The goal: each
// output costs at most 15 % over drawing alone, and every run is at least 2.5 x real time at
// 640 x 480 and 30 fps.
//
// Default: 640 x 480 at 30 fps, the whole demo. `bench_capture_speed --size 1920x1080 --fps 60
// [--to S]` measures another size and rate (`make bench-hd` runs 1080p at 60 fps over the first
// 30 s, which alone takes several minutes on two cores).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_support.h"

namespace {

struct Result {
    bool ok = false;
    double wall = 0, realTime = 0;
    long peakMiB = -1, ffmpegMiB = -1;
};

// The number after `key` in `line`, or -1.
long numberAfter(const std::string& line, const char* key) {
    const size_t at = line.find(key);
    return at == std::string::npos ? -1 : std::atol(line.c_str() + at + std::strlen(key));
}

Result timedCapture(const bench::fs::path& bin, const bench::fs::path& dir,
                    const std::string& common, const std::string& outputs) {
    bench::fs::remove_all(dir / "frames");
    const std::string log = (dir / "capture.txt").string();
    const std::string command = "cd '" + dir.string() +
                                "' && SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen} '" +
                                (bin / "capture").string() + "' --data . " + common + " " +
                                outputs + " > '" + log + "' 2> /dev/null";
    Result r;
    const double start = bench::now();
    r.ok = bench::run(command);
    r.wall = bench::now() - start;
    std::ifstream in(log);
    std::string line;
    double seconds = 0;
    while (std::getline(in, line)) {
        if (line.rfind("captured", 0) == 0) {
            const size_t open = line.find('(');
            seconds = open == std::string::npos ? 0 : std::atof(line.c_str() + open + 1);
        }
        if (line.rfind("read back", 0) == 0) {
            r.peakMiB = numberAfter(line, "peak memory ");
            r.ffmpegMiB = numberAfter(line, "ffmpeg's ");
        }
    }
    // Wall time with start-up: what a person waits for.
    r.realTime = r.wall > 0 ? seconds / r.wall : 0;
    bench::fs::remove_all(dir / "frames");
    return r;
}

void print(const char* what, const Result& r, const Result& base) {
    if (!r.ok) {
        std::printf("  %-22s failed\n", what);
        return;
    }
    char cost[32] = "";
    if (&r != &base && base.ok && base.wall > 0) {
        std::snprintf(cost, sizeof cost, "%+6.1f %%", 100.0 * (r.wall / base.wall - 1.0));
    }
    char memory[48];
    if (r.ffmpegMiB >= 0) {
        std::snprintf(memory, sizeof memory, "%5ld MiB + ffmpeg %ld MiB", r.peakMiB, r.ffmpegMiB);
    } else {
        std::snprintf(memory, sizeof memory, "%5ld MiB", r.peakMiB);
    }
    std::printf("  %-22s %7.1f s %7.2f x %9s   %s\n", what, r.wall, r.realTime, cost, memory);
}

} // namespace

int main(int argc, char** argv) {
    std::string size = "640x480", fps = "30", to;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        (name == "--size" ? size : name == "--fps" ? fps : to) = argv[i + 1];
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each line as its run ends: the runs take minutes
    const bench::fs::path bin = bench::programDir(argv[0]);
    bench::Scratch scratch("capture");
    if (!bench::forgeData(bin, scratch.path)) {
        std::fprintf(stderr, "capture_speed: forge could not write the default data\n");
        return 1;
    }
    const std::string common =
        "--fps " + fps + " --size " + size + (to.empty() ? "" : " --to " + to);
    std::printf("capture of %s, %s at %s fps (wall time with start-up)\n",
                to.empty() ? "the whole demo" : ("0 to " + to + " s").c_str(), size.c_str(),
                fps.c_str());
    std::printf("  %-22s %9s %9s %9s   %s\n", "output", "time", "realtime", "cost", "peak memory");
    const Result render = timedCapture(bin, scratch.path, common, "--render-only");
    print("render only", render, render);
    const Result png = timedCapture(bin, scratch.path, common, "--out frames --wav demo.wav");
    print("PNG frames + WAV", png, render);
    bool ok = render.ok && png.ok;
    if (bench::run("command -v ffmpeg > /dev/null 2>&1")) {
        const Result mp4 = timedCapture(bin, scratch.path, common, "--video demo.mp4");
        print("MP4 through ffmpeg", mp4, render);
        const Result all =
            timedCapture(bin, scratch.path, common, "--out frames --wav demo.wav --video demo.mp4");
        print("PNG + WAV + MP4", all, render);
        ok = ok && mp4.ok && all.ok;
    } else {
        std::printf("  MP4 through ffmpeg: not measured, ffmpeg is not installed\n");
    }
    return ok ? 0 : 1;
}
