// test_scene_parts.cpp - the opening and the nine scene-playback parts on a real GL context with
// the forged data: the scene times each copy is drawn at (a modifier on the first mesh records
// them), where those copies land on screen, the fade curves read back as brightness, the fade
// each part leaves behind, the material fields they retune and scroll, the opening's picture
// cross-fade, tiny replacement scenes, and (on the recording table) the order of their GL state.
//
// Pixel tests put small scenes of their own ("markers") in a scratch folder searched before
// the archive, so a brightness or a position on screen stands for one number of the part.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "drawing_state_support.h"
#include "effect_test_support.h"
#include "effects/beginning.h"
#include "effects/effect_common.h"
#include "effects/scene_playback.h"
#include "gl_recorder.h"
#include "scene_test_support.h"
#include "tools/common/demo_scene.h"
#include "tools/common/envelope_writer.h"

using namespace testing_support;

namespace {

// ---- scenes and files of the tests' own

// The view of every marker scene: a camera 700 units in front of the y = 0 plane with a
// 90-degree field, so the 160-pixel picture spans x = -700..700 (8.75 units a pixel) and
// z = -525..525.
constexpr float viewDistance = 700.0f;

float columnOf(float x) {
    return EffectTest::width * 0.5f * (1.0f + x / viewDistance);
}

scenefile::Material whiteMaterial() {
    scenefile::Material m = plainMaterial("White", 2);
    m.colours[3] = m.colours[4] = m.colours[5] = 1.0f;
    return m;
}

scenefile::SceneFile viewOnly() {
    scenefile::SceneFile f;
    f.chunks.push_back(whiteMaterial());
    return f;
}

// A white square of half-side `half` whose centre runs along x with scene time:
// x = unitsPerTime * (time - centreTime), keyed every 10 units from 0 to `lastTime` (collinear
// keys, so the motion is linear between the first and last key and held outside them).
std::vector<unsigned char> markerScene(float lastTime, float unitsPerTime, float centreTime,
                                       float half) {
    scenefile::SceneFile f = viewOnly();
    scenefile::Mesh m = squareMesh("Marker", half);
    m.position.clear();
    for (float time = 0; time <= lastTime; time += 10) {
        m.position.push_back(vkey(time, unitsPerTime * (time - centreTime), 0, 0));
    }
    f.chunks.push_back(m);
    addCamera(f, {0, -viewDistance, 0}, {0, 0, 0});
    return sceneImage(f);
}

// A white square of half-side `half` standing still at x.
std::vector<unsigned char> stillSquare(float x, float half) {
    scenefile::SceneFile f = viewOnly();
    scenefile::Mesh m = squareMesh("Square", half);
    m.position = {vkey(0, x, 0, 0)};
    f.chunks.push_back(m);
    addCamera(f, {0, -viewDistance, 0}, {0, 0, 0});
    return sceneImage(f);
}

// One mesh, one material, a camera: less than any of the parts reaches for.
std::vector<unsigned char> tinyScene() {
    return stillSquare(0, 200);
}

std::vector<unsigned char> solidJpeg(unsigned char r, unsigned char g, unsigned char b) {
    std::vector<unsigned char> pixels;
    for (int i = 0; i < 32 * 32; ++i) {
        pixels.insert(pixels.end(), {r, g, b});
    }
    ScratchDir dir("jpeg");
    std::string error;
    EXPECT_TRUE(writeJpegFile(dir.file("p.jpg"), 32, 32, 3, pixels, 100, error)) << error;
    return readFile(dir.file("p.jpg"));
}

std::vector<unsigned char> envelope(const char* name, const std::vector<envfile::Key>& keys) {
    const std::string text = envfile::scalarEnvelopeText(name, keys);
    return std::vector<unsigned char>(text.begin(), text.end());
}

// Records the scene time a mesh is prepared at, in drawing order.
struct SceneTimeLog : MeshModifier {
    std::vector<float> times;
    void render(float time) override { times.push_back(time); }
    void watch(Scene* scene) { addModifier(scene->firstMesh, this); }
};

// ---- the fixture: forged data, real GL, and a scratch folder searched first

struct SceneParts : EffectTest {
    std::unique_ptr<ScratchDir> scratch;
    DirectorySource* overlay = nullptr;

    void SetUp() override {
        EffectTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        scratch = std::make_unique<ScratchDir>("scene-parts");
        overlay = new DirectorySource((scratch->path.string() + "/").c_str());
        searchPath.add(overlay); // in front of the archive
    }
    void TearDown() override {
        EffectTest::TearDown(); // clears the search path
        delete overlay;
        scratch.reset();
    }
    void put(const std::string& name, const std::vector<unsigned char>& bytes) {
        writeFile(scratch->file(name), bytes);
    }

