// demo_scene.cpp - the example scene and its pictures written as JPEG files.
#include "tools/common/demo_scene.h"

#include <cmath>
#include <cstdio>
#include <fstream>

#include "tools/common/jpeg_writer.h"

namespace {

using Vec3 = std::array<float, 3>;

// One side of a box: four corners c +- u +- v, two faces wound so that their normal is u x v
// (pointing out of the box), texture (0, 0) at c - u - v and (1, 1) at c + u + v as stored in
// the file (the reader flips v, so the picture's top row lands on the +v edge).
void addSide(scenefile::Mesh& m, Vec3 c, Vec3 u, Vec3 v) {
    const auto at = [&](float a, float b) {
        return Vec3{c[0] + a * u[0] + b * v[0], c[1] + a * u[1] + b * v[1],
                    c[2] + a * u[2] + b * v[2]};
    };
    const int32_t base = static_cast<int32_t>(m.vertices.size());
    const int32_t tbase = static_cast<int32_t>(m.texVertices.size());
    m.vertices.push_back(at(-1, -1));
    m.vertices.push_back(at(1, -1));
    m.vertices.push_back(at(1, 1));
    m.vertices.push_back(at(-1, 1));
    m.texVertices.push_back({0, 0});
    m.texVertices.push_back({1, 0});
    m.texVertices.push_back({1, 1});
    m.texVertices.push_back({0, 1});
    m.faces.push_back({base, base + 1, base + 2, 0});
    m.faceTexVertices.push_back({tbase, tbase + 1, tbase + 2});
    m.faces.push_back({base, base + 2, base + 3, 0});
    m.faceTexVertices.push_back({tbase, tbase + 2, tbase + 3});
}

using scenefile::vectorKey;

} // namespace

scenefile::SceneFile demoSceneFile() {
    scenefile::SceneFile file;
    file.magic = "QUOR";

    file.chunks.push_back(scenefile::plainMaterial("checker", 2, "demo_checker.jpg"));
    scenefile::Material floorMaterial = scenefile::plainMaterial("floor", 1);
    floorMaterial.colours = {0, 0, 0, 0.25f, 0.55f, 0.85f, 0, 0, 0};
    file.chunks.push_back(floorMaterial);

    scenefile::Mesh cube;
    cube.name = "Cube";
    cube.id = 1;
    cube.materialIndex = 0;
    const float s = 20.0f;
    addSide(cube, {s, 0, 0}, {0, s, 0}, {0, 0, s});
    addSide(cube, {-s, 0, 0}, {0, -s, 0}, {0, 0, s});
    addSide(cube, {0, s, 0}, {-s, 0, 0}, {0, 0, s});
    addSide(cube, {0, -s, 0}, {s, 0, 0}, {0, 0, s});
    addSide(cube, {0, 0, s}, {s, 0, 0}, {0, s, 0});
    addSide(cube, {0, 0, -s}, {s, 0, 0}, {0, -s, 0});
    cube.position = {vectorKey(0, 0, 0, 0), vectorKey(50, 0, 0, 12), vectorKey(100, 0, 0, 0)};
    // A quarter turn about Z per 25 time units; each key is relative to the one before.
    const float h = std::sqrt(0.5f);
    cube.rotation.push_back({});
    for (int i = 1; i <= 4; ++i) {
        scenefile::RotationKey k;
        k.w = h;
        k.z = h;
        k.time = 25.0f * static_cast<float>(i);
        cube.rotation.push_back(k);
    }
    cube.scale = {vectorKey(0, 1, 1, 1)};
    file.chunks.push_back(cube);

    scenefile::Mesh floor;
    floor.name = "Floor";
    floor.id = 2;
    floor.materialIndex = 1;
    addSide(floor, {0, 0, -30}, {150, 0, 0}, {0, 150, 0});
    scenefile::holdStill(floor);
    file.chunks.push_back(floor);

    scenefile::Dummy target;
    target.name = "Cube.Target";
    target.id = 3;
    target.position = {vectorKey(0, 0, 0, 0)};
    file.chunks.push_back(target);

    scenefile::Camera camera;
    camera.name = "Camera";
    camera.targetName = "Cube.Target";
    camera.id = 4;
    camera.position = {vectorKey(0, 80, -110, 60), vectorKey(50, -80, -110, 35),
                       vectorKey(100, 80, -110, 60)};
    camera.fov = {{0, 0.9f}};
    camera.roll = {{0, 0}};
    file.chunks.push_back(camera);
    return file;
}

std::vector<unsigned char> demoCheckerPixels(int& width, int& height) {
    width = height = 64;
    std::vector<unsigned char> rgb(64 * 64 * 3);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            unsigned char* p = &rgb[static_cast<size_t>(y * 64 + x) * 3];
            if (y < 8) {
                p[0] = 20, p[1] = 30, p[2] = 140; // the top edge
            } else if (((x / 8) + (y / 8)) % 2 == 0) {
                p[0] = 250, p[1] = 140, p[2] = 20;
            } else {
                p[0] = p[1] = p[2] = 245;
            }
        }
    }
    return rgb;
}

bool writeDemoScene(const std::string& folder, std::string& error) {
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    if (!scenefile::writeSceneFile(prefix + "demo.exp", demoSceneFile(), error)) {
        return false;
    }
    int w = 0, h = 0;
    const std::vector<unsigned char> pixels = demoCheckerPixels(w, h);
    return writeJpegFile(prefix + "demo_checker.jpg", w, h, 3, pixels, 95, error);
}

bool writeJpegFile(const std::string& path, int width, int height, int components,
                   const std::vector<unsigned char>& pixels, int quality, std::string& error) {
    std::vector<unsigned char> bytes;
    if (!encodeJpeg(width, height, components, pixels, quality, bytes, error)) {
        return false;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}
