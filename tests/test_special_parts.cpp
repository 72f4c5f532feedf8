// test_special_parts.cpp - the wobbling scene, the layered scene with echo layers and the
// embossed closing picture, on a real GL context with the forged data: the wobble as a function
// of its rest copy and time, the slides and fades read back as pixels, the echo layers against
// the pulse, the emboss offset, relief and fades, the picture without combiners, and every part
// over a scene that holds only one mesh and one material.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <typeinfo>
#include <vector>

#include "effect_test_support.h"
#include "effects/bump.h"
#include "effects/effect_common.h"
#include "effects/shite.h"
#include "effects/woah.h"
#include "gl_recorder.h"
#include "scene_test_support.h"
#include "tools/common/envelope_writer.h"

using namespace testing_support;

namespace {

// A white untextured material (mode 1: flat, coloured by its second colour triple).
scenefile::Material whiteMaterial(const std::string& name, float alpha) {
    scenefile::Material m = plainMaterial(name, 1);
    m.colours = {0, 0, 0, 1, 1, 1, 0, 0, 0};
    m.alpha = alpha;
    return m;
}

// A square of half side `half` at (x, 0, z), facing a camera on -Y, with material `material`.
scenefile::Mesh squareAt(const std::string& name, float half, float x, float z,
                         int32_t material = 0) {
    scenefile::Mesh m = squareMesh(name, half, material);
    m.position = {vkey(0, x, 0, z)};
    return m;
}

// The smallest scene a part may be given: one mesh, one material, a camera `distance` in front
// of it (field of view pi/2, so the view is 2 * distance wide and 1.5 * distance high).
scenefile::SceneFile tinyScene(const std::string& meshName = "Quad", float half = 5.0f,
                               float z = 0.0f, float distance = 20.0f, float alpha = 1.0f) {
    scenefile::SceneFile f;
    f.chunks.push_back(whiteMaterial("paint", alpha));
    f.chunks.push_back(squareAt(meshName, half, 0, z));
    addCamera(f, {0, -distance, 0}, {0, 0, 0});
    return f;
}

std::vector<unsigned char> textBytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// A constant pulse envelope.
std::string pulseText(float value) {
    return envfile::scalarEnvelopeText("pulse", {envfile::key(0, value)});
}

// The forged data, with a scratch folder searched before it for files a test replaces.
struct SpecialPartTest : EffectTest {
    std::unique_ptr<ScratchDir> scratch;
    DirectorySource* overrides = nullptr;

    void TearDown() override {
        EffectTest::TearDown(); // clears the search path
        delete overrides;
    }
    void replaceFile(const std::string& name, const std::vector<unsigned char>& bytes) {
        if (!overrides) {
            scratch = std::make_unique<ScratchDir>("special");
            overrides = new DirectorySource((scratch->path.string() + "/").c_str());
            searchPath.add(overrides);
        }
        writeFile(scratch->file(name), bytes);
    }
    void replaceScene(const std::string& name, const scenefile::SceneFile& file) {
        replaceFile(name, sceneImage(file));
    }
};

double maxLevel(const Pixels& rgb) {
    unsigned char best = 0;
    for (unsigned char v : rgb) {
        best = v > best ? v : best;
    }
    return best;
}

// Mean row of the pixels brighter than `threshold`, or -1 when there are none.
double litRowCentre(const Pixels& rgb, int threshold = 20) {
    double sum = 0;
    int n = 0;
    for (int y = 0; y < EffectTest::height; ++y) {
        for (int x = 0; x < EffectTest::width; ++x) {
            if (rgb[(static_cast<size_t>(y) * EffectTest::width + x) * 3] > threshold) {
                sum += y;
                ++n;
            }
        }
    }
    return n ? sum / n : -1;
}

double meanAbsDifference(const Pixels& a, const Pixels& b, int y0, int y1) {
    double sum = 0;
    int n = 0;
    for (int y = y0; y < y1; ++y) {
        for (int i = 0; i < EffectTest::width * 3; ++i) {
            const size_t k = static_cast<size_t>(y) * EffectTest::width * 3 + i;
            sum += std::abs(a[k] - b[k]);
            ++n;
        }
    }
    return sum / n;
}

// Numbers of the recorded calls whose text starts with `prefix`, e.g. "glTranslatef(".
std::vector<std::vector<double>> recordedArgs(const GlLog& log, const std::string& prefix) {
    std::vector<std::vector<double>> result;
    for (const std::string& call : log.calls) {
        if (call.rfind(prefix, 0) != 0) {
            continue;
        }
        std::vector<double> args;
        const char* p = call.c_str() + prefix.size();
        char* next = nullptr;
        for (double v = std::strtod(p, &next); next != p; v = std::strtod(p, &next)) {
            args.push_back(v);
            p = next;
            while (*p == ',' || *p == ' ') {
                ++p;
            }
        }
        result.push_back(args);
    }
    return result;
}

struct VertexState {
    std::vector<float> values;
    explicit VertexState(const MeshObject& mesh) {
        for (int i = 0; i < mesh.vertexCount; ++i) {
            const Vertex& v = mesh.vertices[i];
            values.insert(values.end(), v.position, v.position + 3);
            values.insert(values.end(), v.normal, v.normal + 3);
        }
    }
};

} // namespace