    // Render at t and return the scene times the watched meshes were prepared at.
    std::vector<float> timesAt(Part& part, SceneTimeLog& log, float t) {
        log.times.clear();
        renderAt(part, t);
        return log.times;
    }
};

// Centres of the lit runs of columns along the picture's middle rows (level above 40).
std::vector<float> litColumnCentres(const Pixels& rgb) {
    std::vector<float> centres;
    int runStart = -1;
    for (int x = 0; x <= EffectTest::width; ++x) {
        const bool lit =
            x < EffectTest::width && meanLevelIn(rgb, EffectTest::width, x, 58, x + 1, 63) > 40.0;
        if (lit && runStart < 0) {
            runStart = x;
        } else if (!lit && runStart >= 0) {
            centres.push_back(0.5f * static_cast<float>(runStart + x));
            runStart = -1;
        }
    }
    return centres;
}

bool hasCentreNear(const std::vector<float>& centres, float column, float tolerance = 1.5f) {
    for (float c : centres) {
        if (std::fabs(c - column) <= tolerance) {
            return true;
        }
    }
    return false;
}

std::string describe(const std::vector<float>& v) {
    std::string s;
    for (float x : v) {
        s += std::to_string(x) + " ";
    }
    return s;
}

void expectTimes(const std::vector<float>& got, const std::vector<float>& want, float t) {
    ASSERT_EQ(got.size(), want.size()) << "at t = " << t << ": " << describe(got);
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_FLOAT_EQ(got[i], want[i]) << "copy " << i << " at t = " << t;
    }
}

} // namespace

// ---- scene times

TEST_F(SceneParts, BoxicalLoopsEvery12Point5SecondsWithTheSecondCopyHalfASecondAhead) {
    BoxicalPart part(35.5f, 47.0f);
    SceneTimeLog log;
    log.watch(part.scene.get());
    expectTimes(timesAt(part, log, 1.0f), {8, 12}, 1.0f);
    expectTimes(timesAt(part, log, 12.0f), {96, 0}, 12.0f); // the second copy wraps first
    for (float t : {0.0f, 0.75f, 3.0f, 6.25f, 9.5f}) {
        const std::vector<float> now = timesAt(part, log, t);
        expectTimes(timesAt(part, log, t + 12.5f), now, t + 12.5f);
        ASSERT_EQ(now.size(), 2u);
        EXPECT_FLOAT_EQ(timesAt(part, log, t + 0.5f)[0], now[1]) << "lead at t = " << t;
    }

    // On screen: a marker that moves 26 units along x per scene unit (scene time 25 in the
    // middle) appears twice, at scene times 16 and 20, 12 pixels apart.
    put("boxical.exp", markerScene(100, 26, 25, 15));
    BoxicalPart markers(35.5f, 47.0f);
    const std::vector<float> centres = litColumnCentres(renderAt(markers, 2.0f));
    EXPECT_EQ(centres.size(), 2u) << describe(centres);
    EXPECT_TRUE(hasCentreNear(centres, columnOf(26 * (16 - 25)))) << describe(centres);
    EXPECT_TRUE(hasCentreNear(centres, columnOf(26 * (20 - 25)))) << describe(centres);
}

// Boxical4 shares the loop, and its fade (min(t, 1)) lets the picture show it: 12.5 s later
// the same picture comes back.
TEST_F(SceneParts, Boxical4ShowsTheSamePicture12Point5SecondsLater) {
    put("boxical4.exp", markerScene(100, 26, 25, 15));
    Boxical4Part part(58.9f, 69.753f);
    for (float t : {1.25f, 3.0f, 5.0f}) {
        const Pixels first = renderAt(part, t);
        EXPECT_EQ(litColumnCentres(first).size(), 2u) << "at t = " << t;
        EXPECT_EQ(renderAt(part, t + 12.5f), first) << "at t = " << t;
    }
}

