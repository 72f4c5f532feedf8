// test_picture_effects.cpp - the flat picture effects on a real GL context: the poem's brightness
// curve and orientation, the title sprites' change of drawing order, the picture stacks'
// opacities, the panorama's empty first frame and invisible first strip, the backdrop, the GL
// state each part leaves for the next, and greyscale and progressive JPEG files as their
// pictures. The recording GL table is used only for call order.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "effect_test_support.h"
#include "effects/introduction_poem.h"
#include "effects/panorama.h"
#include "effects/picture_stacks.h"
#include "effects/title_sprites.h"
#include "gl_recorder.h"
#include "resources/search_path.h"
#include "tools/common/envelope_writer.h"

using namespace testing_support;

namespace {

// A JPEG made with libjpeg itself: `components` 1 (greyscale) or 3 (RGB), rows top to bottom,
// progressive when asked.
std::vector<unsigned char> encodeJpegFile(int w, int h, int components,
                                          const std::vector<unsigned char>& pixels,
                                          bool progressive) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(w);
    cinfo.image_height = static_cast<JDIMENSION>(h);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    if (progressive) {
        jpeg_simple_progression(&cinfo);
    }
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<unsigned char*>(
            &pixels[static_cast<size_t>(cinfo.next_scanline) * w * components]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<unsigned char> out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

// The frame marker that starts the picture: 0xC0 baseline, 0xC2 progressive; -1 when none.
int startOfFrameMarker(const std::vector<unsigned char>& jpeg) {
    for (size_t i = 0; i + 1 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            return jpeg[i + 1];
        }
    }
    return -1;
}

// A w x h picture from a function of the pixel position giving one grey level or RGB.
std::vector<unsigned char> makePixels(int w, int h, int components,
                                      const std::function<int(int x, int y, int c)>& f) {
    std::vector<unsigned char> px;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < components; ++c) {
                px.push_back(static_cast<unsigned char>(f(x, y, c)));
            }
        }
    }
    return px;
}

// Largest difference of any byte of two pictures of the same size.
int maxDifference(const Pixels& a, const Pixels& b) {
    int most = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        most = std::max(most, std::abs(a[i] - b[i]));
    }
    return most;
}

bool isEnabled(GLenum cap) {
    return glIsEnabled(cap) != 0;
}

GLint integer(GLenum name) {
    GLint v = 0;
    glGetIntegerv(name, &v);
    return v;
}

// The names of the pictures the flat effects load. The sprites' colour pictures are looked up
// by their lower-cased names (a folder on the search path is case-sensitive).
const char* const effectPictures[] = {
    "introductionpoem1.jpg",
    "d1_tirval2.jpg",
    "d1_face.jpg",
    "d1_circle2.jpg",
    "DarkHorizonOfDreams1__.jpg",
    "max_t4.jpg",
    "DustOnYourEyes__.jpg",
    "vsz_d2.jpg",
    "backg.jpg",
};

struct PictureEffects : EffectTest {
    std::unique_ptr<ScratchDir> folder;
    std::unique_ptr<DirectorySource> folderSource;

    void TearDown() override {
        EffectTest::TearDown();
        folderSource.reset();
        folder.reset();
    }

    // Writes a file into a folder searched before the archive, so it replaces the forged one.
    void replaceFile(const std::string& name, const std::vector<unsigned char>& bytes) {
        if (!folder) {
            folder = std::make_unique<ScratchDir>("pictures");
            folderSource = std::make_unique<DirectorySource>((folder->path.string() + "/").c_str());
            searchPath.add(folderSource.get());
        }
        writeFile(folder->file(name), bytes);
    }
    void replaceFile(const std::string& name, const std::string& text) {
        replaceFile(name, std::vector<unsigned char>(text.begin(), text.end()));
    }