// ---- the wobble

TEST_F(SpecialPartTest, WobbleIsAFunctionOfTheRestCopyAndTimeOnly) {
    ShitePart part(44.4f, 60.0f);
    ASSERT_EQ(part.modifiers.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        MeshObject* mesh = meshAt(part.scene.get(), i);
        VertexWobbleModifier& m = *part.modifiers[static_cast<size_t>(i)];
        ASSERT_EQ(m.object, mesh);
        ASSERT_EQ(mesh->modifiers.count, 1);
        EXPECT_EQ(mesh->modifiers.items[0], static_cast<MeshModifier*>(&m));
        EXPECT_EQ(m.rest.size(), static_cast<size_t>(mesh->vertexCount));
    }
    EXPECT_EQ(meshAt(part.scene.get(), 4), nullptr) << "the forged scene has four meshes";

    VertexWobbleModifier& blob = *part.modifiers[0];
    MeshObject& mesh = *blob.object;
    blob.render(12.5f);
    const VertexState first(mesh);
    blob.render(150.0f);
    EXPECT_NE(VertexState(mesh).values, first.values);
    blob.render(12.5f);
    EXPECT_EQ(VertexState(mesh).values, first.values) << "the deformation accumulated";

    // Preparing the mesh runs the modifier with the preparation time.
    blob.render(150.0f);
    prepareMeshes(part.scene.get(), 12.5f);
    EXPECT_EQ(VertexState(mesh).values, first.values);
}

TEST_F(SpecialPartTest, WobbleStretchesXAndYWithinTheirRangesAndRecomputesNormals) {
    ShitePart part(44.4f, 60.0f);
    float lowX = 10, highX = 0, lowY = 10, highY = 0;
    bool normalsMoved = false;
    for (const auto& modifier : part.modifiers) {
        const MeshObject& mesh = *modifier->object;
        for (float x = 0; x < 200; x += 3.7f) {
            modifier->render(x);
            for (size_t i = 0; i < modifier->rest.size(); ++i) {
                const auto& r = modifier->rest[i];
                const Vertex& v = mesh.vertices[i];
                EXPECT_EQ(v.position[2], r.position[2]);
                if (std::fabs(r.position[0]) > 0.5f) {
                    const float s = v.position[0] / r.position[0];
                    ASSERT_GE(s, 1.5f - 1e-4f);
                    ASSERT_LE(s, 2.8f + 1e-4f);
                    lowX = std::min(lowX, s);
                    highX = std::max(highX, s);
                }
                if (std::fabs(r.position[1]) > 0.5f) {
                    const float s = v.position[1] / r.position[1];
                    ASSERT_GE(s, 1.5f - 1e-4f);
                    ASSERT_LE(s, 2.5f + 1e-4f);
                    lowY = std::min(lowY, s);
                    highY = std::max(highY, s);
                }
                const float* n = v.normal;
                const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
                if (length > 0) {
                    EXPECT_NEAR(length, 1.0f, 1e-4f);
                }
                normalsMoved |= std::fabs(n[0] - r.normal[0]) > 0.05f;
            }
        }
    }
    // Over many times and directions the factors reach both ends of their ranges.
    EXPECT_LT(lowX, 1.52f);
    EXPECT_GT(highX, 2.75f);
    EXPECT_LT(lowY, 1.52f);
    EXPECT_GT(highY, 2.46f);
    EXPECT_TRUE(normalsMoved) << "normals must follow the stretched shape";
}

