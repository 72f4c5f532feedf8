// scene_test_support.h - helpers for the scene, texture and material tests: small meshes and
// scenes described for the scene writer, loading a written image straight into a Scene, and a
// fixture with a scratch folder on the search path that puts the shared state back afterwards.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "scene/materials.h"
#include "resources/search_path.h"
#include "resources/textures.h"
#include "gfx/render_state.h"
#include "scene/scene.h"
#include "test_support.h"
#include "tools/common/scene_writer.h"

namespace testing_support {

inline scenefile::VectorKey vkey(float time, float x, float y, float z) {
    scenefile::VectorKey k;
    k.time = time;
    k.x = x;
    k.y = y;
    k.z = z;
    return k;
}

// A square of side 2*half in the XZ plane at y = 0, facing -Y (towards a camera on -Y), with
// texture (0, 0) bottom-left and (1, 1) top-right as stored in the file.
inline scenefile::Mesh squareMesh(const std::string& name, float half, int32_t material = 0) {
    scenefile::Mesh m;
    m.name = name;
    m.id = 1;
    m.materialIndex = material;
    m.vertices = {{-half, 0, -half}, {half, 0, -half}, {half, 0, half}, {-half, 0, half}};
    m.texVertices = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    m.faces = {{0, 1, 2, 7}, {0, 2, 3, 7}};
    m.faceTexVertices = {{0, 1, 2}, {0, 2, 3}};
    m.position = {vkey(0, 0, 0, 0)};
    m.rotation = {scenefile::RotationKey{}};
    m.scale = {vkey(0, 1, 1, 1)};
    return m;
}

inline scenefile::Material plainMaterial(const std::string& name, int32_t mode,
                                         const std::string& texture0 = "",
                                         const std::string& texture1 = "") {
    scenefile::Material m;
    m.name = name;
    m.mode = mode;
    m.texture0 = texture0;
    m.texture1 = texture1;
    m.alpha = 1.0f;
    return m;
}

// A camera at `eye` looking at a dummy node "Target" at `target`, field of view `fov`.
inline void addCamera(scenefile::SceneFile& file, std::array<float, 3> eye,
                      std::array<float, 3> target, float fov = 1.5707964f) {
    scenefile::Dummy d;
    d.name = "Target";
    d.id = 50;
    d.position = {vkey(0, target[0], target[1], target[2])};
    file.chunks.push_back(d);
    scenefile::Camera c;
    c.name = "Camera";
    c.targetName = "Target";
    c.id = 51;
    c.position = {vkey(0, eye[0], eye[1], eye[2])};
    c.fov = {{0, fov}};
    c.roll = {{0, 0}};
    file.chunks.push_back(c);
}

inline std::vector<unsigned char> sceneImage(const scenefile::SceneFile& file) {
    std::vector<unsigned char> image;
    std::string error;
    EXPECT_TRUE(scenefile::writeScene(file, image, error)) << error;
    return image;
}

// Reads `image` as the scene file `name` without the file system. The bytes must outlive the
// call only; the scene keeps nothing that points into them.
inline std::unique_ptr<Scene> readImage(const std::vector<unsigned char>& image,
                                        const char* name = "test.exp") {
    auto scene = std::make_unique<Scene>(name);
    auto* file = new LoadedFile(const_cast<unsigned char*>(image.data()),
                                static_cast<int>(image.size()), loadFatal);
    readKexp(scene.get(), file);
    return scene;
}

inline MeshObject* meshAt(Scene& scene, int index) {
    MeshObject* m = scene.firstMesh;
    for (int i = 0; i < index && m; ++i) {
        m = m->next;
    }
    return m;
}

// Texture ids without GL or files: every name gets the next id from 100 up.
inline int fakeTextureLoad(const char*) {
    static int next = 100;
    return next++;
}

// Puts the shared render and loading state back as a fresh process has it.
inline void resetSharedSceneState() {
    searchPath.clear();
    renderState.reset();
}

// A scratch folder on the search path; the shared state is reset before and after each test.
struct ScratchSearchPath : ::testing::Test {
    ScratchDir dir{"scene"};
    DirectorySource* source = nullptr;

    void SetUp() override {
        resetSharedSceneState();
        source = new DirectorySource((dir.path.string() + "/").c_str());
        searchPath.add(source);
    }
    void TearDown() override {
        resetSharedSceneState();
        delete source;
    }
    void write(const std::string& name, const std::vector<unsigned char>& bytes) {
        writeFile(dir.file(name), bytes);
    }
};

} // namespace testing_support