    // As renderAt, over a background of grey `level` (0..1) instead of black.
    Pixels renderOver(Part& part, float t, float level) {
        glClearColor(level, level, level, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        part.render(t);
        EXPECT_EQ(currentPrimitive, 0) << "a batch was left open at t = " << t;
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "at t = " << t;
        return gl.readRgb();
    }

    // The stack drawing alone, over black, at animation time T with opacity `alpha`.
    Pixels renderStacks(int picture, const StackLayout& layout, float T, float alpha) {
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        beginPictureStacks(picture);
        drawPictureStacks(picture, layout, T, alpha);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        return gl.readRgb();
    }

    // The part's frame at t is the stack drawing at T with opacity `alpha`, and visibly not the
    // one with a tenth more or less opacity.
    void expectStacksAt(Part& part, float t, int picture, const StackLayout& layout, float T,
                        float alpha) {
        SCOPED_TRACE("t = " + std::to_string(t));
        const Pixels frame = renderAt(part, t);
        const Pixels expected = renderStacks(picture, layout, T, alpha);
        EXPECT_LE(maxDifference(frame, expected), 1);
        if (alpha > 0) {
            EXPECT_GT(meanLevel(expected), 0.5);
            EXPECT_GT(maxDifference(frame, renderStacks(picture, layout, T, alpha * 1.1f)), 2);
            EXPECT_GT(maxDifference(frame, renderStacks(picture, layout, T, alpha * 0.9f)), 2);
        } else {
            EXPECT_EQ(meanLevel(frame), 0.0);
        }
    }
};

// --- the introduction poem ---

TEST_F(PictureEffects, PoemRisesFromNothingToItsPeakNearSixPointEightThreeSecondsAndFades) {
    IntroductionPoemPart poem(20.341f, 35.5f, 0);
    EXPECT_EQ(meanLevel(renderAt(poem, 0)), 0.0);
    const double peak = meanLevel(renderAt(poem, 6.83f));
    ASSERT_GT(peak, 8.0);
    for (float t : {1.0f, 3.0f, 5.0f, 6.0f, 7.7f, 9.0f, 12.0f}) {
        EXPECT_LT(meanLevel(renderAt(poem, t)), peak) << t;
    }
    // Half way up the phase is pi/4: sin = 0.707 of the peak. Symmetric about the peak.
    EXPECT_NEAR(meanLevel(renderAt(poem, 3.415f)) / peak, 0.7071, 0.02);
    EXPECT_NEAR(meanLevel(renderAt(poem, 10.245f)) / peak, 0.7071, 0.02);
    // From about 13.66 s to the part's end at 15.159 s only sin(3.14) = 0.0016 of it is left.
    EXPECT_LT(meanLevel(renderAt(poem, 14.0f)), 0.01 * peak);
    EXPECT_LT(meanLevel(renderAt(poem, 15.159f)), 0.01 * peak);
}

TEST_F(PictureEffects, PoemDrawsTheTopRowAtTheTopAndAddsToTheFrame) {
    // White above, black below.
    replaceFile(
        "introductionpoem1.jpg",
        encodeJpegFile(64, 64, 3,
                       makePixels(64, 64, 3, [](int, int y, int) { return y < 32 ? 255 : 0; }),
                       false));
    IntroductionPoemPart poem(20.341f, 35.5f, 0);
    const Pixels frame = renderAt(poem, 6.83f);
    EXPECT_GT(meanLevelIn(frame, width, 0, 0, width, height / 4), 250.0);
    EXPECT_LT(meanLevelIn(frame, width, 0, 3 * height / 4, width, height), 3.0);
    // Added over a grey frame: the black half leaves it as it was, the white half saturates.
    const Pixels over = renderOver(poem, 6.83f, 0.4f);
    EXPECT_NEAR(meanLevelIn(over, width, 0, 3 * height / 4, width, height), 102.0, 2.0);
    EXPECT_GT(meanLevelIn(over, width, 0, 0, width, height / 4), 253.0);
}

// A poem line is one quad over the whole view, seen through a projection that maps the view's
// -1 .. 1 square onto the screen unchanged (glOrtho(-1, 1, -1, 1, -1, 1) is the identity but for
// z's sign), drawn additively at the poem's fade: sin(t * 0.0732118 * 3.14), 1 near 6.83 s. It
// leaves the demo's fade factor alone.
TEST_F(PictureEffects, PoemIsOneQuadOverTheViewAtItsFade) {
    IntroductionPoemPart poem(20.341f, 35.5f, 0);
    renderAt(poem, 6.83f);
    float projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    for (int i = 0; i < 16; ++i) {
        EXPECT_FLOAT_EQ(projection[i], i == 10 ? -1.0f : (i % 5 == 0 ? 1.0f : 0.0f)) << i;
    }
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));

    RecordingGl recorder;
    for (float t : {2.0f, 6.83f, 12.0f}) {
        SCOPED_TRACE(t);
        recorder.log().clear();
        poem.render(t);
        const GlLog& log = recorder.log();
        EXPECT_EQ(log.count("glBegin("), 1);
        EXPECT_EQ(log.count("glVertex3f("), 4);
        for (const char* corner : {"glVertex3f(-1, 1, 0)", "glVertex3f(1, 1, 0)",
                                   "glVertex3f(1, -1, 0)", "glVertex3f(-1, -1, 0)"}) {
            EXPECT_GT(log.find(corner), log.find("glBegin(")) << corner;
        }
        EXPECT_LT(log.find("glBlendFunc(770, 1)"), log.find("glBegin(")); // SRC_ALPHA, ONE
        float r, g, b, a;
        const int colour = log.find("glColor4f(");
        ASSERT_GE(colour, 0);
        ASSERT_EQ(std::sscanf(log.calls[static_cast<size_t>(colour)].c_str(),
                              "glColor4f(%f, %f, %f, %f)", &r, &g, &b, &a),
                  4);
        EXPECT_NEAR(a, std::sin(t * 0.0732118 * 3.14), 1e-5);
    }
    EXPECT_EQ(fadeFactor, 1.0f);
}