// ---- the wobbling scene

// Recorded for the projection shifts only: both slides start 200 (x) and 3000 (y) units out and
// arrive at t = 3.14, where they stay.
TEST_F(SpecialPartTest, ShiteSlidesArriveAtPiAndStay) {
    RecordingGl recording;
    ShitePart part(44.4f, 60.0f);
    auto shifts = [&](float t) {
        recording.log().clear();
        part.render(t);
        EXPECT_EQ(currentPrimitive, 0);
        return recordedArgs(recording.log(), "glTranslatef(");
    };
    const auto start = shifts(0.0f);
    ASSERT_EQ(start.size(), 3u);
    EXPECT_EQ(start[0], (std::vector<double>{200, 0, 0}));
    EXPECT_EQ(start[1], (std::vector<double>{-10, 0, 0}));
    EXPECT_EQ(start[2], (std::vector<double>{0, 3000, 0}));

    const auto middle = shifts(1.57f);
    EXPECT_NEAR(middle[0][0], 200 - 200 * std::sin(0.785), 0.01);
    EXPECT_NEAR(middle[2][1], 3000 - 3000 * std::sin(0.785), 0.1);

    const auto arrived = shifts(3.14f);
    EXPECT_NEAR(arrived[0][0], 0, 1e-3);
    EXPECT_NEAR(arrived[2][1], 0, 2e-3);
    for (float t : {3.2f, 7.0f, 15.6f}) {
        const auto later = shifts(t);
        EXPECT_EQ(later[0], arrived[0]) << t;
        EXPECT_EQ(later[2], arrived[2]) << t;
    }
    EXPECT_NE(shifts(3.0f)[2], arrived[2]) << "still sliding at t = 3";

    // The projection is current only for the shifts; everything else draws in model-view.
    const GlLog& log = recording.log();
    recording.log().clear();
    part.render(2.0f);
    const int translate = log.find("glTranslatef(0, ");
    ASSERT_GE(translate, 1);
    EXPECT_EQ(log.calls[static_cast<size_t>(translate) - 1], "glMatrixMode(5889)");
    EXPECT_EQ(log.calls[static_cast<size_t>(translate) + 1], "glMatrixMode(5888)");
}

// The main scene far away (a square of half side 1000, 5000 units off) stays in view while it
// slides, so its brightness shows the fade: 0 up to t = 1, then 0.4 (material 0's share) of
// full from t = 2. Its row shows the slide settling at t = 3.14.
TEST_F(SpecialPartTest, ShiteMainSceneFadesInOverItsSecondSecondAndSettles) {
    replaceScene("shite1.exp", tinyScene("Blob", 1000, 0, 5000));
    replaceScene("design_bw2.exp", tinyScene("Backdrop")); // no "Qua" mesh: draws nothing
    ShitePart part(44.4f, 60.0f);
    ASSERT_EQ(part.modifiers.size(), 1u);

    for (float t : {0.0f, 0.5f, 1.0f}) {
        EXPECT_EQ(maxLevel(renderAt(part, t)), 0) << t;
        EXPECT_EQ(fadeFactor, 1.0f);
    }
    const double full = 0.4 * 255;
    auto centre = [&](float t) { return meanLevelIn(renderAt(part, t), width, 70, 46, 90, 56); };
    EXPECT_NEAR(centre(1.5f), full * 0.5, 3);
    EXPECT_NEAR(centre(1.75f), full * 0.75, 3);
    for (float t : {2.0f, 2.5f, 3.14f, 9.0f}) {
        EXPECT_NEAR(centre(t), full, 3) << t;
    }

    const double settled = litRowCentre(renderAt(part, 9.0f));
    EXPECT_NEAR(litRowCentre(renderAt(part, 3.14f)), settled, 0.5);
    EXPECT_GT(std::fabs(litRowCentre(renderAt(part, 1.5f)) - settled), 10);
    EXPECT_GT(std::fabs(litRowCentre(renderAt(part, 2.5f)) - settled), 1.5);
}

