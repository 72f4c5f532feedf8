// capture_speed.cpp - how fast the capture program renders the whole demo at 640 x 480 and
// 30 frames per second, PNG frames and WAV written, and (where ffmpeg is installed) straight
// into an MP4. The goal is at least twice real time: 60 frames per second of wall time.
#include <cstdio>
#include <string>

#include "bench_support.h"

namespace {

// Runs one capture and prints its closing line; false when it failed.
bool timedCapture(const bench::fs::path& bin, const bench::fs::path& dir, const char* what,
                  const std::string& outputs) {
    const std::string log = (dir / "capture.txt").string();
    const std::string command = "cd '" + dir.string() +
                                "' && SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen} '" +
                                (bin / "capture").string() + "' --data . --fps 30 --size 640x480 " +
                                outputs + " > '" + log + "' 2> /dev/null";
    const double start = bench::now();
    const bool ok = bench::run(command);
    const double wall = bench::now() - start;
    std::ifstream in(log);
    std::string line, last;
    while (std::getline(in, line)) {
        if (line.rfind("captured", 0) == 0) {
            last = line;
        }
    }
    if (!ok) {
        std::printf("  %-26s failed\n", what);
        return false;
    }
    std::printf("  %-26s %s\n  %-26s (%.1f s with start-up; goal: 2.00 x real time)\n", what,
                last.c_str(), "", wall);
    return true;
}

} // namespace

int main(int, char** argv) {
    const bench::fs::path bin = bench::programDir(argv[0]);
    bench::Scratch scratch("capture");
    if (!bench::forgeData(bin, scratch.path)) {
        std::fprintf(stderr, "capture_speed: forge could not write the default data\n");
        return 1;
    }
    std::printf("capture of the whole demo, 640 x 480 at 30 fps\n");
    bool ok = timedCapture(bin, scratch.path, "PNG frames and WAV", "--out frames --wav demo.wav");
    bench::fs::remove_all(scratch.path / "frames");
    if (bench::run("command -v ffmpeg > /dev/null 2>&1")) {
        ok = timedCapture(bin, scratch.path, "MP4 through ffmpeg", "--video demo.mp4") && ok;
    } else {
        std::printf("  MP4 through ffmpeg: not measured, ffmpeg is not installed\n");
    }
    return ok ? 0 : 1;
}
