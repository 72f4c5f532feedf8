// gl_layer.cpp - what the GL 1.1 layer over OpenGL ES 3 costs: the whole demo's frames at
// 640 x 480 through Mesa's own fixed-function pipeline and through the layer (TIR_GL=es3), both
// on llvmpipe in the same run, ten frames in each second of demo time.
//
// Both passes are the frame benchmark's child run (bench_demo_frames --child), once per GL
// library, so the frames, the virtual counter and the glFinish before each swap are the same.
// It prints the median frame time of each path and their ratio, the slowest second of each, and
// the seconds where the layer costs the most against Mesa. The goal is a ratio of at most 1.2.
// Where the time goes: each child also runs the same frames with a do-nothing GL table (our
// code alone), so a frame splits into the demo's own CPU work, which is the same for both, and
// the GL's work, which for the layer is its batching and state translation plus llvmpipe
// running the generated shaders.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

struct Second {
    int index = 0;
    int frames = 0;
    double real = 0; // wall seconds of the second's frames with the real GL
    double cpu = 0;  // the same frames with the do-nothing table
    std::string rows;
};

std::vector<Second> readSeconds(const std::string& path) {
    std::ifstream in(path);
    std::vector<Second> seconds;
    for (std::string line; std::getline(in, line);) {
        std::istringstream f(line);
        std::string tag;
        f >> tag;
        if (tag != "second") {
            continue;
        }
        Second s;
        f >> s.index >> s.frames >> s.real >> s.cpu;
        std::getline(f, s.rows);
        s.rows.erase(0, s.rows.find_first_not_of(' '));
        if (s.frames > 0) {
            seconds.push_back(s);
        }
    }
    return seconds;
}

double msPerFrame(const Second& s) {
    return 1000.0 * s.real / s.frames;
}

} // namespace

int main(int, char** argv) {
    const bench::fs::path bin = bench::programDir(argv[0]);
    bench::Scratch scratch("gl-layer");
    if (!bench::forgeData(bin, scratch.path)) {
        std::fprintf(stderr, "gl_layer: forge could not write the default data\n");
        return 1;
    }
    std::printf("the whole demo at 640 x 480 through Mesa's fixed-function pipeline and through "
                "the GL layer over OpenGL ES 3, llvmpipe, one run\n");
    std::vector<Second> mesa, layer;
    for (const char* path : {"mesa", "layer"}) {
        const std::string out = (scratch.path / (std::string(path) + ".txt")).string();
        const std::string choice =
            std::string(path) == "layer" ? "TIR_GL=es3" : "TIR_GL="; // empty: the driver's own
        const std::string command = "cd '" + scratch.path.string() + "' && env " + choice +
                                    " SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-offscreen} '" +
                                    (bin / "bench_demo_frames").string() + "' --child 640 480 '" +
                                    out + "' > /dev/null";
        if (!bench::run(command)) {
            std::printf("the %s pass failed\n", path);
            return 1;
        }
        (std::string(path) == "layer" ? layer : mesa) = readSeconds(out);
    }
    if (mesa.empty() || mesa.size() != layer.size()) {
        std::printf("the two passes do not cover the same seconds\n");
        return 1;
    }

    std::vector<double> mesaMs, layerMs, ratios, mesaCpu, layerCpu;
    for (size_t i = 0; i < mesa.size(); ++i) {
        mesaMs.push_back(msPerFrame(mesa[i]));
        layerMs.push_back(msPerFrame(layer[i]));
        ratios.push_back(layerMs.back() / mesaMs.back());
        mesaCpu.push_back(1000.0 * mesa[i].cpu / mesa[i].frames);
        layerCpu.push_back(1000.0 * layer[i].cpu / layer[i].frames);
    }
    const auto slowest = [](const std::vector<double>& ms) {
        return static_cast<size_t>(std::max_element(ms.begin(), ms.end()) - ms.begin());
    };
    const size_t ms = slowest(mesaMs), ls = slowest(layerMs);
    std::printf("\n                      Mesa     layer   layer/Mesa\n");
    std::printf("  median frame ms   %7.2f   %7.2f   %6.3f\n", bench::median(mesaMs),
                bench::median(layerMs), bench::median(layerMs) / bench::median(mesaMs));
    std::printf("  slowest second    %7.2f   %7.2f   %6.3f   (seconds %d and %d)\n", mesaMs[ms],
                layerMs[ls], layerMs[ls] / mesaMs[ms], mesa[ms].index, layer[ls].index);
    std::printf("  median per-second ratio layer/Mesa: %.3f (goal: at most 1.2)\n",
                bench::median(ratios));
    std::printf("  our code alone (do-nothing GL), median ms: %.3f and %.3f\n",
                bench::median(mesaCpu), bench::median(layerCpu));

    std::vector<size_t> order(ratios.size());
    for (size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return ratios[a] > ratios[b]; });
    std::printf("  where the layer costs most against Mesa:\n"
                "    second   Mesa ms  layer ms   ratio  rows\n");
    for (size_t k = 0; k < std::min<size_t>(5, order.size()); ++k) {
        const size_t i = order[k];
        std::printf("    %6d %9.2f %9.2f %7.3f  %s\n", mesa[i].index, mesaMs[i], layerMs[i],
                    ratios[i], mesa[i].rows.c_str());
    }
    return 0;
}