TEST_F(SpecialPartTest, ShiteDrawsTheForgedScenes) {
    ShitePart part(44.4f, 60.0f);
    for (float t : {0.0f, 1.0f, 3.14f, 8.0f, 15.6f}) {
        const Pixels frame = renderAt(part, t);
        EXPECT_GT(meanLevel(frame), 5) << "the backdrop shows from the start, t = " << t;
        EXPECT_EQ(fadeFactor, 1.0f);
    }
}

// ---- the layered scene

namespace {

// "Original" at the top left, two background squares along the bottom, and the four echo
// layers side by side along the top, each where its own pixels can be read.
scenefile::SceneFile echoScene() {
    scenefile::SceneFile f;
    f.chunks.push_back(whiteMaterial("Skin", 1.0f));
    f.chunks.push_back(whiteMaterial("Back", 1.0f));
    f.chunks.push_back(whiteMaterial("Echo", 0.99f));
    f.chunks.push_back(squareAt("Original", 3, -12, 6, 0));
    f.chunks.push_back(squareAt("Tunnel", 3, -12, -8, 1));
    f.chunks.push_back(squareAt("Disc", 3, 4, -8, 1));
    for (int i = 0; i < 4; ++i) {
        f.chunks.push_back(
            squareAt("LWO0" + std::to_string(i + 1), 2.5f, -4 + 6 * static_cast<float>(i), 6, 2));
    }
    addCamera(f, {0, -20, 0}, {0, 0, 0});
    return f;
}

// Level at the centre of the square at world (x, z) (4 pixels a unit, origin at the centre).
double levelAt(const Pixels& frame, float x, float z) {
    const int px = 80 + static_cast<int>(4 * x), py = 60 - static_cast<int>(4 * z);
    return meanLevelIn(frame, EffectTest::width, px - 3, py - 3, px + 3, py + 3);
}

} // namespace

TEST_F(SpecialPartTest, EchoLayersDimWithThePulseAndVanishAtOne) {
    replaceScene("woah3.exp", echoScene());
    replaceFile("napierdalanie.env", textBytes(pulseText(0)));
    WoahPart part(69.753f, 104.0f);

    const float weights[4] = {0.7f, 0.5f, 0.35f, 0.2f};
    for (float p : {0.0f, 0.5f, 1.0f}) {
        parseEnvelope(part.pulseEnvelope, pulseText(p).c_str());
        const Pixels frame = renderAt(part, 3.0f);
        EXPECT_EQ(fadeFactor, 1.0f);
        EXPECT_NEAR(levelAt(frame, -12, 6), 255, 1) << "Original, p = " << p;
        EXPECT_NEAR(levelAt(frame, -12, -8), 255, 1) << "background, p = " << p;
        EXPECT_NEAR(levelAt(frame, 4, -8), 255, 1) << "background, p = " << p;
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(echoLayerFade(i, p), weights[i] * (1 - p), 1e-6);
            EXPECT_NEAR(levelAt(frame, -4 + 6 * static_cast<float>(i), 6),
                        255 * 0.99 * weights[i] * (1 - p), 2)
                << "LWO0" << i + 1 << ", p = " << p;
        }
    }
}

// The pulse is read at demo time: keyed 0 at demo time 0 and 1 at the part's start, it is
// already 1 at local time 0.
TEST_F(SpecialPartTest, PulseIsReadAtDemoTime) {
    replaceScene("woah3.exp", echoScene());
    replaceFile("napierdalanie.env", textBytes(envfile::scalarEnvelopeText(
                                         "pulse", {envfile::key(0, 0), envfile::key(69.753f, 1)})));
    WoahPart part(69.753f, 104.0f);
    for (float t : {0.0f, 4.0f}) {
        const Pixels frame = renderAt(part, t);
        EXPECT_NEAR(levelAt(frame, -12, 6), 255, 1);
        EXPECT_EQ(levelAt(frame, -4, 6), 0) << t;
    }
}