TEST_F(SceneParts, ClockRunsFourCopiesForwardsAndTwoBackwardsIntoNegativeTimes) {
    ClockPart part(104.0f, 138.5f);
    SceneTimeLog log;
    log.watch(part.scene.get());
    expectTimes(timesAt(part, log, 0.0f), {0, 15, 45, 65, 0, 446}, 0.0f);
    expectTimes(timesAt(part, log, 10.0f), {130, 185, 255, 415, 370, 256}, 10.0f);
    expectTimes(timesAt(part, log, 30.0f), {390, 525, 675, 1115, 110, -124}, 30.0f);
    expectTimes(timesAt(part, log, 40.0f), {520, 695, 885, 1465, -20, -314}, 40.0f);

    // A marker keyed from scene time 0 (x = -650) to 1300 (x = 650): a copy at a negative
    // time is drawn where its first key holds it, at the left edge.
    put("clock.exp", markerScene(1300, 1, 650, 15));
    ClockPart markers(104.0f, 138.5f);
    const float atZero = columnOf(-650);
    const std::vector<float> before = litColumnCentres(renderAt(markers, 10.0f));
    EXPECT_EQ(before.size(), 5u) << describe(before); // 255 and 256 share a column
    EXPECT_FALSE(hasCentreNear(before, atZero, 4)) << describe(before);
    EXPECT_TRUE(hasCentreNear(before, columnOf(256 - 650))) << describe(before);
    const std::vector<float> after = litColumnCentres(renderAt(markers, 30.0f));
    EXPECT_EQ(after.size(), 6u) << describe(after);
    EXPECT_TRUE(hasCentreNear(after, atZero)) << describe(after);
    EXPECT_TRUE(hasCentreNear(after, columnOf(110 - 650))) << describe(after);
}

TEST_F(SceneParts, OtherPartsDrawTheirScenesAtTheirOwnTimes) {
    {
        CheckPart part(59.302f, 69.753f);
        SceneTimeLog log;
        log.watch(part.scene.get());
        expectTimes(timesAt(part, log, 2.0f), {6, 10}, 2.0f);
        expectTimes(timesAt(part, log, 40.0f), {120, 124}, 40.0f); // not wrapped
    }
    {
        EnergyPart part(176.0f, 195.0f);
        SceneTimeLog log;
        log.watch(part.scene.get());
        expectTimes(timesAt(part, log, 2.5f), {25}, 2.5f);
    }
    {
        SphericalPart part(53.0f, 59.0f);
        SceneTimeLog log;
        log.watch(part.scene.get());
        expectTimes(timesAt(part, log, 13.0f), {4}, 13.0f);
    }
    {
        BubblebathPart part(26.5f, 44.0f);
        SceneTimeLog log;
        log.watch(part.scene.get());
        expectTimes(timesAt(part, log, 50.0f), {12.5f}, 50.0f); // 76.5 wrapped at 64
    }
    {
        // The backdrop first, then the credits, one log for both.
        CreditsPart part(104.0f, 138.5f);
        SceneTimeLog log;
        log.watch(part.backdropScene.get());
        log.watch(part.scene.get());
        expectTimes(timesAt(part, log, 3.0f), {30, 45}, 3.0f);
    }
    {
        FacetedPart part(138.302f, 159.44f);
        SceneTimeLog log;
        log.watch(part.scene.get());
        log.watch(part.scene2.get());
        expectTimes(timesAt(part, log, 4.0f), {40, 70}, 4.0f);
    }
}

// ---- fades

// A still white square; additive blending at opacity 0.9999 makes its level 255 x fade.
TEST_F(SceneParts, SphericalFadeRisesToFullAndSettlesNearAQuarter) {
    put("spherical.exp", stillSquare(0, 300));
    SphericalPart part(53.0f, 59.0f);
    auto level = [&](float t) { return meanLevelIn(renderAt(part, t), width, 70, 50, 90, 70); };
    EXPECT_EQ(level(0.0f), 0.0);
    EXPECT_EQ(level(1.0f), 0.0);
    EXPECT_NEAR(level(1.0f + 3.14159265f / (2 * 3.664f)), 255, 1.5);
    for (float t : {1.1f, 1.2f, 1.6f, 1.9f, 2.0f, 2.5f, 5.0f}) {
        const float x = std::min(2 * (t - 1), 2.0f);
        const float s = std::sin(0.5f * 3.664f * x);
        EXPECT_NEAR(level(t), 255 * 0.9999 * s * s, 1.5) << "at t = " << t;
    }
    EXPECT_NEAR(level(2.0f), 63, 1.5); // sin^2(3.664) = 0.248
}

