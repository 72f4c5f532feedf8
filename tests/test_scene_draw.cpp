// test_scene_draw.cpp - animation and drawing through a recording GL table: node motions, the
// camera's view and projection, lighting, back faces and the face count, environment-map
// coordinates, named drawing, and degenerate data that must not put NaN into GL.
#include <gtest/gtest.h>

#include <cmath>

#include "gl_recorder.h"
#include "scene_test_support.h"

using namespace testing_support;

namespace {

struct Drawing : ::testing::Test {
    RecordingGl gl;
    void SetUp() override {
        resetSharedSceneState();
        sceneState.useTextureLoader(&fakeTextureLoad);
    }
    void TearDown() override { resetSharedSceneState(); }
};

void expectPointNear(const float* m, std::array<float, 3> p, std::array<float, 3> expected) {
    float out[3];
    transformPoint(out, p.data(), m);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(out[c], expected[static_cast<size_t>(c)], 1e-4) << "component " << c;
    }
}

bool allFinite(const float* v, int n) {
    for (int i = 0; i < n; ++i) {
        if (!std::isfinite(v[i])) {
            return false;
        }
    }
    return true;
}

// A scene of one square (material 0) seen from `eye` looking at `target`.
std::unique_ptr<Scene> squareSeenFrom(std::array<float, 3> eye, std::array<float, 3> target,
                                      scenefile::Material material = plainMaterial("m", 2)) {
    scenefile::SceneFile f;
    f.chunks.push_back(material);
    f.chunks.push_back(squareMesh("Square", 1.0f));
    addCamera(f, eye, target);
    return readImage(sceneImage(f));
}

} // namespace

TEST_F(Drawing, CameraOnYAxisSeesThroughTheSwapMatrix) {
    auto scene = squareSeenFrom({0, 0, 0}, {0, 10, 0});
    updateCamera(scene.get(), 0);
    const float swap[16] = {1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(scene->camera->viewMatrix[i], swap[i], 1e-6) << i;
    }
    expectPointNear(scene->camera->viewMatrix, {0, 10, 0}, {0, 0, 10});
    MeshObject* mesh = scene->firstMesh;
    updateMotion(mesh->motion, 0);
    mesh->prepare(0, scene->camera->viewMatrix, scene->camera->eye);
    expectPointNear(mesh->eyeMatrix, {0, 10, 0}, {0, 0, -10}); // GL looks down -Z
    expectPointNear(mesh->eyeMatrix, {0, 10, 3}, {0, 3, -10}); // world up is screen up
    expectPointNear(mesh->eyeMatrix, {2, 10, 0}, {2, 0, -10}); // +X is to the right
}

TEST_F(Drawing, CameraLookingStraightDownUsesTheFixedYaw) {
    auto scene = squareSeenFrom({0, 0, 10}, {0, 0, 0});
    updateCamera(scene.get(), 0);
    ASSERT_TRUE(allFinite(scene->camera->viewMatrix, 16));
    expectPointNear(scene->camera->viewMatrix, {0, 0, 0}, {0, 0, 10});
    EXPECT_FLOAT_EQ(scene->camera->direction[2], -1.0f);
    EXPECT_FLOAT_EQ(scene->camera->eye[2], 10.0f);
}

TEST_F(Drawing, RollTurnsTheViewAboutTheLineOfSight) {
    auto scene = squareSeenFrom({0, 0, 0}, {0, 10, 0});
    scene->camera->motion->hooks->next->data->track->keys[0].value = 1.5707964f;
    updateCamera(scene.get(), 0);
    EXPECT_FLOAT_EQ(scene->camera->roll, 1.5707964f);
    float p[3];
    const float right[3] = {1, 10, 0};
    transformPoint(p, right, scene->camera->viewMatrix);
    EXPECT_NEAR(p[0], 0.0f, 1e-5); // the point to the right is now above or below the centre
    EXPECT_NEAR(std::fabs(p[1]), 1.0f, 1e-5);
    EXPECT_NEAR(p[2], 10.0f, 1e-5);
}

TEST_F(Drawing, MissingOrCoincidentTargetKeepsThePreviousView) {
    auto scene = squareSeenFrom({0, -5, 0}, {0, 0, 0});
    updateCamera(scene.get(), 0);
    float before[16];
    std::memcpy(before, scene->camera->viewMatrix, sizeof before);
    // The target moves onto the eye: no direction to look along.
    findDummy(scene.get(), "Target")->motion->position->track->keys[0].value[1] = -5.0f;
    updateCamera(scene.get(), 0);
    EXPECT_EQ(std::memcmp(before, scene->camera->viewMatrix, sizeof before), 0);
    // No target at all.
    scene->camera->target = nullptr;
    scene->camera->motion->position->track->keys[0].value[0] = 50.0f;
    updateCamera(scene.get(), 0);
    EXPECT_EQ(std::memcmp(before, scene->camera->viewMatrix, sizeof before), 0);
    EXPECT_FLOAT_EQ(scene->camera->eye[1], -5.0f);
}

