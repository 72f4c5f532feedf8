// scene_parts.cpp - CPU cost of one frame of each scene part (the opening and the nine
// scene-playback parts) at its busiest moment, with a GL table that does nothing. The busiest
// moment is the local time, on a 0.05 s grid over the part's interval, at which it hands the
// most faces to the material routines. Each part reports its faces per second next to a floor
// measured in the same run (the bare GL calls of a textured face, with nothing else), so the
// ratio compares across machines.
//
// The data comes from the forge tool beside this program, written into a scratch folder.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>

#include "effects/beginning.h"
#include "effects/scene_playback.h"
#include "gfx/render_state.h"
#include "resources/search_path.h"
#include "tools/common/offscreen_gl.h"

namespace fs = std::filesystem;

namespace {

struct PartCase {
    const char* name;
    std::function<Part*()> make;
};

const PartCase partCases[] = {
    {"BeginningPart", [] { return new BeginningPart(0.0f, 22.0f); }},
    {"BoxicalPart", [] { return new BoxicalPart(35.5f, 47.0f); }},
    {"Boxical4Part", [] { return new Boxical4Part(58.9f, 69.753f); }},
    {"CheckPart", [] { return new CheckPart(59.302f, 69.753f); }},
    {"EnergyPart", [] { return new EnergyPart(176.0f, 186.5f); }}, // the demo ends at 186.5
    {"SphericalPart", [] { return new SphericalPart(53.0f, 59.0f); }},
    {"CreditsPart", [] { return new CreditsPart(104.0f, 138.5f); }},
    {"ClockPart", [] { return new ClockPart(104.0f, 138.5f); }},
    {"BubblebathPart", [] { return new BubblebathPart(26.5f, 44.0f); }},
    {"FacetedPart", [] { return new FacetedPart(138.302f, 159.44f); }},
};

int facesAt(Part& part, float t) {
    renderState.setFadeFactor(1.0f);
    renderState.startFaceCount();
    part.render(t);
    return drawnFaceCount;
}

// The local time with the most faces drawn.
float busiestTime(Part& part) {
    float best = 0;
    int most = -1;
    for (float t = 0; t <= part.end - part.start; t += 0.05f) {
        const int faces = facesAt(part, t);
        if (faces > most) {
            most = faces;
            best = t;
        }
    }
    return best;
}

void benchPart(benchmark::State& state, Part* part, float t) {
    int faces = 0;
    for (auto _ : state) {
        faces = facesAt(*part, t);
    }
    state.counters["at_s"] = t;
    state.counters["faces"] = faces;
    state.counters["faces_per_s"] = benchmark::Counter(
        static_cast<double>(faces), benchmark::Counter::kIsIterationInvariantRate);
}

// The floor: per face one colour and three corners of two texture coordinates and a vertex.
void benchBareFaces(benchmark::State& state) {
    const int faces = 20000;
    const float corner[3] = {1, 2, 3};
    for (auto _ : state) {
        glBegin(GL_TRIANGLES);
        for (int i = 0; i < faces; ++i) {
            glColor4f(1, 1, 1, 1);
            for (int k = 0; k < 3; ++k) {
                glTexCoord2f(0.5f, 0.25f);
                glVertex3fv(corner);
            }
        }
        glEnd();
    }
    state.counters["faces_per_s"] = benchmark::Counter(
        static_cast<double>(faces), benchmark::Counter::kIsIterationInvariantRate);
}

fs::path programFolder() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
        return fs::current_path();
    }
    path[n] = 0;
    return fs::path(path).parent_path();
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const fs::path forge = programFolder() / "forge";
    const fs::path data = fs::temp_directory_path() /
                          ("tirval-bench-parts-" + std::to_string(std::random_device{}()));
    fs::create_directories(data);
    const std::string command =
        "'" + forge.string() + "' --out '" + data.string() + "' > /dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "bench_scene_parts: %s could not write the data\n",
                     forge.string().c_str());
        fs::remove_all(data);
        return 1;
    }

    installNullGl();
    ArchiveSource* archive = new ArchiveSource((data / "tir.val").string().c_str());
    searchPath.add(archive);

    std::vector<std::unique_ptr<Part>> parts;
    for (const PartCase& c : partCases) {
        Part* part = c.make();
        parts.emplace_back(part);
        const float t = busiestTime(*part);
        benchmark::RegisterBenchmark(c.name, benchPart, part, t)->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("BareGlCallsPerFace", benchBareFaces)
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    parts.clear();
    searchPath.clear();
    delete archive;
    fs::remove_all(data);
    return 0;
}