// --- the title sprites ---

TEST_F(PictureEffects, TitleSpritesChangeTheirDrawingOrderExactlyAtNinePointThreeThree) {
    RecordingGl recorder;
    TitleSpritesPart sprites(0, 20);
    // The recorder hands out texture names in loading order.
    ASSERT_EQ(sprites.titleTexture, 1);
    ASSERT_EQ(sprites.faceTexture, 2);
    ASSERT_EQ(sprites.circleTexture, 3);
    const auto binds = [&](float t) {
        recorder.log().clear();
        sprites.render(t);
        std::vector<std::string> order;
        for (const auto& c : recorder.log().calls) {
            if (c.rfind("glBindTexture(", 0) == 0) {
                order.push_back(c.substr(c.find(", ") + 2, 1));
            }
        }
        return order;
    };
    const float justBefore = std::nextafter(9.33f, 0.0f);
    EXPECT_EQ(binds(justBefore), (std::vector<std::string>{"1", "3", "2"}));
    EXPECT_EQ(binds(9.33f), (std::vector<std::string>{"3", "2", "1"}));
    EXPECT_EQ(binds(0.0f), (std::vector<std::string>{"1", "3", "2"}));
    EXPECT_EQ(binds(19.0f), (std::vector<std::string>{"3", "2", "1"}));
    // The circle takes the black set just before it; the other two set white.
    recorder.log().clear();
    sprites.render(9.33f);
    const GlLog& log = recorder.log();
    const int circle = log.find("glBindTexture(" + std::to_string(GL_TEXTURE_2D) + ", 3)");
    ASSERT_GT(circle, 0);
    EXPECT_EQ(log.calls[static_cast<size_t>(circle) - 1].rfind("glColor4f(0, 0, 0, ", 0), 0u);
    EXPECT_GT(log.find("glColor4f(", circle), log.find("glEnd()", circle));
}

TEST_F(PictureEffects, TitleSpritesShowTheTitleOverTheCircleFromNinePointThreeThree) {
    // Still sprites 500 units away with the circle at opacity 0.5: the title an opaque white
    // square, the circle an opaque square (drawn black) 1.85 times its size around it, the
    // face fully transparent.
    using envfile::key;
    replaceFile("tirvaltext_pos.env",
                envfile::vectorEnvelopeText("tirvaltext_pos", {envfile::vectorKey(0, 0, 0, 0),
                                                               envfile::vectorKey(20, 0, 0, 0)}));
    replaceFile("alpha_circle.env",
                envfile::scalarEnvelopeText("alpha_circle", {key(0, 0.5f), key(20, 0.5f)}));
    replaceFile("koniec_intra.env",
                envfile::scalarEnvelopeText("koniec_intra", {key(0, 0), key(20, 0)}));
    const std::vector<unsigned char> white =
        encodeJpegFile(16, 16, 3, makePixels(16, 16, 3, [](int, int, int) { return 255; }), false);
    for (const char* name : {"d1_tirval2.jpg", "d1_face.jpg", "d1_circle2.jpg"}) {
        replaceFile(name, white);
    }
    replaceFile("D1_TirvalAlpha.tga", std::vector<unsigned char>(256, 255));
    replaceFile("D1_CircleAlpha.tga", std::vector<unsigned char>(256, 255));
    replaceFile("D1_FaceAlpha.tga", std::vector<unsigned char>(256, 0));
    TitleSpritesPart sprites(0, 20);

    // The title square covers x in [-0.4, 0.4], y in [-0.91, 0.16] of the screen: columns
    // 48-112, rows 50-114. Until 9.33 the half-opaque black circle lies over it.
    const float justBefore = std::nextafter(9.33f, 0.0f);
    const Pixels before = renderAt(sprites, justBefore);
    const Pixels after = renderAt(sprites, 9.33f);
    EXPECT_NEAR(meanLevelIn(before, width, 56, 58, 104, 106), 127.5, 2.0);
    EXPECT_GT(meanLevelIn(after, width, 56, 58, 104, 106), 253.0);
    // Around the title only the circle, black over black, in both orders.
    EXPECT_EQ(meanLevelIn(before, width, 0, 0, 40, height), 0.0);
    EXPECT_EQ(meanLevelIn(after, width, 0, 0, 40, height), 0.0);
}