TEST_F(SpecialPartTest, WoahDrawsTheForgedScene) {
    WoahPart part(69.753f, 104.0f);
    for (float t : {0.0f, 5.0f, 17.0f, 34.2f}) {
        EXPECT_GT(meanLevel(renderAt(part, t)), 10) << t;
        EXPECT_EQ(fadeFactor, 1.0f);
    }
}

// ---- the embossed picture

TEST(EmbossCombiners, BothExtensionsAreNeededByTheirWholeNames) {
    EXPECT_TRUE(embossCombinersAvailable(
        "GL_ARB_multitexture GL_ARB_texture_env_combine GL_NV_texture_env_combine4"));
    EXPECT_TRUE(embossCombinersAvailable("GL_NV_texture_env_combine4 GL_ARB_texture_env_combine"));
    EXPECT_FALSE(embossCombinersAvailable("GL_ARB_multitexture GL_ARB_texture_env_combine"));
    EXPECT_FALSE(embossCombinersAvailable("GL_NV_texture_env_combine4"));
    EXPECT_FALSE(
        embossCombinersAvailable("GL_ARB_texture_env_combine_extra GL_NV_texture_env_combine4"));
    EXPECT_FALSE(
        embossCombinersAvailable("GL_ARB_texture_env_combine GL_NV_texture_env_combine4x"));
    EXPECT_FALSE(embossCombinersAvailable(""));
    EXPECT_FALSE(embossCombinersAvailable(nullptr));
}

namespace {

// A driver that offers multitexturing but not the NV combiners.
const GLubyte* (*realGetString)(GLenum) = nullptr;
const GLubyte* getStringWithoutCombine4(GLenum name) {
    static const char list[] = "GL_ARB_multitexture GL_ARB_texture_env_combine";
    return name == GL_EXTENSIONS ? reinterpret_cast<const GLubyte*>(list) : realGetString(name);
}

// Installs that driver's answer over the current glGetString for the life of the object.
struct WithoutCombine4 {
    const GLubyte* (*saved)(GLenum);
    WithoutCombine4() : saved(glGetString) {
        realGetString = glGetString;
        glGetString = &getStringWithoutCombine4;
    }
    ~WithoutCombine4() { glGetString = saved; }
};

const float bumpInterval[2] = {172.0f, 185.035f};

// The closing scene replaced by a small square near the top edge, above the picture (which
// covers rows 20..100): rows 2..18.
scenefile::SceneFile squareAboveThePicture() {
    return tinyScene("Orb", 2, 12.5f);
}

// Picture rows and the square's rectangle.
double pictureLevel(const Pixels& f) {
    return meanLevelIn(f, EffectTest::width, 0, 24, EffectTest::width, 96);
}
double squareLevel(const Pixels& f) {
    return meanLevelIn(f, EffectTest::width, 76, 6, 84, 14);
}

} // namespace