TEST_F(Drawing, FieldOfViewHalfPiGivesTheUnitFrustum) {
    Camera camera;
    camera.fov = 1.5707964f;
    beginPrimitive(GL_TRIANGLES);
    gl.log().clear();
    applyProjection(&camera);
    EXPECT_EQ(gl.log().calls,
              (std::vector<std::string>{"glEnd()", "glMatrixMode(5889)", "glLoadIdentity()",
                                        "glFrustum(-1, 1, -0.75, 0.75, 1, 10000)",
                                        "glMatrixMode(5888)", "glBegin(4)"}));
    EXPECT_EQ(currentPrimitive, GL_TRIANGLES);
    endPrimitive();
}

TEST_F(Drawing, FieldOfViewTrackDrivesTheProjectionEveryUpdate) {
    scenefile::SceneFile f;
    f.chunks.push_back(plainMaterial("m", 2));
    addCamera(f, {0, -10, 0}, {0, 0, 0});
    std::get<scenefile::Camera>(f.chunks.back()).fov = {{0, 0.5f}, {10, 1.5707964f}};
    auto scene = readImage(sceneImage(f));
    gl.log().clear();
    updateCamera(scene.get(), 10);
    EXPECT_FLOAT_EQ(scene->camera->fov, 1.5707964f);
    // Once from the hook, once more from the camera update itself.
    EXPECT_EQ(gl.log().count("glFrustum(-1, 1, -0.75, 0.75, 1, 10000)"), 2) << gl.log().joined();
}

TEST_F(Drawing, MotionAppliesPivotScaleRotationThenPosition) {
    Motion motion;
    DummyNode node;
    linkMotion(&motion, &node);
    node.motion = nullptr; // the test owns the motion
    motion.pivot[0] = 1;
    auto* position = new VectorTrack;
    position->allocate(1);
    position->keys[0].value[0] = 10;
    auto* scale = new VectorTrack;
    scale->allocate(1);
    scale->keys[0].value[0] = 2;
    scale->keys[0].value[1] = 3;
    scale->keys[0].value[2] = 4;
    auto* rotation = new RotationTrack;
    rotation->allocate(1);
    const float h = std::sqrt(0.5f);
    rotation->keys[0].rotation = {h, 0, 0, h};
    motion.position = new VectorBinding(position, &applyPosition);
    motion.scale = new VectorBinding(scale, &applyScale);
    motion.rotation = new RotationBinding(rotation, &applyRotation);
    updateMotion(&motion, 3);
    // p = (2, 1, 1): minus the pivot (1, 0, 0), scaled by (2, 3, 4), turned by R, moved by 10
    // in x.
    float r[16];
    fromQuaternion(r, h, 0, 0, h);
    float scaled[3] = {2, 3, 4};
    float turned[3];
    const float zero[16] = {r[0], r[1], r[2],  0, r[4], r[5], r[6], 0,
                            r[8], r[9], r[10], 0, 0,    0,    0,    1};
    transformPoint(turned, scaled, zero);
    expectPointNear(node.matrix, {2, 1, 1}, {turned[0] + 10, turned[1], turned[2]});
    EXPECT_FLOAT_EQ(motion.localMatrix[12], 10.0f);
}

TEST_F(Drawing, LightingWithAndWithoutALightNode) {
    scenefile::SceneFile f;
    f.chunks.push_back(plainMaterial("m", 2));
    scenefile::Mesh m;
    m.name = "Points";
    m.vertices = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    m.faces = {{0, 1, 2, 0}};
    m.position = {vkey(0, 0, 0, 0)};
    m.rotation = {scenefile::RotationKey{}};
    m.scale = {vkey(0, 1, 1, 1)};
    f.chunks.push_back(m);
    addCamera(f, {0, -10, 0}, {0, 0, 0});
    auto scene = readImage(sceneImage(f));
    MeshObject* mesh = scene->firstMesh;
    auto setNormals = [&] {
        const float normals[3][3] = {{1, 0, 0}, {0, 1, 0}, {-1, 0, 0}};
        for (int i = 0; i < 3; ++i) {
            std::memcpy(mesh->vertices[i].normal, normals[i], sizeof normals[i]);
        }
    };
    auto lights = [&] {
        setNormals();
        updateMotion(mesh->motion, 0);
        mesh->prepare(0, scene->camera->viewMatrix, scene->camera->eye);
        return std::array<int, 3>{mesh->vertices[0].light, mesh->vertices[1].light,
                                  mesh->vertices[2].light};
    };
    EXPECT_EQ(lights(), (std::array<int, 3>{255, 255, 255})); // unlit after loading
    mesh->unlit = 0;
    EXPECT_EQ(lights(), (std::array<int, 3>{255, 0, 255})); // no light node: light at (1, 0, 0)
    DummyNode* lamp = findDummy(scene.get(), "Target");
    lamp->motion->position->track->keys[0].value[1] = 10.0f; // a lamp at (0, 10, 0)
    scene->light = lamp;
    updateLight(scene.get(), 0);
    EXPECT_EQ(lights(), (std::array<int, 3>{0, 255, 0}));
}