// --- the picture stacks ---

TEST_F(PictureEffects, PictureTunnelFadesInOverOneSecondAndOutOverOneAndTwoThirds) {
    PictureTunnelPart tunnel(26.9f, 44.5f, 1, "max_t4.jpg");
    const auto& layout = PictureTunnelPart::layout;
    for (float t : {0.5f, 0.75f}) {
        expectStacksAt(tunnel, t, tunnel.picture, layout, 0.9f * t, 0.19f * t);
    }
    expectStacksAt(tunnel, 1.5f, tunnel.picture, layout, 0.9f * 1.5f, 0.19f);
    expectStacksAt(tunnel, 8.0f, tunnel.picture, layout, 0.9f * 8.0f, 0.19f);
    expectStacksAt(tunnel, 16.1f, tunnel.picture, layout, 0.9f * 16.1f, 0.19f);
    for (float fade : {0.75f, 0.5f, 0.25f}) {
        const float t = 16.1f + (1.0f - fade) / 0.6f;
        expectStacksAt(tunnel, t, tunnel.picture, layout, 0.9f * t, 0.19f * fade);
    }
    expectStacksAt(tunnel, 17.8f, tunnel.picture, layout, 0.9f * 17.8f, 0);
    EXPECT_EQ(fadeFactor, 1.0f);
}

TEST_F(PictureEffects, PictureTunnelBetweenItsFadesKeepsTheFadeItFinds) {
    PictureTunnelPart tunnel(26.9f, 44.5f, 1, "max_t4.jpg");
    renderState.setFadeFactor(0.5f);
    const Pixels frame = renderAt(tunnel, 8.0f);
    EXPECT_LE(maxDifference(frame, renderStacks(tunnel.picture, PictureTunnelPart::layout,
                                                0.9f * 8.0f, 0.19f * 0.5f)),
              1);
    EXPECT_EQ(fadeFactor, 1.0f);
}

TEST_F(PictureEffects, DustFadesOutOverTheSecondAfterItsFadePoint) {
    DustPart dust(69.753f, 103.5f);
    const auto& layout = DustPart::layout;
    expectStacksAt(dust, 0.5f, dust.picture, layout, 0.5f, 0.19f);
    expectStacksAt(dust, 20.0f, dust.picture, layout, 20.0f, 0.19f);
    expectStacksAt(dust, 29.991f, dust.picture, layout, 29.991f, 0.19f);
    for (float fade : {0.75f, 0.5f, 0.25f}) {
        const float t = 29.991f + (1.0f - fade);
        expectStacksAt(dust, t, dust.picture, layout, t, 0.19f * fade);
    }
    expectStacksAt(dust, 31.0f, dust.picture, layout, 31.0f, 0);
    expectStacksAt(dust, 33.747f, dust.picture, layout, 33.747f, 0);
    EXPECT_EQ(fadeFactor, 1.0f);
}

TEST_F(PictureEffects, DarkHorizonDrawsAtOpacityPointTwoThreeWhateverTheFade) {
    DarkHorizonPart horizon(9.862f, 13.5f);
    renderState.setFadeFactor(0.3f);
    for (float t : {0.5f, 2.0f, 3.638f}) {
        expectStacksAt(horizon, t, horizon.picture, DarkHorizonPart::layout, t, 0.23f);
    }
    EXPECT_EQ(fadeFactor, 0.3f);
}

TEST_F(PictureEffects, StacksStartEdgeOnAndTipTowardsTheViewer) {
    DarkHorizonPart horizon(9.862f, 13.5f);
    PictureTunnelPart tunnel(26.9f, 44.5f, 1, "max_t4.jpg");
    // At T = 0 the one stack's squares lie edge-on at eye height.
    EXPECT_LT(meanLevel(renderStacks(horizon.picture, DarkHorizonPart::layout, 0, 1)), 1.0);
    // By T = 3.14 they face the viewer.
    const double edgeOn = meanLevel(renderStacks(tunnel.picture, PictureTunnelPart::layout, 0, 1));
    const double facing =
        meanLevel(renderStacks(tunnel.picture, PictureTunnelPart::layout, 3.14f, 1));
    EXPECT_GT(facing, 4 * edgeOn);
    EXPECT_GT(facing, 40.0);
}

