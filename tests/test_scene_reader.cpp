// test_scene_reader.cpp - the scene file reader: format by name, the layout rules (KEXP and
// QUOR materials, chunk kinds without a reader, meshes without texture vertices, the v flip,
// relative rotation keys) and damaged files reported with their byte offset.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "gl_recorder.h"
#include "scene_test_support.h"

using namespace testing_support;

namespace {

struct Reader : ::testing::Test {
    RecordingGl gl;
    void SetUp() override {
        resetSharedSceneState();
        sceneState.useTextureLoader(&fakeTextureLoad);
    }
    void TearDown() override { resetSharedSceneState(); }
};

// [mesh "Square", material "paint"]: the byte offsets below follow from this layout.
scenefile::SceneFile squareScene() {
    scenefile::SceneFile f;
    f.chunks.push_back(squareMesh("Square", 1.0f));
    f.chunks.push_back(plainMaterial("paint", 2));
    return f;
}
constexpr size_t meshCountsAt = 48;      // vertexCount: 8 header + 4 kind + 36
constexpr size_t meshMaterialAt = 64;    // material index: 8 + 4 + 52
constexpr size_t faceTexIndicesAt = 160; // after 4 vertices and 4 texture vertices
constexpr size_t facesAt = 184;
constexpr size_t positionTrackAt = 216;

void put32(std::vector<unsigned char>& image, size_t at, int32_t v) {
    std::memcpy(&image[at], &v, 4);
}

// Reads the image, expecting the reader to stop; returns its message.
std::string damageReport(const std::vector<unsigned char>& image) {
    ::testing::internal::CaptureStderr();
    const int code = exitCodeOf([&] { readImage(image); });
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, 1) << err;
    return err;
}

} // namespace

TEST_F(Reader, SquareSceneLoadsAsWritten) {
    auto scene = readImage(sceneImage(squareScene()));
    MeshObject* m = scene->firstMesh;
    ASSERT_NE(m, nullptr);
    EXPECT_STREQ(m->name, "Square");
    EXPECT_EQ(m->vertexCount, 4);
    EXPECT_EQ(m->texVertexCount, 4);
    EXPECT_EQ(m->faceCount, 2);
    EXPECT_EQ(m->unlit, 1);
    EXPECT_EQ(m->material, scene->materials->items[0]);
    EXPECT_EQ(m->faces[1].vertex[2], &m->vertices[3]);
    EXPECT_EQ(m->faces[1].attribute, 7);
    EXPECT_EQ(m->vertices[2].light, 255);
    EXPECT_EQ(m->vertices[2].index, 2);
    EXPECT_FLOAT_EQ(m->vertices[2].sourceZ, 1.0f);
    EXPECT_FLOAT_EQ(m->vertices[0].normal[1], -1.0f); // faces -Y
    ASSERT_NE(m->motion, nullptr);
    EXPECT_EQ(m->motion->owner, m);
    EXPECT_STREQ(m->motion->name, "Square");
    EXPECT_EQ(m->motion->position->track->keyCount, 1);
    EXPECT_EQ(m->motion->rotation->track->keyCount, 1);
    EXPECT_EQ(m->motion->scale->track->keyCount, 1);
    EXPECT_STREQ(beginRoutineName(scene->materials->items[0]->begin), "beginUntextured");
    EXPECT_EQ(scene->camera, nullptr);
}

TEST_F(Reader, FormatComesFromTheNameCaseSensitively) {
    ScratchDir dir("format");
    DirectorySource source((dir.path.string() + "/").c_str());
    searchPath.add(&source);
    const auto image = sceneImage(squareScene());
    struct Case {
        const char* name;
        int format;
    };
    for (const Case& c : {Case{"scenelwv", 4}, Case{"big.EXP", 0}, Case{"old.asc", 1},
                          Case{"old.ase", 2}, Case{"a.exp", 3}, Case{"noextension", 0}}) {
        writeFile(dir.file(c.name), image);
        Scene scene(c.name);
        EXPECT_EQ(loadScene(&scene), c.format) << c.name;
        EXPECT_EQ(scene.format, c.format);
        EXPECT_EQ(scene.firstMesh != nullptr, c.format == 3) << c.name;
    }
    ::testing::internal::CaptureStderr();
    const int code = exitCodeOf([] {
        Scene missing("missing.exp");
        loadScene(&missing);
    });
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, 1);
    EXPECT_NE(err.find("FILE NOT FOUND\n missing.exp"), std::string::npos) << err;
    searchPath.clear();
}