// The first scene (left square) at 1 - 0.8 p with p held at 0.25 by a replacement envelope;
// the second (right square) at the same fade until 15.138 s, then falling to 0 over 1/0.6 s
// and skipped entirely once it is exactly 0.
TEST_F(SceneParts, FacetedSecondSceneFadesOutAndIsSkippedAtExactlyZero) {
    put("faceted.exp", stillSquare(-350, 250));
    put("faceted2.exp", stillSquare(350, 250));
    put("napierdalanie2.env",
        envelope("napierdalanie2", {envfile::key(0, 0.25f), envfile::key(300, 0.25f)}));
    FacetedPart part(138.302f, 159.44f);
    SceneTimeLog second;
    second.watch(part.scene2.get());
    auto left = [](const Pixels& p) { return meanLevelIn(p, width, 30, 50, 50, 70); };
    auto right = [](const Pixels& p) { return meanLevelIn(p, width, 110, 50, 130, 70); };

    Pixels p = renderAt(part, 10.0f);
    EXPECT_NEAR(left(p), 255 * 0.23966 * 0.8, 1.5);
    EXPECT_NEAR(right(p), 255 * 0.4966 * 0.8, 1.5);
    EXPECT_EQ(drawnFaceCount, 4);

    p = renderAt(part, 15.138f + 0.5f / 0.6f); // fade 0.5
    EXPECT_NEAR(left(p), 255 * 0.23966 * 0.8, 1.5);
    EXPECT_NEAR(right(p), 255 * 0.4966 * 0.5, 1.5);

    second.times.clear();
    renderAt(part, 16.8f); // fade 0.0028: still drawn
    EXPECT_EQ(drawnFaceCount, 4);
    EXPECT_EQ(second.times.size(), 1u);
    part.scene2->materials->items[0]->uOffset = -1.0f;

    for (float t : {16.81f, 18.0f, 21.0f}) {
        second.times.clear();
        p = renderAt(part, t);
        EXPECT_EQ(drawnFaceCount, 2) << "at t = " << t;
        EXPECT_TRUE(second.times.empty()) << "at t = " << t;
        EXPECT_EQ(right(p), 0.0);
        EXPECT_NEAR(left(p), 255 * 0.23966 * 0.8, 1.5);
    }
    // A skipped scene's offset is not rewritten either.
    EXPECT_EQ(part.scene2->materials->items[0]->uOffset, -1.0f);
}

// Boxical, Energy and the opening set fadeFactor to 1; Boxical4, Check, Spherical and Faceted
// put back what they found; Credits, Clock and Bubblebath never touch it.
TEST_F(SceneParts, EachPartLeavesTheFadeItsFrameCallsFor) {
    struct Case {
        const char* name;
        std::function<std::unique_ptr<Part>()> make;
        float t;
        float left; // fadeFactor afterwards when it was 0.37 before
    };
    const float found = 0.37f;
    const Case cases[] = {
        {"Beginning", [] { return std::make_unique<BeginningPart>(0.0f, 22.0f); }, 5, 1},
        {"Boxical", [] { return std::make_unique<BoxicalPart>(35.5f, 47.0f); }, 5, 1},
        {"Boxical4", [] { return std::make_unique<Boxical4Part>(58.9f, 69.753f); }, 5, found},
        {"Check", [] { return std::make_unique<CheckPart>(59.302f, 69.753f); }, 5, found},
        {"Energy before 7 s", [] { return std::make_unique<EnergyPart>(176.0f, 195.0f); }, 5, 1},
        {"Energy after 7 s", [] { return std::make_unique<EnergyPart>(176.0f, 195.0f); }, 8, 1},
        {"Spherical", [] { return std::make_unique<SphericalPart>(53.0f, 59.0f); }, 1.5f, found},
        {"Credits", [] { return std::make_unique<CreditsPart>(104.0f, 138.5f); }, 5, found},
        {"Clock", [] { return std::make_unique<ClockPart>(104.0f, 138.5f); }, 5, found},
        {"Bubblebath", [] { return std::make_unique<BubblebathPart>(26.5f, 44.0f); }, 5, found},
        {"Faceted", [] { return std::make_unique<FacetedPart>(138.302f, 159.44f); }, 16, found},
        {"Faceted, second scene skipped",
         [] { return std::make_unique<FacetedPart>(138.302f, 159.44f); }, 18, found},
    };
    for (const Case& c : cases) {
        std::unique_ptr<Part> part = c.make();
        renderState.setFadeFactor(found);
        renderAt(*part, c.t);
        EXPECT_EQ(fadeFactor, c.left) << c.name;
        renderState.setFadeFactor(1.0f);
    }
}

// ---- materials