TEST_F(PictureEffects, StacksOnlyEverBrightenTheFrame) {
    DarkHorizonPart horizon(9.862f, 13.5f);
    PictureTunnelPart tunnel(26.9f, 44.5f, 1, "max_t4.jpg");
    DustPart dust(69.753f, 103.5f);
    for (Part* part : std::initializer_list<Part*>{&horizon, &tunnel, &dust}) {
        const Pixels frame = renderOver(*part, 5.0f, 0.3f);
        int darker = 0, brighter = 0;
        for (unsigned char v : frame) {
            darker += v < 76;
            brighter += v > 96;
        }
        EXPECT_EQ(darker, 0);
        EXPECT_GT(brighter, 500);
    }
}

TEST_F(PictureEffects, PictureTunnelWithoutAPictureNameDrawsNoSquares) {
    for (const char* name : {static_cast<const char*>(nullptr), ""}) {
        PictureTunnelPart tunnel(26.9f, 44.5f, 1, name);
        EXPECT_EQ(tunnel.picture, noPicture);
        EXPECT_EQ(meanLevel(renderAt(tunnel, 8.0f)), 0.0);
        EXPECT_EQ(fadeFactor, 1.0f);
    }
    RecordingGl recorder;
    PictureTunnelPart tunnel(26.9f, 44.5f, 1, nullptr);
    tunnel.render(8.0f);
    EXPECT_EQ(recorder.log().count("glBegin("), 0);
    EXPECT_EQ(recorder.log().count("glBindTexture("), 0);
}

TEST_F(PictureEffects, StackSquaresAreDrawnOneBatchEachAfterTheirMatrix) {
    RecordingGl recorder;
    DarkHorizonPart horizon(9.862f, 13.5f);
    DustPart dust(69.753f, 103.5f);
    recorder.log().clear();
    horizon.render(1.0f);
    GlLog& log = recorder.log();
    EXPECT_EQ(log.count("glBegin(" + std::to_string(GL_QUADS) + ")"), 8);
    // Each square: identity, layer offset, spin, tilt, and the swing about y = 150.
    const int first = log.find("glBegin(");
    const std::vector<std::string> square(log.calls.begin() + first - 7, log.calls.begin() + first);
    EXPECT_EQ(square, (std::vector<std::string>{
                          "glLoadIdentity()",
                          "glTranslatef(0, 0, " + formatArg(90.0f * std::sin(0.4f) - 100.0f) + ")",
                          "glRotatef(25, 0, 0, 1)",
                          "glRotatef(" + formatArg(90.0f * std::pow(std::sin(0.5f), 2.0f) + 90) +
                              ", 1, 0, 0)",
                          "glTranslatef(0, 150, 0)",
                          "glRotatef(26, 1, 0, 0)",
                          "glTranslatef(0, -150, 0)",
                      }));
    EXPECT_EQ(log.calls[static_cast<size_t>(first) + 1], "glColor4f(1, 1, 1, 0.23)");
    log.clear();
    dust.render(1.0f);
    EXPECT_EQ(log.count("glBegin("), 16);
    EXPECT_EQ(log.count("glTranslatef(0, 150, 0)"), 0);
    // The near layer's last square: 50 sin(0.242 T) across, 50 up, 7 x 34 units away.
    EXPECT_GE(log.find("glTranslatef(" + formatArg(50.0f * std::sin(0.242f)) + ", 50, -238)"), 0);
}

// --- the panorama and the backdrop ---

TEST_F(PictureEffects, PanoramaFirstFrameAddsNothing) {
    PanoramaPart panorama(44.4f, 60);
    EXPECT_EQ(meanLevel(renderAt(panorama, 0)), 0.0);
    const Pixels grey = renderOver(panorama, 0, 0.5f);
    for (unsigned char v : grey) {
        ASSERT_EQ(v, 128);
    }
    // A fifth of a second later the window's left edge is at 4 - 5 sin(0.2) = 3.007: the
    // picture's right end has come in at the left, over a fifth of the screen.
    const Pixels entering = renderAt(panorama, 0.2f);
    EXPECT_GT(meanLevelIn(entering, width, 0, 0, width * 3 / 20, height), 10.0);
    EXPECT_EQ(meanLevelIn(entering, width, width / 4, 0, width, height), 0.0);
}