TEST_F(Reader, QuorMaterialsCarryABlendTypeByte) {
    scenefile::SceneFile f;
    f.magic = "QUOR";
    scenefile::Material glow = plainMaterial("glow", 2);
    glow.blendType = 1;
    f.chunks.push_back(glow);
    scenefile::Dummy after;
    after.name = "After";
    after.position = {vkey(0, 1, 2, 3)};
    f.chunks.push_back(after);
    auto scene = readImage(sceneImage(f));
    Material* m = scene->materials->items[0];
    EXPECT_EQ(m->blendType, 1);
    EXPECT_EQ(m->blendSrc, static_cast<uint32_t>(GL_SRC_ALPHA));
    EXPECT_EQ(m->blendDst, static_cast<uint32_t>(GL_ONE));
    ASSERT_NE(findDummy(scene.get(), "After"), nullptr); // the next chunk follows the byte
    EXPECT_STREQ(sceneState.fileMagic(), "QUOR");

    // A file with neither magic is refused at byte 0, whatever the last file's magic was.
    auto image = sceneImage(f);
    std::memcpy(image.data(),
                "AB\x01"
                "D",
                4);
    EXPECT_NE(damageReport(image).find("damaged at byte 0: it starts with \"AB\\x01D\", not the "
                                       "magic \"KEXP\" or \"QUOR\" of a scene file"),
              std::string::npos);
    EXPECT_STREQ(sceneState.fileMagic(), "QUOR");

    // Under "KEXP" the material is 173 bytes, so the blend byte becomes the low byte of the
    // next kind word: [01 05 00 00] = 1281, a kind without a reader. (The file is cut there.)
    std::memcpy(image.data(), "KEXP", 4);
    image.resize(8 + 4 + 173 + 4);
    auto kexp = readImage(image);
    EXPECT_EQ(kexp->materials->items[0]->blendType, 0);
    EXPECT_EQ(kexp->materials->items[0]->blendDst, static_cast<uint32_t>(GL_ONE_MINUS_SRC_ALPHA));
    EXPECT_EQ(kexp->firstDummy, nullptr);
    EXPECT_STREQ(sceneState.fileMagic(), "KEXP");
}

TEST_F(Reader, KindsWithoutAReaderAndKind3ArePassedOver) {
    scenefile::SceneFile f;
    f.chunks.push_back(scenefile::UnknownKind{7});
    scenefile::Ignored ignored;
    ignored.block.fill(0xEE);
    ignored.track = {vkey(0, 1, 1, 1), vkey(5, 2, 2, 2)};
    f.chunks.push_back(ignored);
    f.chunks.push_back(scenefile::UnknownKind{-40});
    scenefile::Dummy d;
    d.name = "Last";
    d.id = 3;
    d.position = {vkey(0, 4, 5, 6)};
    f.chunks.push_back(d);
    const auto image = sceneImage(f);
    EXPECT_EQ(image.size(), 8u + 4 + (4 + 68 + 4 + 56) + 4 + (4 + 40 + 4 + 28));
    auto scene = readImage(image);
    DummyNode* node = findDummy(scene.get(), "Last");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->motion->id, 3);
    EXPECT_FLOAT_EQ(node->motion->position->track->keys[0].value[2], 6.0f);
}

TEST_F(Reader, MeshWithoutTextureVerticesReadsNoCornerIndices) {
    scenefile::SceneFile f;
    scenefile::Mesh bare = squareMesh("Bare", 1.0f);
    bare.texVertices.clear();
    bare.faceTexVertices.clear();
    f.chunks.push_back(bare);
    f.chunks.push_back(squareMesh("Next", 2.0f));
    f.chunks.push_back(plainMaterial("m", 2, "t.jpg"));
    auto scene = readImage(sceneImage(f));
    MeshObject* m = scene->firstMesh;
    EXPECT_EQ(m->texVertexCount, 0);
    for (int i = 0; i < m->faceCount; ++i) {
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(m->faces[i].corner[k]->u, 0.0f);
            EXPECT_EQ(m->faces[i].corner[k]->v, 0.0f);
        }
    }
    EXPECT_EQ(m->faces[1].vertex[2], &m->vertices[3]); // faces follow the vertices directly
    MeshObject* next = m->next;
    ASSERT_NE(next, nullptr);
    EXPECT_STREQ(next->name, "Next");
    EXPECT_FLOAT_EQ(next->vertices[2].position[0], 2.0f);
}

TEST_F(Reader, TextureVFlipsAndRotationKeysAccumulate) {
    scenefile::SceneFile f = squareScene();
    auto& mesh = std::get<scenefile::Mesh>(f.chunks[0]);
    mesh.texVertices[1] = {0.25f, 0.75f};
    const float h = std::sqrt(0.5f);
    scenefile::RotationKey q, r;
    q.w = h, q.z = h, q.time = 10; // a quarter turn about Z
    r.w = h, r.x = h, r.time = 20; // then a quarter turn about X
    mesh.rotation = {scenefile::RotationKey{}, q, r};
    auto scene = readImage(sceneImage(f));
    const TexVertex& t = scene->firstMesh->texVertices[1];
    EXPECT_FLOAT_EQ(t.u, 0.25f);
    EXPECT_FLOAT_EQ(t.v, 0.25f);
    EXPECT_FLOAT_EQ(t.w, 0.0f);
    const RotationKey* keys = scene->firstMesh->motion->rotation->track->keys;
    EXPECT_FLOAT_EQ(keys[1].rotation.w, h); // q itself after the identity
    EXPECT_FLOAT_EQ(keys[1].rotation.z, h);
    // q * r = (h*h, h*h, h*h, h*h)
    EXPECT_NEAR(keys[2].rotation.w, 0.5f, 1e-6);
    EXPECT_NEAR(keys[2].rotation.x, 0.5f, 1e-6);
    EXPECT_NEAR(keys[2].rotation.y, 0.5f, 1e-6);
    EXPECT_NEAR(keys[2].rotation.z, 0.5f, 1e-6);
}