TEST_F(SceneParts, MaterialsAreRetunedOnceAndOffsetsFollowTimeAlone) {
    auto all = [](Scene* s, uint32_t src, uint32_t dst, float alpha, const char* name) {
        ASSERT_GT(s->materials->count, 0) << name;
        for (int i = 0; i < s->materials->count; ++i) {
            const Material* m = s->materials->items[i];
            EXPECT_EQ(m->blendSrc, src) << name << " material " << i;
            EXPECT_EQ(m->blendDst, dst) << name << " material " << i;
            EXPECT_EQ(m->alpha, alpha) << name << " material " << i;
        }
    };
    auto offsets = [](Scene* s, int i) {
        const Material* m = s->materials->items[i];
        return std::pair<float, float>(m->uOffset, m->vOffset);
    };
    using P = std::pair<float, float>;

    BoxicalPart boxical(35.5f, 47.0f);
    all(boxical.scene.get(), GL_SRC_ALPHA, GL_SRC_ALPHA, 0.7f, "boxical");
    Boxical4Part boxical4(58.9f, 69.753f);
    all(boxical4.scene.get(), GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, 0.29999998f, "boxical4");
    EXPECT_NE(boxical4.scene->materials->items[0]->alpha, 0.3f);
    CheckPart check(59.302f, 69.753f);
    all(check.scene.get(), GL_SRC_ALPHA, GL_ONE, 0.423966f, "check");
    SphericalPart spherical(53.0f, 59.0f);
    all(spherical.scene.get(), GL_SRC_ALPHA, GL_ONE, 0.9999f, "spherical");
    EXPECT_LT(spherical.scene->materials->items[0]->alpha, 1.0f);
    FacetedPart faceted(138.302f, 159.44f);
    all(faceted.scene.get(), GL_SRC_ALPHA, GL_ONE, 0.23966f, "faceted");
    all(faceted.scene2.get(), GL_SRC_ALPHA, GL_ONE, 0.4966f, "faceted2");
    EnergyPart energy(176.0f, 195.0f);
    CreditsPart credits(104.0f, 138.5f);

    // Rendered late, then early: the early offsets are what a fresh start gives.
    for (float t : {9.0f, 2.5f}) {
        renderAt(boxical, t);
        renderAt(boxical4, t);
        renderAt(check, t);
        renderAt(spherical, t);
        renderAt(faceted, t);
        renderAt(energy, t);
        renderAt(credits, t);
    }
    const float t = 2.5f;
    EXPECT_EQ(offsets(boxical.scene.get(), 0), P(-3.6f * t, 0));
    EXPECT_EQ(offsets(boxical.scene.get(), 1), P(0, 0));
    EXPECT_EQ(offsets(boxical4.scene.get(), 0), P(-0.2f * t, 0));
    EXPECT_EQ(offsets(check.scene.get(), 0), P(1.5f * t, 0));
    EXPECT_EQ(offsets(spherical.scene.get(), 0), P(0.2f * t, 0));
    EXPECT_EQ(offsets(spherical.scene.get(), 1), P(0, -0.2f * t));
    EXPECT_EQ(offsets(spherical.scene.get(), 2), P(-0.3f * t, 0));
    EXPECT_EQ(offsets(faceted.scene.get(), 0), P(1.5f * t, 0));
    EXPECT_EQ(offsets(faceted.scene2.get(), 0), P(1.5f * t + 8, 0));
    EXPECT_EQ(offsets(energy.scene.get(), 0), P(0.6f * t, 0));
    EXPECT_EQ(offsets(credits.scene.get(), 6), P(0, 4 * t));
    for (int i = 0; i < credits.scene->materials->count; ++i) {
        if (i != 6) {
            EXPECT_EQ(offsets(credits.scene.get(), i), P(0, 0)) << "credits material " << i;
        }
    }
}

// ---- the opening