TEST_F(PictureEffects, PanoramaFirstRollingStripIsInvisibleAndTheOthersGrowBrighter) {
    // The picture's left 30 % white, the rest black. The panorama quad then shows black right of
    // x = 1, where the six strips stand, and each strip's own left part samples white.
    replaceFile(
        "vsz_d2.jpg",
        encodeJpegFile(200, 64, 3,
                       makePixels(200, 64, 3, [](int x, int, int) { return x < 60 ? 255 : 0; }),
                       false));
    PanoramaPart panorama(44.4f, 60);
    const Pixels frame = renderAt(panorama, 3.0f);
    // Window [-1, 4]: 32 pixels a unit. Strip j covers x in [1.91 + 0.25 j, 2.2 + 0.25 j]; its
    // white part the first 0.17 units of that.
    const auto stripWhite = [&](int j) {
        const double left = (1.91 + 0.25012 * j + 1) * 32;
        return meanLevelIn(frame, width, static_cast<int>(left) + 1, 0,
                           static_cast<int>(left + 0.15 * 32), height);
    };
    EXPECT_LT(stripWhite(0), 1.0);
    double previous = stripWhite(0);
    for (int j = 1; j < 6; ++j) {
        // Opacity 0.025 j over black: about 6.4 j levels.
        EXPECT_NEAR(stripWhite(j), 6.4 * j, 2.0) << j;
        EXPECT_GT(stripWhite(j), previous) << j;
        previous = stripWhite(j);
    }
    // Six strips and no more: right of the last one (x > 3.45) the black picture shows.
    EXPECT_LT(meanLevelIn(frame, width, 144, 0, 149, height), 1.0);
}

TEST_F(PictureEffects, PanoramaBlendsInItsOrderWithTheStreaksInOneBatch) {
    RecordingGl recorder;
    PanoramaPart panorama(44.4f, 60);
    recorder.log().clear();
    panorama.render(2.0f);
    GlLog& log = recorder.log();
    std::vector<std::string> blends;
    for (const auto& c : log.calls) {
        if (c.rfind("glBlendFunc(", 0) == 0) {
            blends.push_back(c);
        }
    }
    const auto bf = [](unsigned s, unsigned d) {
        return "glBlendFunc(" + std::to_string(s) + ", " + std::to_string(d) + ")";
    };
    EXPECT_EQ(blends, (std::vector<std::string>{bf(GL_ONE, GL_SRC_ALPHA),
                                                bf(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA),
                                                bf(GL_SRC_ALPHA, GL_SRC_COLOR),
                                                bf(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA)}));
    EXPECT_EQ(log.count("glBegin("), 4);
    EXPECT_EQ(log.count("glBindTexture("), 2);
    EXPECT_EQ(log.count("glOrtho(-1, 4, -1, 1, -1, 1)"), 1);
    // The streak batch: 64 streaks, one texture coordinate and four coloured corners each.
    const int streaks = log.find("glBegin(", log.find("glEnd()") + 1);
    const int streaksEnd = log.find("glEnd()", streaks);
    EXPECT_EQ(streaksEnd - streaks - 1, 64 * 9);
    EXPECT_EQ(log.calls[static_cast<size_t>(streaks) + 1], "glTexCoord2f(0, 0)");
}

TEST_F(PictureEffects, BackdropAddsItsPictureOverTheWholeScreenAtAnyTime) {
    // Dark at the top left, bright at the bottom right.
    replaceFile("backg.jpg", encodeJpegFile(64, 64, 3,
                                            makePixels(64, 64, 3,
                                                       [](int x, int y, int c) {
                                                           return c == 0 ? x * 2
                                                                         : (c == 1 ? y * 2 : 64);
                                                       }),
                                            false));
    BackdropPart backdrop(58.9f, 69.753f);
    const Pixels frame = renderAt(backdrop, 0);
    EXPECT_EQ(maxDifference(frame, renderAt(backdrop, 7.3f)), 0);
    // Red grows to the right, green downwards, blue constant: the picture's texel centres
    // spread over the screen, top row at the top.
    for (int y : {20, 60, 100}) {
        for (int x : {20, 80, 140}) {
            const size_t at = (static_cast<size_t>(y) * width + x) * 3;
            EXPECT_NEAR(frame[at], 2 * ((x + 0.5) / width * 64 - 0.5), 4) << x << "," << y;
            EXPECT_NEAR(frame[at + 1], 2 * ((y + 0.5) / height * 64 - 0.5), 4) << x << "," << y;
            EXPECT_NEAR(frame[at + 2], 64, 4) << x << "," << y;
        }
    }
    // Added: over grey 0.25 every channel rises by the picture's value.
    const Pixels over = renderOver(backdrop, 0, 0.25f);
    for (size_t i = 0; i < over.size(); ++i) {
        ASSERT_NEAR(over[i], std::min(255, frame[i] + 64), 2) << i;
    }
}