TEST_F(SpecialPartTest, EmbossOffsetTurnsOnceEveryTwoSeconds) {
    RecordingGl recording;
    BumpPart part(bumpInterval);
    EXPECT_EQ(part.start, 172.0f);
    EXPECT_EQ(part.end, 185.035f);
    ASSERT_TRUE(part.relief);
    auto offset = [&](float t) {
        recording.log().clear();
        part.render(t);
        EXPECT_FLOAT_EQ(part.time, t);
        // The first corner's unit-1 coordinates are the offset itself.
        for (const auto& args : recordedArgs(recording.log(), "glMultiTexCoord2fARB(")) {
            if (args[0] == GL_TEXTURE1_ARB) {
                return std::make_pair(args[1], args[2]);
            }
        }
        ADD_FAILURE() << "no unit-1 coordinates at " << t;
        return std::make_pair(0.0, 0.0);
    };
    for (float t : {0.0f, 0.25f, 1.3f, 2.9f}) {
        const auto [du, dv] = offset(t);
        EXPECT_NEAR(std::hypot(du, dv), 0.005, 1e-6) << t;
        const auto [du2, dv2] = offset(t + 2.0f);
        EXPECT_NEAR(du2, du, 2e-6) << t;
        EXPECT_NEAR(dv2, dv, 2e-6) << t;
        const auto [du1, dv1] = offset(t + 1.0f);
        EXPECT_NEAR(du1, -du, 2e-6) << t;
        EXPECT_NEAR(dv1, -dv, 2e-6) << t;
        // A quarter turn every half second.
        const auto [duq, dvq] = offset(t + 0.5f);
        EXPECT_NEAR(duq * du + dvq * dv, 0, 1e-7) << t;
    }
    const auto [du0, dv0] = offset(0.0f);
    EXPECT_EQ(du0, 0);
    EXPECT_NEAR(dv0, 0.005, 1e-9);

    // The picture is drawn with depth writes off, the scene with depth test and writes on.
    recording.log().clear();
    part.render(3.0f);
    const GlLog& log = recording.log();
    const int quad = log.find("glBegin(7)");
    const int scene = log.find("glBegin(4)");
    ASSERT_GE(quad, 0);
    ASSERT_GT(scene, quad);
    int lastMaskBeforeQuad = -1, lastMaskBeforeScene = -1, depthOnBeforeScene = -1;
    for (int i = 0; i < scene; ++i) {
        const std::string& c = log.calls[static_cast<size_t>(i)];
        if (c.rfind("glDepthMask(", 0) == 0) {
            (i < quad ? lastMaskBeforeQuad : lastMaskBeforeScene) = i;
        }
        if (c == "glEnable(2929)" && i > quad) {
            depthOnBeforeScene = i;
        }
    }
    ASSERT_GE(lastMaskBeforeQuad, 0);
    ASSERT_GE(lastMaskBeforeScene, 0);
    EXPECT_EQ(log.calls[static_cast<size_t>(lastMaskBeforeQuad)], "glDepthMask(0)");
    EXPECT_EQ(log.calls[static_cast<size_t>(lastMaskBeforeScene)], "glDepthMask(1)");
    EXPECT_GT(depthOnBeforeScene, quad);
}

TEST_F(SpecialPartTest, PictureAndSceneFadeInAndOut) {
    replaceScene("end.exp", squareAboveThePicture());
    BumpPart part(bumpInterval);
    ASSERT_TRUE(part.relief) << "llvmpipe offers both combiners";

    // t = 1, 3 and 5 share one offset, as do 0, 2, 4 and 6.
    const Pixels dark = renderAt(part, 0.0f);
    EXPECT_EQ(maxLevel(dark), 0);
    const Pixels fadingIn = renderAt(part, 1.0f);
    const Pixels full = renderAt(part, 3.0f);
    const Pixels fullOtherWay = renderAt(part, 4.0f);
    const Pixels fadingOut = renderAt(part, 6.0f);
    EXPECT_EQ(maxLevel(renderAt(part, 7.0f)), 0);

    ASSERT_GT(pictureLevel(full), 30);
    EXPECT_NEAR(pictureLevel(fadingIn) / pictureLevel(full), 0.5, 0.04);
    EXPECT_NEAR(pictureLevel(fadingOut) / pictureLevel(fullOtherWay), 0.5, 0.04);
    EXPECT_NEAR(squareLevel(full), 255, 1);
    EXPECT_NEAR(squareLevel(fadingIn), 127.5, 2);
    EXPECT_NEAR(squareLevel(fadingOut), 127.5, 2);
    EXPECT_EQ(fadeFactor, 1.0f);

    // Between 2 and 5 s the scene keeps the fade it was given.
    renderState.setFadeFactor(0.3f);
    EXPECT_NEAR(squareLevel(renderAt(part, 3.0f)), 0.3 * 255, 2);
    EXPECT_EQ(fadeFactor, 1.0f);
}

TEST_F(SpecialPartTest, ReliefMovesWithTheOffsetAndRepeatsEveryTwoSeconds) {
    replaceScene("end.exp", squareAboveThePicture());
    BumpPart part(bumpInterval);
    const Pixels a = renderAt(part, 3.0f);
    EXPECT_LT(meanAbsDifference(a, renderAt(part, 5.0f), 20, 100), 0.5);
    EXPECT_GT(meanAbsDifference(a, renderAt(part, 4.0f), 20, 100), 2);
    EXPECT_GT(meanAbsDifference(a, renderAt(part, 3.5f), 20, 100), 2);
}

