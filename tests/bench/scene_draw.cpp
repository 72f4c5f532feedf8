// scene_draw.cpp - CPU cost of the scene engine with a GL table that does nothing: drawScene on
// a lit, environment-mapped mesh of 20,000 faces (faces per millisecond), and reading scene
// files (MB/s). Each is measured next to a floor in the same run, so the ratios compare across
// machines: the bare GL calls that draw the same faces, and one plain pass over the file bytes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "scene/materials.h"
#include "resources/search_path.h"
#include "gfx/render_state.h"
#include "scene/scene.h"
#include "scene/scene_state.h"
#include "tools/common/offscreen_gl.h"
#include "tools/common/scene_writer.h"

namespace {

constexpr int rings = 100, segments = 100; // 2 * 100 * 100 = 20,000 faces

using scenefile::vectorKey;

// A sphere of radius 50 (rings x segments quads, two faces each), textured and
// environment-mapped, turning under a moving camera.
std::vector<unsigned char> sphereScene() {
    scenefile::SceneFile f;
    f.magic = "QUOR";
    f.chunks.push_back(scenefile::plainMaterial("chrome", 2, "base.jpg", "env.jpg"));

    scenefile::Mesh m;
    m.name = "Sphere";
    m.id = 1;
    for (int r = 0; r <= rings; ++r) {
        const float theta = 3.14159265f * static_cast<float>(r) / rings;
        for (int s = 0; s <= segments; ++s) {
            const float phi = 6.2831853f * static_cast<float>(s) / segments;
            m.vertices.push_back({50 * std::sin(theta) * std::cos(phi),
                                  50 * std::sin(theta) * std::sin(phi), 50 * std::cos(theta)});
            m.texVertices.push_back(
                {static_cast<float>(s) / segments, static_cast<float>(r) / rings});
        }
    }
    for (int r = 0; r < rings; ++r) {
        for (int s = 0; s < segments; ++s) {
            const int a = r * (segments + 1) + s, b = a + 1, c = a + segments + 1, d = c + 1;
            m.faces.push_back({a, c, d, 0});
            m.faceTexVertices.push_back({a, c, d});
            m.faces.push_back({a, d, b, 0});
            m.faceTexVertices.push_back({a, d, b});
        }
    }
    m.position = {vectorKey(0, 0, 0, 0), vectorKey(100, 0, 0, 20)};
    scenefile::RotationKey turn;
    turn.w = std::cos(0.5f);
    turn.z = std::sin(0.5f);
    turn.time = 100;
    m.rotation = {scenefile::RotationKey{}, turn};
    m.scale = {vectorKey(0, 1, 1, 1)};
    f.chunks.push_back(m);

    scenefile::Dummy target;
    target.name = "Target";
    target.id = 2;
    target.position = {vectorKey(0, 0, 0, 0)};
    f.chunks.push_back(target);
    scenefile::Dummy lamp;
    lamp.name = "Lamp";
    lamp.id = 3;
    lamp.position = {vectorKey(0, 100, -100, 100), vectorKey(100, -100, -100, 50)};
    f.chunks.push_back(lamp);
    scenefile::Camera camera;
    camera.name = "Camera";
    camera.targetName = "Target";
    camera.id = 4;
    camera.position = {vectorKey(0, 0, -200, 40), vectorKey(50, 150, -150, 60),
                       vectorKey(100, 0, -200, 40)};
    camera.fov = {{0, 0.9f}};
    camera.roll = {{0, 0}};
    f.chunks.push_back(camera);

    std::vector<unsigned char> image;
    std::string error;
    if (!scenefile::writeScene(f, image, error)) {
        std::fprintf(stderr, "bench: %s\n", error.c_str());
        std::abort();
    }
    return image;
}

int fakeTexture(const char*) {
    static int next = 1;
    return next++;
}

std::unique_ptr<Scene> readFromMemory(const std::vector<unsigned char>& image) {
    auto scene = std::make_unique<Scene>("sphere.exp");
    readKexp(scene.get(), new LoadedFile(const_cast<unsigned char*>(image.data()),
                                         static_cast<int>(image.size()), loadFatal));
    return scene;
}

struct Setup {
    Setup() {
        installNullGl();
        sceneState.useTextureLoader(&fakeTexture);
    }
};
const Setup setup;

void BM_DrawSceneLitEnvMapped(benchmark::State& state) {
    const auto image = sphereScene();
    auto scene = readFromMemory(image);
    scene->firstMesh->unlit = 0;
    scene->light = scene->firstDummy->next; // the lamp
    const int faces = scene->firstMesh->faceCount;
    float t = 0;
    int drawn = 0;
    for (auto _ : state) {
        renderState.startFaceCount();
        beginPrimitive(GL_TRIANGLES);
        drawScene(scene.get(), t);
        endPrimitive();
        drawn = drawnFaceCount;
        t = t >= 100 ? 0 : t + 0.37f;
    }
    // Faces of the mesh processed per second of CPU time (divide by 1000 for per millisecond).
    state.counters["faces"] = benchmark::Counter(static_cast<double>(faces),
                                                 benchmark::Counter::kIsIterationInvariantRate);
    state.counters["drawn"] = drawn; // the ones that faced the camera in the last frame
}
BENCHMARK(BM_DrawSceneLitEnvMapped)->Unit(benchmark::kMillisecond);

// The floor: the GL calls emitTwoTextures makes for every face, with nothing else.
void BM_BareGlCallsForTheSameFaces(benchmark::State& state) {
    const auto image = sphereScene();
    auto scene = readFromMemory(image);
    const MeshObject* mesh = scene->firstMesh;
    for (auto _ : state) {
        glBegin(GL_TRIANGLES);
        for (int i = 0; i < mesh->faceCount; ++i) {
            const Face& f = mesh->faces[i];
            glColor4f(1, 1, 1, 1);
            for (int k = 0; k < 3; ++k) {
                glMultiTexCoord2fARB(GL_TEXTURE0_ARB, f.corner[k]->u, f.corner[k]->v);
                glMultiTexCoord2fARB(GL_TEXTURE1_ARB, f.vertex[k]->envU, f.vertex[k]->envV);
                glVertex3fv(f.vertex[k]->position);
            }
        }
        glEnd();
    }
    state.counters["faces"] = benchmark::Counter(static_cast<double>(mesh->faceCount),
                                                 benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_BareGlCallsForTheSameFaces)->Unit(benchmark::kMillisecond);

void BM_ReadSceneFile(benchmark::State& state) {
    const auto image = sphereScene();
    for (auto _ : state) {
        auto scene = readFromMemory(image);
        benchmark::DoNotOptimize(scene.get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(image.size()));
    state.counters["file_bytes"] = static_cast<double>(image.size());
}
BENCHMARK(BM_ReadSceneFile)->Unit(benchmark::kMillisecond);

// The floor: one pass that reads every 4-byte word of the same file.
void BM_PlainPassOverTheBytes(benchmark::State& state) {
    const auto image = sphereScene();
    for (auto _ : state) {
        uint32_t sum = 0;
        for (size_t i = 0; i + 4 <= image.size(); i += 4) {
            uint32_t w;
            std::memcpy(&w, &image[i], 4);
            sum += w;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(image.size()));
}
BENCHMARK(BM_PlainPassOverTheBytes)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