// --- loading ---

TEST_F(PictureEffects, AMissingPictureOrEnvelopeEndsTheProgramWhenThePartIsMade) {
    const auto fatalMessage = [](const std::function<void()>& make) {
        ::testing::internal::CaptureStderr();
        const int code = exitCodeOf(make);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, 1) << err;
        return err;
    };
    EXPECT_NE(fatalMessage([] {
                  PictureTunnelPart(26.9f, 44.5f, 1, "no_such_picture.jpg");
              }).find("FILE NOT FOUND\n no_such_picture.jpg"),
              std::string::npos);

    // Only the sprites' pictures on the search path: the first envelope is missing.
    searchPath.clear();
    const std::vector<unsigned char> white =
        encodeJpegFile(16, 16, 3, makePixels(16, 16, 3, [](int, int, int) { return 255; }), false);
    for (const char* name : {"d1_tirval2.jpg", "d1_face.jpg", "d1_circle2.jpg"}) {
        replaceFile(name, white);
    }
    for (const char* name : {"D1_TirvalAlpha.tga", "D1_FaceAlpha.tga", "D1_CircleAlpha.tga"}) {
        replaceFile(name, std::vector<unsigned char>(256, 255));
    }
    const std::string spritesMessage = fatalMessage([] { TitleSpritesPart(0, 20); });
    EXPECT_NE(spritesMessage.find("tirvaltext_pos.env"), std::string::npos) << spritesMessage;

    searchPath.clear();
    const std::pair<std::function<void()>, const char*> parts[] = {
        {[] { IntroductionPoemPart(20.341f, 35.5f, 0); }, "introductionpoem1.jpg"},
        {[] { DarkHorizonPart(9.862f, 13.5f); }, "DarkHorizonOfDreams1__.jpg"},
        {[] { DustPart(69.753f, 103.5f); }, "DustOnYourEyes__.jpg"},
        {[] { PanoramaPart(44.4f, 60); }, "vsz_d2.jpg"},
        {[] { BackdropPart(58.9f, 69.753f); }, "backg.jpg"},
    };
    for (const auto& [make, file] : parts) {
        EXPECT_NE(fatalMessage(make).find(file), std::string::npos) << file;
    }
}

// --- the state each part leaves, and pictures from other encoders ---

struct LeftState {
    GLenum blendSrc, blendDst;
    bool fadeKept; // false: the part puts fadeFactor back to 1
    bool unitOneOff;
};

