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

#include "drawing_state_support.h"
#include "scene/materials.h"
#include "resources/search_path.h"
#include "resources/textures.h"
#include "gfx/render_state.h"
#include "scene/scene_state.h"
#include "scene/scene.h"
#include "test_support.h"
#include "tools/common/scene_writer.h"

namespace testing_support {

// The scene writer's building blocks under the short names the tests use.
using scenefile::addCamera;
using scenefile::plainMaterial;
using scenefile::squareMesh;
inline scenefile::VectorKey vkey(float time, float x, float y, float z) {
    return scenefile::vectorKey(time, x, y, z);
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
    resetDrawingState();
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