TEST_F(Drawing, BackFacingFacesAreSkippedUnlessTwoSided) {
    for (int twoSided : {0, 1}) {
        SCOPED_TRACE(twoSided);
        scenefile::Material mat = plainMaterial("m", 2);
        mat.twoSided = static_cast<uint8_t>(twoSided);
        auto front = squareSeenFrom({0, -10, 0}, {0, 0, 0}, mat);
        auto back = squareSeenFrom({0, 10, 0}, {0, 0, 0}, mat);
        renderState.startFaceCount();
        beginPrimitive(GL_TRIANGLES);
        drawScene(front.get(), 0);
        EXPECT_EQ(drawnFaceCount, 2);
        drawScene(back.get(), 0);
        EXPECT_EQ(drawnFaceCount, twoSided ? 4 : 2);
        endPrimitive();
    }
    // One vertex facing the camera is enough to draw its face.
    auto scene = squareSeenFrom({0, 10, 0}, {0, 0, 0});
    prepareMeshes(scene.get(), 0);
    MeshObject* mesh = scene->firstMesh;
    mesh->vertices[3].facesCamera = 1; // used by the second face only
    renderState.startFaceCount();
    mesh->draw();
    EXPECT_EQ(drawnFaceCount, 1);
}

// Texturing goes off after the faces only when no batch is open: inside one GL would refuse
// the calls with an error and keep its state.
TEST_F(Drawing, DrawSuspendsTheBatchLoadsTheEyeMatrixAndLeavesTexturingOffOutsideABatch) {
    auto scene = squareSeenFrom({0, -10, 0}, {0, 0, 0}, plainMaterial("m", 2, "t.jpg"));
    prepareMeshes(scene.get(), 0);
    beginPrimitive(GL_TRIANGLES);
    gl.log().clear();
    gl.log().recordVertices = false;
    scene->firstMesh->draw();
    const std::vector<std::string> head(gl.log().calls.begin(), gl.log().calls.begin() + 5);
    EXPECT_EQ(head, (std::vector<std::string>{"glEnd()", "glMatrixMode(5888)", "glLoadMatrixf(ptr)",
                                              "glDisable(2884)", "glBegin(4)"}));
    // Inside the batch GL would refuse the texture-unit calls: the reopened batch is the last
    // thing drawing does.
    EXPECT_EQ(gl.log().calls.back(), "glBegin(4)");
    EXPECT_EQ(gl.log().count("glEnd()"), 2); // the material's begin suspends the batch too
    endPrimitive();

    // With no batch open, texturing ends switched off on both units.
    gl.log().clear();
    scene->firstMesh->draw();
    const std::vector<std::string> tail(gl.log().calls.end() - 4, gl.log().calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"glActiveTextureARB(33985)", "glDisable(3553)",
                                              "glActiveTextureARB(33984)", "glDisable(3553)"}));
    EXPECT_EQ(gl.log().count("glEnd()"), 0);
}

TEST_F(Drawing, SceneWithoutCameraIsUpdatedButNotDrawn) {
    scenefile::SceneFile f;
    f.chunks.push_back(plainMaterial("m", 2));
    scenefile::Mesh mesh = squareMesh("Moving", 1.0f);
    mesh.position = {vkey(0, 0, 0, 0), vkey(10, 5, 0, 0)};
    f.chunks.push_back(mesh);
    auto scene = readImage(sceneImage(f));
    gl.log().clear();
    drawScene(scene.get(), 10);
    EXPECT_FLOAT_EQ(scene->firstMesh->matrix[12], 5.0f);
    EXPECT_EQ(gl.log().count("glLoadMatrixf("), 0);
    EXPECT_EQ(drawnFaceCount, 0);
}

TEST_F(Drawing, DrawMeshesNamedMatchesCaseSensitiveSubstrings) {
    scenefile::SceneFile f;
    f.chunks.push_back(plainMaterial("m", 2));
    for (const char* name : {"LWO01", "lwo01", "LWO01b", "LWO02"}) {
        f.chunks.push_back(squareMesh(name, 1.0f));
    }
    addCamera(f, {0, -10, 0}, {0, 0, 0});
    auto scene = readImage(sceneImage(f));
    updateCamera(scene.get(), 0);
    prepareMeshes(scene.get(), 0);
    gl.log().clear();
    renderState.startFaceCount();
    drawMeshesNamed(scene.get(), "LWO01");
    EXPECT_EQ(gl.log().count("glLoadMatrixf("), 2);
    EXPECT_EQ(drawnFaceCount, 4);
}

