// patch_effects.cpp - what a frame of the bubble tube and of the tunnel costs.
//
// CPU: the part's render with a GL table that does nothing (node animation, normal pass,
// tessellation and the calls themselves), next to a floor of the bare immediate-mode calls for
// the same number of triangles. Real: the frame drawn by the machine's GL (Mesa's llvmpipe under
// the headless video driver) at 640 x 480, clear + render + glFinish, next to a floor of a
// cleared frame. Compare each with its floor from the same run.
//
// The parts load the default data: forge (built beside this program) writes it once into a
// scratch folder.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <unistd.h>

#include "effects/bubble_tube.h"
#include "effects/tunnel.h"
#include "gfx/gl_api.h"
#include "gfx/render_state.h"
#include "resources/search_path.h"
#include "resources/textures.h"
#include "scene/scene_state.h"
#include "tools/common/offscreen_gl.h"

namespace {

constexpr int frameWidth = 640, frameHeight = 480;
constexpr int tubeTriangles = 1800;   // 6 x 5 patches, 5 x 3 x 2 triangles, two layers
constexpr int tunnelTriangles = 2160; // 6 x 15 patches, 1 x 4 x 2 triangles, three layers
const float tubeInterval[2] = {18.341f, 40.4f};
const float tunnelInterval[2] = {155.44f, 172.578f};

// The default data on the search path, made once.
void openForgedData() {
    static bool opened = false;
    if (opened) {
        return;
    }
    opened = true;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
    const std::filesystem::path forge = self.parent_path() / "forge";
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("tirval-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string command =
        "'" + forge.string() + "' --out '" + dir.string() + "' > /dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "bench: %s could not write the default data\n",
                     forge.string().c_str());
        std::exit(1);
    }
    searchPath.clear();
    searchPath.add(std::make_unique<ArchiveSource>((dir / "tir.val").string().c_str()));
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::temp_directory_path() /
                                        ("tirval-bench-" + std::to_string(getpid())),
                                    ignored);
    });
}

// The do-nothing table, with a fresh texture catalogue (its ids are not the real context's).
void useNullGl() {
    installNullGl();
    renderState.reset();
    resourceState.reset();
    sceneState.reset();
}

// One 640 x 480 headless context for the whole run. The first call opens it and keeps a copy of
// the real table; later calls put that copy back over whatever the null table left.
bool useRealGl(benchmark::State& state) {
    static OffscreenGl gl;
    static bool opened = false, failed = false;
    static void* slots[glEntryCount];
    static void (*activeTexture)(GLenum);
    static void (*multiTexCoordV)(GLenum, const GLfloat*);
    static void (*multiTexCoord)(GLenum, GLfloat, GLfloat);
    if (!opened && !failed) {
        std::string error;
        if (!gl.open(frameWidth, frameHeight, error)) {
            std::fprintf(stderr, "bench: %s\n", error.c_str());
            failed = true;
        } else {
            opened = true;
            for (int i = 0; i < glEntryCount; ++i) {
                slots[i] = *glEntrySlot(i);
            }
            activeTexture = glActiveTextureARB;
            multiTexCoordV = glMultiTexCoord2fvARB;
            multiTexCoord = glMultiTexCoord2fARB;
        }
    }
    if (failed) {
        state.SkipWithError("no GL context");
        return false;
    }
    for (int i = 0; i < glEntryCount; ++i) {
        *glEntrySlot(i) = slots[i];
    }
    glActiveTextureARB = activeTexture;
    glMultiTexCoord2fvARB = multiTexCoordV;
    glMultiTexCoord2fARB = multiTexCoord;
    renderState.reset();
    resourceState.reset();
    sceneState.reset();
    glViewport(0, 0, frameWidth, frameHeight);
    return true;
}

// Renders `part` once per iteration at times stepping through its interval.
template <class P> void renderFrames(benchmark::State& state, P& part, bool real) {
    const float length = part.end - part.start;
    float t = 0.0f;
    int faces = 0;
    for (auto _ : state) {
        if (real) {
            glClearColor(0, 0, 0, 0);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        }
        renderState.startFaceCount();
        part.render(t);
        if (real) {
            glFinish();
        }
        faces = drawnFaceCount;
        t += 0.37f;
        if (t > length) {
            t -= length;
        }
    }
    state.counters["triangles"] = faces;
}

void BM_TubeFrameNoOpGl(benchmark::State& state) {
    openForgedData();
    useNullGl();
    BubbleTubePart tube("y1.jpg", "y1.jpg", 1, tubeInterval);
    renderFrames(state, tube, false);
}
BENCHMARK(BM_TubeFrameNoOpGl)->Unit(benchmark::kMicrosecond);

void BM_TunnelFrameNoOpGl(benchmark::State& state) {
    openForgedData();
    useNullGl();
    TunnelPart tunnel("NebulaMultiCrater1.jpg", "WaterGreenWorld.jpg", "y3.jpg", tunnelInterval);
    renderFrames(state, tunnel, false);
}
BENCHMARK(BM_TunnelFrameNoOpGl)->Unit(benchmark::kMicrosecond);

// The floor: the calls a uv-mapped layer makes for the same triangles, with nothing else.
void BM_BareCallsForTheSameTriangles(benchmark::State& state) {
    useNullGl();
    const int triangles = static_cast<int>(state.range(0));
    for (auto _ : state) {
        glBegin(GL_TRIANGLES);
        for (int i = 0; i < triangles * 3; ++i) {
            const float f = static_cast<float>(i);
            glTexCoord2f(f, f);
            glColor4f(1, 1, 1, f);
            glVertex3f(f, f, f);
        }
        glEnd();
    }
    state.counters["triangles"] = triangles;
}
BENCHMARK(BM_BareCallsForTheSameTriangles)
    ->Arg(tubeTriangles)
    ->Arg(tunnelTriangles)
    ->Unit(benchmark::kMicrosecond);

void BM_TubeFrameLlvmpipe640x480(benchmark::State& state) {
    openForgedData();
    if (!useRealGl(state)) {
        return;
    }
    BubbleTubePart tube("y1.jpg", "y1.jpg", 1, tubeInterval);
    renderFrames(state, tube, true);
}
BENCHMARK(BM_TubeFrameLlvmpipe640x480)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TunnelFrameLlvmpipe640x480(benchmark::State& state) {
    openForgedData();
    if (!useRealGl(state)) {
        return;
    }
    TunnelPart tunnel("NebulaMultiCrater1.jpg", "WaterGreenWorld.jpg", "y3.jpg", tunnelInterval);
    renderFrames(state, tunnel, true);
}
BENCHMARK(BM_TunnelFrameLlvmpipe640x480)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor: a cleared frame, finished.
void BM_ClearedFrameLlvmpipe640x480(benchmark::State& state) {
    if (!useRealGl(state)) {
        return;
    }
    for (auto _ : state) {
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glFinish();
    }
}
BENCHMARK(BM_ClearedFrameLlvmpipe640x480)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
