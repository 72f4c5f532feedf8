// test_scene_damage.cpp - a generated set of damaged scene files: every truncation of a full
// scene, and seeded corruptions of its bytes and counts. Each one either loads (and then draws
// without fault) or stops with a report naming the file and the byte. Run it under the
// AddressSanitizer build to show that no damaged file reads or writes out of bounds.
#include <gtest/gtest.h>

#include <random>

#include "gl_recorder.h"
#include "scene_test_support.h"
#include "tools/common/demo_scene.h"

using namespace testing_support;

namespace {

struct Damage : ::testing::Test {
    RecordingGl gl;
    int loaded = 0;
    int refused = 0;

    void SetUp() override {
        resetSharedSceneState();
        sceneState.useTextureLoader(&fakeTextureLoad);
        gl.log().recordVertices = false;
    }
    void TearDown() override {
        RecordProperty("loaded", loaded);
        RecordProperty("refused", refused);
        resetSharedSceneState();
    }

    // The example scene with one of every chunk kind, in the given magic.
    static std::vector<unsigned char> fullScene(const char* magic) {
        scenefile::SceneFile f = demoSceneFile();
        f.magic = magic;
        scenefile::Ignored ignored;
        ignored.track = {vkey(0, 1, 2, 3), vkey(4, 5, 6, 7)};
        f.chunks.insert(f.chunks.begin() + 1, ignored);
        f.chunks.insert(f.chunks.begin() + 3, scenefile::UnknownKind{7});
        return sceneImage(f);
    }

    // Loads one damaged image: a clean load is drawn at a few times with lighting on; a refusal
    // must name the file and the byte.
    void check(const std::vector<unsigned char>& image, const std::string& what) {
        std::unique_ptr<Scene> scene;
        ::testing::internal::CaptureStderr();
        const int code = exitCodeOf([&] { scene = readImage(image, "broken.exp"); });
        const std::string err = ::testing::internal::GetCapturedStderr();
        if (code == -1000) {
            ++loaded;
            for (MeshObject* m = scene->firstMesh; m; m = m->next) {
                m->unlit = 0;
            }
            scene->light = scene->firstDummy;
            beginPrimitive(GL_TRIANGLES);
            for (float t : {-5.0f, 0.0f, 37.5f, 1e6f}) {
                drawScene(scene.get(), t);
            }
            endPrimitive();
            gl.log().clear();
            return;
        }
        ++refused;
        ASSERT_EQ(code, 1) << what << "\n" << err;
        ASSERT_NE(err.find("The scene file \"broken.exp\" is damaged at byte "), std::string::npos)
            << what << "\n"
            << err;
    }
};

} // namespace

TEST_F(Damage, EveryTruncationIsReadOrRefused) {
    for (const char* magic : {"KEXP", "QUOR"}) {
        const auto full = fullScene(magic);
        for (size_t length = 0; length < full.size(); ++length) {
            std::vector<unsigned char> cut(full.begin(), full.begin() + static_cast<long>(length));
            check(cut, std::string(magic) + " cut at " + std::to_string(length));
        }
        check(full, "whole");
    }
    // A cut can end exactly between two chunks, which is a valid file.
    EXPECT_GT(loaded, 2);
    EXPECT_GT(refused, 4000);
}

TEST_F(Damage, CorruptedBytesAndCountsAreReadOrRefused) {
    std::mt19937 random(20240611);
    const int32_t nasty[] = {-1, -2, 0x7FFFFFFF, INT32_MIN, 0x10000, 1, 2, 3, 5, 10, 24, 1000};
    for (const char* magic : {"KEXP", "QUOR"}) {
        const auto full = fullScene(magic);
        for (int round = 0; round < 1500; ++round) {
            auto image = full;
            const int hits = 1 + static_cast<int>(random() % 3);
            for (int h = 0; h < hits; ++h) {
                const size_t at = 8 + random() % (image.size() - 8);
                if (random() % 2 == 0 || at + 4 > image.size()) {
                    image[at] = static_cast<unsigned char>(random());
                } else {
                    const int32_t v = nasty[random() % std::size(nasty)];
                    std::memcpy(&image[at], &v, 4);
                }
            }
            check(image, std::string(magic) + " round " + std::to_string(round));
            if (HasFatalFailure()) {
                return;
            }
        }
    }
    EXPECT_GT(loaded, 0);
    EXPECT_GT(refused, 0);
}