// Pictures of one solid colour each ("overtake.jpg" red, "overtake2.jpg" blue), a scene whose
// only mesh is behind the camera, no dimming, and a = 0, 0.5, 1 at t = 0, 1.5, 3. The pictures
// add fade x w red and fade x (1 - w) blue over the middle 1/1.4 of the height.
TEST_F(SceneParts, BeginningCrossFadesItsPicturesWithTheEnvelope) {
    put("overtake.jpg", solidJpeg(255, 0, 0));
    put("overtake2.jpg", solidJpeg(0, 0, 255));
    scenefile::SceneFile f = viewOnly();
    scenefile::Mesh behind = squareMesh("Behind", 50);
    behind.position = {vkey(0, 0, -2 * viewDistance, 0)};
    f.chunks.push_back(behind);
    addCamera(f, {0, -viewDistance, 0}, {0, 0, 0});
    put("beginning.exp", sceneImage(f));
    put("alpha_circle.env", envelope("alpha_circle", {envfile::key(0, 0), envfile::key(1.5f, 0.5f),
                                                      envfile::key(3, 1), envfile::key(10, 1)}));
    put("koniec_intra.env", envelope("koniec_intra", {envfile::key(0, 0), envfile::key(30, 0)}));
    BeginningPart part(0.0f, 22.0f);

    auto channel = [](const Pixels& p, int y, int c) {
        return static_cast<int>(
            p[(static_cast<size_t>(y) * width + 80) * 3 + static_cast<size_t>(c)]);
    };
    struct Want {
        float t, red, blue;
    };
    // a = 0: fade 0.2, w = 1. a = 0.5: fade 0.7, w = 1 - 1/16. a = 1: fade 1.2 (the colour's
    // alpha stops at 1), w = 0.
    for (Want want :
         {Want{0, 0.2f, 0}, Want{1.5f, 0.7f * 0.9375f, 0.7f * 0.0625f}, Want{3, 0, 1}}) {
        const Pixels p = renderAt(part, want.t);
        EXPECT_NEAR(channel(p, 60, 0), 255 * want.red, 3) << "red at t = " << want.t;
        EXPECT_NEAR(channel(p, 60, 2), 255 * want.blue, 3) << "blue at t = " << want.t;
        // 120 / 1.4 = 85.7 rows in the middle: rows 18..101 covered, 0..16 and 103.. not.
        EXPECT_GT(channel(p, 19, 0) + channel(p, 19, 2), 0) << "t = " << want.t;
        EXPECT_GT(channel(p, 100, 0) + channel(p, 100, 2), 0) << "t = " << want.t;
        EXPECT_EQ(channel(p, 15, 0) + channel(p, 15, 2), 0) << "t = " << want.t;
        EXPECT_EQ(channel(p, 105, 0) + channel(p, 105, 2), 0) << "t = " << want.t;
        EXPECT_EQ(fadeFactor, 1.0f);
    }
}

// With the forged data: the scrolled offsets and the picture at a time do not depend on the
// times shown before it.
TEST_F(SceneParts, BeginningRewritesItsOffsetsFromTimeAlone) {
    BeginningPart part(0.0f, 22.0f);
    const Pixels fresh = renderAt(part, 3.0f);
    EXPECT_GT(meanLevel(fresh), 5.0);
    renderAt(part, 11.0f);
    renderAt(part, 7.25f);
    EXPECT_EQ(renderAt(part, 3.0f), fresh);
    const Material* first = part.scene->materials->items[0];
    const Material* second = part.scene->materials->items[1];
    EXPECT_EQ(first->uOffset, 0.3f);
    EXPECT_EQ(first->vOffset, 1.4f * 3.0f + 0.5f);
    EXPECT_EQ(second->uOffset, 1.4f * 3.0f);
    EXPECT_EQ(second->vOffset, 0.0f);
}

// ---- scenes smaller than the parts expect

TEST_F(SceneParts, EveryPartDrawsATinySceneWithoutReadingPastIt) {
    for (const char* name : {"beginning.exp", "boxical.exp", "boxical4.exp", "check.exp",
                             "energy.exp", "spherical.exp", "credits.exp", "design_bw.exp",
                             "clock.exp", "bubblebath.exp", "faceted.exp", "faceted2.exp"}) {
        put(name, tinyScene());
    }
    struct Case {
        const char* name;
        std::function<std::unique_ptr<Part>()> make;
        float visibleAt;
    };
    const Case cases[] = {
        {"Beginning", [] { return std::make_unique<BeginningPart>(0.0f, 22.0f); }, 5},
        {"Boxical", [] { return std::make_unique<BoxicalPart>(35.5f, 47.0f); }, 5},
        {"Boxical4", [] { return std::make_unique<Boxical4Part>(58.9f, 69.753f); }, 5},
        {"Check", [] { return std::make_unique<CheckPart>(59.302f, 69.753f); }, 5},
        {"Energy", [] { return std::make_unique<EnergyPart>(176.0f, 195.0f); }, 5},
        {"Spherical", [] { return std::make_unique<SphericalPart>(53.0f, 59.0f); }, 1.5f},
        {"Credits", [] { return std::make_unique<CreditsPart>(104.0f, 138.5f); }, 5},
        {"Clock", [] { return std::make_unique<ClockPart>(104.0f, 138.5f); }, 5},
        {"Bubblebath", [] { return std::make_unique<BubblebathPart>(26.5f, 44.0f); }, 5},
        {"Faceted", [] { return std::make_unique<FacetedPart>(138.302f, 159.44f); }, 5},
    };
    for (const Case& c : cases) {
        std::unique_ptr<Part> part = c.make();
        for (float t : {0.0f, 12.0f, 30.0f}) {
            renderAt(*part, t);
        }
        const Pixels p = renderAt(*part, c.visibleAt);
        EXPECT_GT(drawnFaceCount, 0) << c.name;
        EXPECT_GT(meanLevelIn(p, width, 75, 55, 85, 65), 10.0) << c.name;
    }
}

