// test_materials.cpp - routine selection, material set-up, and what the begin and emit routines
// hand to GL (state order around an open batch, colours, texture coordinates).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gl_recorder.h"
#include "scene_test_support.h"

using namespace testing_support;

namespace {

struct Materials : ::testing::Test {
    RecordingGl gl;
    void SetUp() override { resetSharedSceneState(); }
    void TearDown() override { resetSharedSceneState(); }
};

// One triangle with its own vertices and texture vertices.
struct Triangle {
    Vertex v[3];
    TexVertex t[3];
    Face face;
    Triangle() {
        const float positions[3][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
        for (int k = 0; k < 3; ++k) {
            for (int c = 0; c < 3; ++c) {
                v[k].position[c] = positions[k][c];
            }
            v[k].light = 255;
            v[k].envU = 0.1f * static_cast<float>(k + 1);
            v[k].envV = -0.2f * static_cast<float>(k + 1);
            t[k].u = 0.25f * static_cast<float>(k);
            t[k].v = 0.5f;
            face.vertex[k] = &v[k];
            face.corner[k] = &t[k];
        }
    }
};

std::vector<std::string> callsAfter(const GlLog& log, size_t from) {
    return {log.calls.begin() + static_cast<long>(from), log.calls.end()};
}

} // namespace

TEST_F(Materials, RoutinesFollowModeAndTextures) {
    struct Expect {
        int mode, texture0, texture1;
        const char* begin;
        const char* emit;
    };
    const Expect table[] = {
        {1, -1, -1, "beginUntextured", "emitUntextured"},
        {2, -1, -1, "beginUntextured", "emitUntextured"},
        {4, -1, -1, "beginUntextured", "emitUntextured"},
        {1, 5, -1, "beginTexturedSum", "emitTexturedSum"},
        {3, 5, -1, "beginTextured", "emitTextured"},
        {2, -1, 6, "beginSecondTexture", "emitVertexMapped"},
        {1, 5, 6, "beginTwoTexturesNicest", "emitTwoTextures"},
        {4, 5, 6, "beginTwoTextures", "emitTwoTextures"},
        // Keys without routines: mode 0 or above 4, and a second texture alone with mode 1.
        {0, -1, -1, "none", "none"},
        {5, 5, -1, "none", "none"},
        {0, 5, 6, "none", "none"},
        {1, -1, 6, "none", "none"},
        // Texture id 0 is not a texture: only ids above 0 count.
        {2, 0, -1, "beginUntextured", "emitUntextured"},
    };
    for (const Expect& e : table) {
        Material m;
        m.mode = e.mode;
        m.texture0 = e.texture0;
        m.texture1 = e.texture1;
        selectRenderMode(&m);
        EXPECT_STREQ(beginRoutineName(m.begin), e.begin)
            << "mode " << e.mode << " textures " << e.texture0 << " " << e.texture1;
        EXPECT_STREQ(emitRoutineName(m.emit), e.emit)
            << "mode " << e.mode << " textures " << e.texture0 << " " << e.texture1;
    }
}

TEST_F(Materials, AddMaterialSetsBlendFactorsAndLoadsNamedTextures) {
    static std::vector<std::string> loaded;
    loaded.clear();
    sceneState.useTextureLoader([](const char* name) {
        loaded.push_back(name);
        return static_cast<int>(40 + loaded.size());
    });
    MaterialList list;
    auto make = [](int blendType, const char* t0, const char* t1) {
        auto* m = new Material;
        m->blendType = blendType;
        std::strcpy(m->textureName0, t0);
        std::strcpy(m->textureName1, t1);
        return m;
    };
    Material* alphaBlend = make(0, "ab.jpg", "");
    Material* additive = make(1, "x", "env.jpg"); // one character: no texture
    Material* other = make(7, "", "");
    other->blendSrc = 11;
    other->blendDst = 12;
    addMaterial(&list, alphaBlend);
    addMaterial(&list, additive);
    addMaterial(&list, other);

    EXPECT_EQ(alphaBlend->blendSrc, static_cast<uint32_t>(GL_SRC_ALPHA));
    EXPECT_EQ(alphaBlend->blendDst, static_cast<uint32_t>(GL_ONE_MINUS_SRC_ALPHA));
    EXPECT_EQ(additive->blendSrc, static_cast<uint32_t>(GL_SRC_ALPHA));
    EXPECT_EQ(additive->blendDst, static_cast<uint32_t>(GL_ONE));
    EXPECT_EQ(other->blendSrc, 11u); // another blend type keeps what the material had
    EXPECT_EQ(other->blendDst, 12u);
    EXPECT_EQ(loaded, (std::vector<std::string>{"ab.jpg", "env.jpg"}));
    EXPECT_EQ(alphaBlend->texture0, 41);
    EXPECT_EQ(alphaBlend->texture1, -1);
    EXPECT_EQ(additive->texture0, -1);
    EXPECT_EQ(additive->texture1, 42);
    EXPECT_EQ(list.count, 3);
    EXPECT_EQ(list.count, 3);
    EXPECT_EQ(list.capacity, 16);
    for (int i = 0; i < 14; ++i) {
        addMaterial(&list, new Material);
    }
    EXPECT_EQ(list.count, 17);
    EXPECT_EQ(list.capacity, 32);
    EXPECT_EQ(list.items[1], additive);
}

TEST_F(Materials, BeginRoutinesSuspendAndResumeTheOpenBatch) {
    Material m;
    m.texture0 = 3;
    m.alpha = 0.5f;
    m.blendSrc = GL_SRC_ALPHA;
    m.blendDst = GL_ONE;
    beginPrimitive(GL_TRIANGLES);
    const size_t from = gl.log().calls.size();
    beginTextured(&m);
    EXPECT_EQ(sceneState.currentMaterial(), &m);
    EXPECT_EQ(callsAfter(gl.log(), from),
              (std::vector<std::string>{"glEnd()", "glActiveTextureARB(33985)", "glDisable(3553)",
                                        "glActiveTextureARB(33984)", "glEnable(3553)",
                                        "glBindTexture(3553, 3)", "glEnable(3042)",
                                        "glBlendFunc(770, 1)", "glBegin(4)"}));
    endPrimitive();

    // Without an open batch nothing is ended or begun; full opacity switches blending off.
    m.alpha = 1.0f;
    const size_t from2 = gl.log().calls.size();
    beginUntextured(&m);
    EXPECT_EQ(
        callsAfter(gl.log(), from2),
        (std::vector<std::string>{"glDisable(3553)", "glShadeModel(7424)", "glDisable(3042)"}));
}

TEST_F(Materials, NicestBeginSetsBothUnitsAndReturnsToUnit0) {
    Material m;
    m.texture0 = 3;
    m.texture1 = 4;
    m.alpha = 1.0f;
    beginTwoTexturesNicest(&m);
    EXPECT_EQ(
        gl.log().calls,
        (std::vector<std::string>{
            "glActiveTextureARB(33984)", "glEnable(3553)", "glBindTexture(3553, 3)",
            "glHint(3152, 4354)", "glDisable(3042)", "glActiveTextureARB(33985)", "glEnable(3553)",
            "glBindTexture(3553, 4)", "glHint(3152, 4354)", "glDisable(3042)", "glShadeModel(7424)",
            "glActiveTextureARB(33984)", "glDisable(3042)"}));
    gl.log().clear();
    beginSecondTexture(&m); // the second texture on unit 0
    EXPECT_GE(gl.log().find("glBindTexture(3553, 4)"), 0);
    EXPECT_EQ(gl.log().find("glBindTexture(3553, 3)"), -1);
}

TEST_F(Materials, UntexturedFacesAreColouredByAverageLightTimesColour) {
    // Mode 1, no textures, alpha 1: flat, untextured, unblended.
    Material m;
    m.mode = 1;
    m.alpha = 1.0f;
    m.red = 1.0f;
    m.green = 0.5f;
    m.blue = 0.0f;
    selectRenderMode(&m);
    Triangle tri;
    tri.v[0].light = 255;
    tri.v[1].light = 255;
    tri.v[2].light = 0; // (510 / 3) = 170
    renderState.setFadeFactor(0.5f);
    beginMaterial(&m);
    m.emit(tri.face);
    const float k = 170.0f / 255.0f;
    EXPECT_EQ(gl.log().calls,
              (std::vector<std::string>{
                  "glDisable(3553)", "glShadeModel(7424)", "glDisable(3042)",
                  "glColor4f(" + formatArg(k) + ", " + formatArg(0.5f * k) + ", 0, 0.5)",
                  "glVertex3fv(ptr)", "glVertex3fv(ptr)", "glVertex3fv(ptr)"}));
}

TEST_F(Materials, EmitRoutinesIssueColourThenCornersInOrder) {
    Material m;
    m.alpha = 0.8f;
    m.uOffset = 1.0f;
    m.vOffset = 2.0f;
    sceneState.setCurrentMaterial(&m);
    renderState.setFadeFactor(0.5f);
    Triangle tri;
    tri.v[0].light = 51; // 0.2 of full light

    emitTextured(tri.face);
    EXPECT_EQ(gl.log().calls, (std::vector<std::string>{
                                  "glColor4f(0.2, 0.2, 0.2, 0.4)", "glTexCoord2f(1, 2.5)",
                                  "glVertex3fv(ptr)", "glTexCoord2f(1.25, 2.5)", "glVertex3fv(ptr)",
                                  "glTexCoord2f(1.5, 2.5)", "glVertex3fv(ptr)"}));
    gl.log().clear();
    emitVertexMapped(tri.face); // environment coordinates plus the offsets
    EXPECT_EQ(gl.log().calls[1], "glTexCoord2f(1.1, 1.8)");
    EXPECT_EQ(gl.log().calls[5], "glTexCoord2f(1.3, 1.4)");
    gl.log().clear();
    emitTwoTextures(tri.face); // light not scaled; no offset on the second unit
    EXPECT_EQ(gl.log().calls[0], "glColor4f(51, 51, 51, 0.4)");
    EXPECT_EQ(gl.log().calls[1], "glMultiTexCoord2fARB(33984, 1, 2.5)");
    EXPECT_EQ(gl.log().calls[2], "glMultiTexCoord2fARB(33985, 0.1, -0.2)");
    EXPECT_EQ(gl.log().calls[3], "glVertex3fv(ptr)");
    gl.log().clear();
    emitTexturedSum(tri.face); // the sum of the three lights, no offsets
    EXPECT_EQ(gl.log().calls[0], "glColor4f(561, 561, 561, 0.4)");
    EXPECT_EQ(gl.log().calls[1], "glTexCoord2fv(ptr)");
    EXPECT_EQ(gl.log().count("glTexCoord2fv("), 3);
}

TEST_F(Materials, BeginMaterialWithoutRoutineDoesNothing) {
    Material m;
    m.mode = 0;
    selectRenderMode(&m);
    beginMaterial(&m);
    beginMaterial(nullptr);
    EXPECT_TRUE(gl.log().calls.empty());
    EXPECT_EQ(sceneState.currentMaterial(), nullptr);
}