TEST_F(PictureEffects, EachPartLeavesItsStateForTheNext) {
    IntroductionPoemPart poem(20.341f, 35.5f, 0);
    TitleSpritesPart sprites(0, 20);
    DarkHorizonPart horizon(9.862f, 13.5f);
    PictureTunnelPart tunnel(26.9f, 44.5f, 1, "max_t4.jpg");
    DustPart dust(69.753f, 103.5f);
    PanoramaPart panorama(44.4f, 60);
    BackdropPart backdrop(58.9f, 69.753f);
    struct Case {
        const char* name;
        Part* part;
        float t;
        LeftState left;
    };
    const Case cases[] = {
        {"poem", &poem, 6.83f, {GL_SRC_ALPHA, GL_ONE, false, false}},
        {"sprites", &sprites, 9.0f, {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, true, true}},
        {"horizon", &horizon, 1.0f, {GL_SRC_ALPHA, GL_ONE, true, true}},
        {"tunnel", &tunnel, 8.0f, {GL_SRC_ALPHA, GL_ONE, false, true}},
        {"dust", &dust, 8.0f, {GL_SRC_ALPHA, GL_ONE, false, true}},
        {"panorama", &panorama, 3.0f, {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, true, true}},
        {"backdrop", &backdrop, 3.0f, {GL_SRC_ALPHA, GL_ONE, true, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Whatever the part before left: the start state's culling and depth test, no
        // blending or texturing, unit 1 texturing on (unit 0 active), a faded frame.
        applyStartState();
        glDisable(GL_BLEND);
        glBlendFunc(GL_ZERO, GL_ZERO);
        glActiveTextureARB(GL_TEXTURE1_ARB);
        glEnable(GL_TEXTURE_2D);
        glActiveTextureARB(GL_TEXTURE0_ARB);
        glDisable(GL_TEXTURE_2D);
        renderState.setFadeFactor(0.7f);
        const Pixels frame = renderAt(*c.part, c.t);
        EXPECT_GT(meanLevel(frame), 2.0);
        EXPECT_FALSE(isEnabled(GL_CULL_FACE));
        EXPECT_FALSE(isEnabled(GL_DEPTH_TEST));
        EXPECT_TRUE(isEnabled(GL_BLEND));
        EXPECT_EQ(integer(GL_BLEND_SRC), static_cast<GLint>(c.left.blendSrc));
        EXPECT_EQ(integer(GL_BLEND_DST), static_cast<GLint>(c.left.blendDst));
        EXPECT_EQ(integer(GL_ACTIVE_TEXTURE), static_cast<GLint>(GL_TEXTURE0_ARB));
        EXPECT_TRUE(isEnabled(GL_TEXTURE_2D));
        EXPECT_EQ(integer(GL_MATRIX_MODE), static_cast<GLint>(GL_MODELVIEW));
        EXPECT_EQ(fadeFactor, c.left.fadeKept ? 0.7f : 1.0f);
        glActiveTextureARB(GL_TEXTURE1_ARB);
        EXPECT_EQ(isEnabled(GL_TEXTURE_2D), !c.left.unitOneOff);
        glActiveTextureARB(GL_TEXTURE0_ARB);
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
}

struct OtherEncoder {
    const char* name;
    int components;
    bool progressive;
};

void PrintTo(const OtherEncoder& kind, std::ostream* os) {
    *os << kind.name;
}

class PicturesFromOtherEncoders : public PictureEffects,
                                  public ::testing::WithParamInterface<OtherEncoder> {};

TEST_P(PicturesFromOtherEncoders, ShowUpInEveryFlatEffect) {
    const OtherEncoder& kind = GetParam();
    // A diagonal ramp with a bright band across the middle third; the three channels differ.
    const std::vector<unsigned char> pixels =
        makePixels(64, 64, kind.components, [](int x, int y, int c) {
            return (y > 21 && y < 43) ? 250 - c * 40 : std::min(255, (x + y) * 2 - c * 20 + 40);
        });
    const std::vector<unsigned char> jpeg =
        encodeJpegFile(64, 64, kind.components, pixels, kind.progressive);
    ASSERT_EQ(startOfFrameMarker(jpeg), kind.progressive ? 0xC2 : 0xC0);
    for (const char* name : effectPictures) {
        replaceFile(name, jpeg);
    }
    // The sprites' alpha files, opaque, to fit.
    for (const char* name : {"D1_TirvalAlpha.tga", "D1_FaceAlpha.tga", "D1_CircleAlpha.tga"}) {
        replaceFile(name, std::vector<unsigned char>(64 * 64, 255));
    }

    IntroductionPoemPart poem(20.341f, 35.5f, 0);
    TitleSpritesPart sprites(0, 20);
    DarkHorizonPart horizon(9.862f, 13.5f);
    PictureTunnelPart tunnel(26.9f, 44.5f, 1, "max_t4.jpg");
    DustPart dust(69.753f, 103.5f);
    PanoramaPart panorama(44.4f, 60);
    BackdropPart backdrop(58.9f, 69.753f);
    const std::pair<Part*, float> frames[] = {
        {&poem, 6.83f}, {&sprites, 12.0f}, {&horizon, 2.0f}, {&tunnel, 8.0f},
        {&dust, 8.0f},  {&panorama, 3.0f}, {&backdrop, 0.0f}};
    for (const auto& [part, t] : frames) {
        EXPECT_GT(meanLevel(renderAt(*part, t)), 5.0) << t;
    }

    // The backdrop over black is the picture itself: grey stays grey, colour stays colour, the
    // band sits in the middle third.
    const Pixels frame = renderAt(backdrop, 0);
    const size_t middle = (static_cast<size_t>(height / 2) * width + width / 4) * 3;
    const size_t top = (static_cast<size_t>(height / 8) * width + width / 4) * 3;
    EXPECT_GT(frame[middle], 240);
    EXPECT_LT(frame[top], 120);
    if (kind.components == 1) {
        EXPECT_EQ(frame[middle], frame[middle + 1]);
        EXPECT_EQ(frame[middle], frame[middle + 2]);
    } else {
        EXPECT_NEAR(frame[middle + 2], 170, 6);
    }
}

INSTANTIATE_TEST_SUITE_P(Jpeg, PicturesFromOtherEncoders,
                         ::testing::Values(OtherEncoder{"greyscale", 1, false},
                                           OtherEncoder{"progressive", 3, true},
                                           OtherEncoder{"greyscaleProgressive", 1, true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