// ---- GL call order (recording table)

namespace {

std::string call(const char* name, std::initializer_list<long long> args) {
    std::string s = std::string(name) + "(";
    bool first = true;
    for (long long a : args) {
        s += (first ? "" : ", ") + std::to_string(a);
        first = false;
    }
    return s + ")";
}

const std::vector<std::string> unitZeroOn = {
    call("glActiveTextureARB", {GL_TEXTURE1_ARB}), call("glDisable", {GL_TEXTURE_2D}),
    call("glActiveTextureARB", {GL_TEXTURE0_ARB}), call("glEnable", {GL_TEXTURE_2D})};
const std::vector<std::string> unitZeroOff = {
    call("glActiveTextureARB", {GL_TEXTURE1_ARB}), call("glDisable", {GL_TEXTURE_2D}),
    call("glActiveTextureARB", {GL_TEXTURE0_ARB}), call("glDisable", {GL_TEXTURE_2D})};

std::vector<std::string> concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

std::vector<std::string> head(const GlLog& log, size_t n) {
    return {log.calls.begin(),
            log.calls.begin() + static_cast<long>(std::min(n, log.calls.size()))};
}

// The calls after the last glEnd.
std::vector<std::string> afterLastEnd(const GlLog& log) {
    size_t i = log.calls.size();
    while (i > 0 && log.calls[i - 1] != "glEnd()") {
        --i;
    }
    return {log.calls.begin() + static_cast<long>(i), log.calls.end()};
}

struct RecordedParts : ForgedData {
    void SetUp() override {
        ForgedData::SetUp();
        resetDrawingState();
    }
    void TearDown() override {
        resetDrawingState();
        ForgedData::TearDown();
    }
};

} // namespace

TEST_F(RecordedParts, ScenePartsOpenWithTheirStateAndCloseWithTheirClosingSteps) {
    const std::string cullOff = call("glDisable", {GL_CULL_FACE});
    const std::string depthOff = call("glDisable", {GL_DEPTH_TEST});
    const std::string depthOn = call("glEnable", {GL_DEPTH_TEST});
    const std::string triangles = call("glBegin", {GL_TRIANGLES});
    struct Case {
        const char* name;
        std::function<std::unique_ptr<Part>()> make;
        float t;
        std::vector<std::string> opening, closing;
    };
    const std::vector<Case> cases = {
        {"Boxical",
         [] { return std::make_unique<BoxicalPart>(35.5f, 47.0f); },
         5,
         {cullOff, depthOff, call("glEnable", {GL_BLEND}), triangles},
         {}},
        {"Boxical4",
         [] { return std::make_unique<Boxical4Part>(58.9f, 69.753f); },
         5,
         {cullOff, depthOff, triangles},
         {}},
        {"Check", [] { return std::make_unique<CheckPart>(59.302f, 69.753f); }, 5,
         concat({{cullOff, depthOff}, unitZeroOn, {triangles}}), unitZeroOn},
        {"Energy",
         [] { return std::make_unique<EnergyPart>(176.0f, 195.0f); },
         8,
         {cullOff, depthOff, triangles},
         concat({unitZeroOn, {"glColor4f(1, 1, 1, 1)"}})},
        {"Spherical",
         [] { return std::make_unique<SphericalPart>(53.0f, 59.0f); },
         1.5f,
         {cullOff, depthOff, triangles},
         {}},
        {"Credits",
         [] { return std::make_unique<CreditsPart>(104.0f, 138.5f); },
         5,
         {cullOff, depthOff, triangles},
         {}},
        {"Clock",
         [] { return std::make_unique<ClockPart>(104.0f, 138.5f); },
         5,
         {cullOff, depthOff, triangles},
         {}},
        {"Bubblebath",
         [] { return std::make_unique<BubblebathPart>(26.5f, 44.0f); },
         5,
         {cullOff, depthOn, triangles},
         concat({{depthOff}, unitZeroOff})},
        {"Faceted", [] { return std::make_unique<FacetedPart>(138.302f, 159.44f); }, 5,
         concat({{cullOff, depthOff}, unitZeroOn, {triangles}}), unitZeroOn},
    };
    for (const Case& c : cases) {
        RecordingGl gl;
        std::unique_ptr<Part> part = c.make();
        gl.log().clear();
        part->render(c.t);
        EXPECT_EQ(head(gl.log(), c.opening.size()), c.opening) << c.name;
        EXPECT_EQ(afterLastEnd(gl.log()), c.closing) << c.name;
        EXPECT_EQ(gl.log().count("glBegin("), gl.log().count("glEnd(")) << c.name;
        EXPECT_EQ(currentPrimitive, 0) << c.name;
    }
}