TEST_F(Drawing, MaterialWithoutRoutinesDrawsNothing) {
    auto scene = squareSeenFrom({0, -10, 0}, {0, 0, 0}, plainMaterial("m", 7));
    ASSERT_EQ(scene->firstMesh->material->emit, nullptr);
    gl.log().clear();
    beginPrimitive(GL_TRIANGLES);
    drawScene(scene.get(), 0);
    endPrimitive();
    EXPECT_EQ(drawnFaceCount, 0);
    EXPECT_EQ(gl.log().count("glVertex3fv("), 0);
    EXPECT_EQ(gl.log().count("glLoadMatrixf("), 1);
}

TEST_F(Drawing, EnvironmentCoordinatesFollowTheEyeNormalsAndUndoTheScale) {
    // Camera at the origin looking along +Y: the eye matrix is the swap with columns 1 and 2
    // negated, so E[0] = 1 and E[9] = 1.
    scenefile::SceneFile f;
    f.chunks.push_back(plainMaterial("m", 2, "base.jpg", "env.jpg"));
    scenefile::Mesh m = squareMesh("Shiny", 1.0f);
    m.scale = {vkey(0, 2, 1, 1)};
    f.chunks.push_back(m);
    addCamera(f, {0, 0, 0}, {0, 10, 0});
    auto scene = readImage(sceneImage(f));
    updateCamera(scene.get(), 0);
    prepareMeshes(scene.get(), 0);
    MeshObject* mesh = scene->firstMesh;
    Vertex& v = mesh->vertices[0];
    const float normals[2][3] = {{1, 0, 0}, {0, 0, 1}};
    // E[0] = 2 / (2 * 2): the x scale of 2 is undone.
    const float expected[2][2] = {{1.0f, -0.5f}, {0.5f, -1.0f}};
    for (int i = 0; i < 2; ++i) {
        std::memcpy(v.normal, normals[i], sizeof normals[i]);
        mesh->prepare(0, scene->camera->viewMatrix, scene->camera->eye);
        EXPECT_NEAR(v.envU, expected[i][0], 1e-5) << i;
        EXPECT_NEAR(v.envV, expected[i][1], 1e-5) << i;
    }
}

TEST_F(Drawing, OnlyTheFirstModifierRunsBeforePreparing) {
    struct Probe : MeshModifier {
        std::vector<float> times;
        void render(float t) override { times.push_back(t); }
    };
    auto scene = squareSeenFrom({0, -10, 0}, {0, 0, 0});
    Probe first, second;
    addModifier(scene->firstMesh, &first);
    addModifier(scene->firstMesh, &second);
    prepareMeshes(scene.get(), 4.5f);
    EXPECT_EQ(first.times, (std::vector<float>{4.5f}));
    EXPECT_TRUE(second.times.empty());
}

TEST_F(Drawing, DegenerateDataPutsNoNaNIntoGl) {
    // A mesh scaled to nothing, with an empty rotation track, a zero-length normal on a
    // collinear face, lit and environment-mapped.
    scenefile::SceneFile f;
    f.chunks.push_back(plainMaterial("m", 2, "base.jpg", "env.jpg"));
    scenefile::Mesh m;
    m.name = "Flat";
    m.vertices = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
    m.faces = {{0, 1, 2, 0}};
    m.position = {};
    m.rotation = {};
    m.scale = {vkey(0, 0, 0, 0)};
    f.chunks.push_back(m);
    addCamera(f, {0, -10, 0}, {0, 0, 0});
    auto scene = readImage(sceneImage(f));
    MeshObject* mesh = scene->firstMesh;
    mesh->unlit = 0;
    gl.log().clear();
    beginPrimitive(GL_TRIANGLES);
    drawScene(scene.get(), 3);
    endPrimitive();
    EXPECT_TRUE(allFinite(mesh->eyeMatrix, 16));
    for (int i = 0; i < 3; ++i) {
        const Vertex& v = mesh->vertices[i];
        EXPECT_TRUE(std::isfinite(v.envU) && std::isfinite(v.envV)) << i;
        EXPECT_GE(v.light, 0);
        EXPECT_LE(v.light, 255);
        EXPECT_EQ(v.facesCamera, 1); // no inverse: every vertex counts as facing the camera
    }
    for (const std::string& call : gl.log().calls) {
        EXPECT_EQ(call.find("nan"), std::string::npos) << call;
        EXPECT_EQ(call.find("inf"), std::string::npos) << call;
    }
    EXPECT_EQ(drawnFaceCount, 1);
}