TEST_F(Reader, CameraGetsItsTargetHooksAndProjection) {
    scenefile::SceneFile f = squareScene();
    addCamera(f, {0, -10, 0}, {0, 0, 0});
    scenefile::Camera second;
    second.name = "Spare";
    second.targetName = "Nobody";
    f.chunks.push_back(second);
    auto scene = readImage(sceneImage(f));
    Camera* c = scene->camera;
    ASSERT_NE(c, nullptr);
    EXPECT_STREQ(c->name, "Camera");
    EXPECT_EQ(c->target, findDummy(scene.get(), "Target"));
    EXPECT_FLOAT_EQ(c->fov, 32.546875f); // until the first update
    EXPECT_FLOAT_EQ(c->aspect, 0.75f);
    EXPECT_EQ(c->matrix[0], 0.0f);
    ASSERT_NE(c->next, nullptr); // later cameras are kept behind the first, unused
    EXPECT_EQ(c->next->target, nullptr);
    int hooks = 0;
    for (TrackHook* h = c->motion->hooks; h; h = h->next) {
        ++hooks;
    }
    EXPECT_EQ(hooks, 2);
    EXPECT_EQ(c->motion->hooks->function, &updateCameraFov);
    EXPECT_EQ(gl.log().count("glFrustum("), 2); // each camera applies its projection once
}

TEST_F(Reader, DamagedFilesNameTheFileTheOffsetAndTheFault) {
    struct Case {
        const char* what;
        std::function<void(std::vector<unsigned char>&)> damage;
        size_t offset;
        const char* fault;
    };
    const Case cases[] = {
        {"negative count", [](auto& im) { put32(im, meshCountsAt, -3); }, meshCountsAt,
         "negative counts"},
        {"counts past the end", [](auto& im) { put32(im, meshCountsAt + 8, 100000); }, meshCountsAt,
         "100000 faces"},
        {"vertex index", [](auto& im) { put32(im, facesAt + 16 + 8, 4); }, facesAt + 24,
         "face 1 of the mesh \"Square\" uses vertex 4, but the mesh has 4"},
        {"texture vertex index", [](auto& im) { put32(im, faceTexIndicesAt + 4, -1); },
         faceTexIndicesAt + 4, "uses texture vertex -1"},
        {"material index", [](auto& im) { put32(im, meshMaterialAt, 3); }, meshMaterialAt,
         "uses material 3, but the file has 1"},
        {"track count", [](auto& im) { put32(im, positionTrackAt, 1000); }, positionTrackAt,
         "claims 1000 records of 28 bytes"},
        {"negative track count", [](auto& im) { put32(im, positionTrackAt, -1); }, positionTrackAt,
         "negative count -1"},
        {"unterminated name", [](auto& im) { std::memset(&im[12], 'A', 32); }, 12,
         "not terminated within its 32 bytes"},
        {"cut in the mesh header", [](auto& im) { im.resize(40); }, 12,
         "ends inside a mesh header"},
        {"stray bytes at the end", [](auto& im) { im.push_back(1), im.push_back(0); },
         0 /* set below */, "ends inside a chunk kind"},
        {"short header", [](auto& im) { im.resize(6); }, 0, "8-byte file header"},
    };
    const size_t fullSize = sceneImage(squareScene()).size();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto image = sceneImage(squareScene());
        c.damage(image);
        const size_t offset = std::string(c.what) == "stray bytes at the end" ? fullSize : c.offset;
        const std::string err = damageReport(image);
        EXPECT_NE(err.find("\"test.exp\""), std::string::npos) << err;
        EXPECT_NE(err.find("damaged at byte " + std::to_string(offset) + ":"), std::string::npos)
            << err;
        EXPECT_NE(err.find(c.fault), std::string::npos) << err;
    }
}

TEST_F(Reader, MeshesNeedAMaterialToDrawWith) {
    scenefile::SceneFile f;
    f.chunks.push_back(squareMesh("Lonely", 1.0f));
    const std::string err = damageReport(sceneImage(f));
    EXPECT_NE(err.find("uses material 0, but the file has 0"), std::string::npos) << err;
}