// Without GL_NV_texture_env_combine4 the picture is drawn flat: no combiner enum reaches the
// driver, the picture has its own brightness, and the turning offset changes nothing.
TEST_F(SpecialPartTest, WithoutCombinersThePictureIsDrawnFlat) {
    replaceScene("end.exp", squareAboveThePicture());
    BumpPart embossed(bumpInterval);
    const Pixels reliefFrame = renderAt(embossed, 3.0f);

    WithoutCombine4 driver;
    BumpPart part(bumpInterval);
    ASSERT_FALSE(part.relief);
    const Pixels flat = renderAt(part, 3.0f);
    EXPECT_LT(meanAbsDifference(flat, renderAt(part, 4.0f), 20, 100), 0.5);
    EXPECT_NEAR(pictureLevel(flat), pictureLevel(reliefFrame), 0.25 * pictureLevel(reliefFrame));
    EXPECT_NEAR(pictureLevel(renderAt(part, 1.0f)) / pictureLevel(flat), 0.5, 0.04);
    EXPECT_NEAR(squareLevel(flat), 255, 1);
}

TEST_F(SpecialPartTest, WithoutCombinersNoCombinerEnumIsIssued) {
    RecordingGl recording;
    WithoutCombine4 driver;
    BumpPart part(bumpInterval);
    ASSERT_FALSE(part.relief);
    recording.log().clear();
    part.render(3.0f);
    auto calls = recordedArgs(recording.log(), "glTexEnvi(");
    for (auto& args : recordedArgs(recording.log(), "glTexEnvf(")) {
        calls.push_back(args);
    }
    EXPECT_GE(calls.size(), 3u);
    for (const auto& args : calls) {
        ASSERT_EQ(args.size(), 3u);
        for (double v : args) {
            EXPECT_FALSE(v >= 0x8500 && v < 0x8600) << "combiner enum " << v;
        }
    }
    EXPECT_EQ(recording.log().count("glBegin(7)"), 1);
}

TEST_F(SpecialPartTest, BumpDrawsTheForgedData) {
    BumpPart part(bumpInterval);
    for (float t : {0.0f, 1.0f, 3.0f, 8.0f, 13.0f}) {
        const Pixels frame = renderAt(part, t);
        if (t > 0 && t < 7) {
            EXPECT_GT(pictureLevel(frame), 20) << t;
        }
        EXPECT_EQ(fadeFactor, 1.0f);
    }
}

// ---- scenes smaller than the parts expect

// Every scene file replaced by one mesh, one material and a camera: each part draws what there
// is at every stage of its interval and reads nothing past it.
TEST_F(SpecialPartTest, TinyScenesDrawWhatTheyHave) {
    for (const char* name : {"shite1.exp", "design_bw2.exp", "woah3.exp", "end.exp"}) {
        replaceScene(name, tinyScene(std::strcmp(name, "woah3.exp") == 0 ? "Original" : "Quad"));
    }
    ShitePart shite(44.4f, 60.0f);
    EXPECT_EQ(shite.modifiers.size(), 1u);
    EXPECT_EQ(shite.modifiers[0]->rest.size(), 4u);
    WoahPart woah(69.753f, 104.0f);
    BumpPart bump(bumpInterval);
    for (float t : {0.0f, 1.5f, 3.14f, 6.0f, 15.0f}) {
        for (Part* part :
             {static_cast<Part*>(&shite), static_cast<Part*>(&woah), static_cast<Part*>(&bump)}) {
            const Pixels frame = renderAt(*part, t);
            EXPECT_EQ(fadeFactor, 1.0f);
            if (t == 3.14f) {
                EXPECT_GT(meanLevelIn(frame, width, 70, 50, 90, 70), 50)
                    << "the square is drawn, part " << typeid(*part).name();
            }
        }
    }
    // The main scene's one material is material 0: it took the picture and the alpha.
    EXPECT_FLOAT_EQ(materialAt(shite.scene.get(), 0)->alpha, 0.4f);
    EXPECT_EQ(materialAt(shite.scene.get(), 1), nullptr);
    EXPECT_LT(materialAt(bump.scene.get(), 0)->alpha, 1.0f);
    EXPECT_EQ(materialAt(bump.scene.get(), 0)->twoSided, 1);
}