// The opening: its first batch, then the pictures' state and their two quads, exactly.
TEST_F(RecordedParts, BeginningDrawsThePicturesLastInItsOwnState) {
    RecordingGl gl;
    BeginningPart part(0.0f, 22.0f);
    gl.log().clear();
    const float t = 12.0f;
    part.render(t);
    const GlLog& log = gl.log();
    const float a = evaluate(part.alphaEnvelope, t);
    const float fade = (1 - 0.01f * evaluate(part.introEnvelope, t - 1)) * (a + 0.2f);
    const float w = 1 - a * a * a * a;
    EXPECT_EQ(head(log, 3), (std::vector<std::string>{call("glDisable", {GL_CULL_FACE}),
                                                      call("glDisable", {GL_DEPTH_TEST}),
                                                      call("glBegin", {GL_TRIANGLES})}));
    // Depth testing comes on between the two scene batches, with no batch open.
    const int depthOn = log.find(call("glEnable", {GL_DEPTH_TEST}));
    ASSERT_GT(depthOn, 0);
    EXPECT_EQ(log.calls[static_cast<size_t>(depthOn) - 1], "glEnd()");

    auto picture = [&](int texture, const std::string& colour) {
        return std::vector<std::string>{call("glEnable", {GL_TEXTURE_2D}),
                                        call("glBindTexture", {GL_TEXTURE_2D, texture}),
                                        call("glBegin", {GL_QUADS}),
                                        colour,
                                        "glTexCoord2f(0, 0)",
                                        "glVertex3f(-1, 1, 0)",
                                        "glTexCoord2f(1, 0)",
                                        "glVertex3f(1, 1, 0)",
                                        "glTexCoord2f(1, 1)",
                                        "glVertex3f(1, -1, 0)",
                                        "glTexCoord2f(0, 1)",
                                        "glVertex3f(-1, -1, 0)",
                                        "glEnd()"};
    };
    const std::vector<std::string> tail = concat({
        unitZeroOff,
        {call("glDisable", {GL_CULL_FACE}), call("glEnable", {GL_BLEND}),
         call("glBlendFunc", {GL_SRC_ALPHA, GL_ONE}), call("glDisable", {GL_DEPTH_TEST}),
         call("glMatrixMode", {GL_PROJECTION}), "glLoadIdentity()",
         "glOrtho(-1, 1, -1.4, 1.4, -1, 1)", call("glMatrixMode", {GL_MODELVIEW}),
         "glLoadIdentity()"},
        picture(part.pictureA, "glColor4f(1, 1, 1, " + formatArg(fade * w) + ")"),
        picture(part.pictureB, "glColor4f(1, 1, 1, " + formatArg((1 - w) * fade) + ")"),
    });
    ASSERT_GE(log.calls.size(), tail.size());
    EXPECT_EQ(
        std::vector<std::string>(log.calls.end() - static_cast<long>(tail.size()), log.calls.end()),
        tail);
    EXPECT_EQ(fadeFactor, 1.0f);
}

// ---- a mesh drawn inside the effects' open batch

// Inside a batch GL refuses state changes, so the mesh's closing texturing-off calls are left
// out there: no GL error, and texturing stays as the material set it. With no batch open they
// are made and take effect.
TEST_F(SceneParts, AMeshDrawnInsideABatchLeavesNoGlErrorBehind) {
    put("solid.jpg", solidJpeg(0, 255, 0));
    auto texturedSquare = [&](const char* name, float eyeY) {
        scenefile::SceneFile f;
        f.chunks.push_back(plainMaterial("Paint", 2, "solid.jpg"));
        f.chunks.push_back(squareMesh("Square", 200));
        addCamera(f, {0, eyeY, 0}, {0, 0, 0});
        put(name, sceneImage(f));
        return std::unique_ptr<Scene>(loadSceneNamed(name));
    };
    std::unique_ptr<Scene> front = texturedSquare("front.exp", -viewDistance);
    std::unique_ptr<Scene> back = texturedSquare("back.exp", viewDistance); // faces turned away
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    beginPrimitive(GL_TRIANGLES);
    drawScene(front.get(), 0);
    endPrimitive();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    const Pixels p = gl.readRgb();
    EXPECT_NEAR(p[(60 * width + 80) * 3 + 1], 255, 3); // green from the texture

    drawScene(back.get(), 0); // no batch, no faces drawn
    EXPECT_EQ(drawnFaceCount, 2);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}
