// test_tube_tunnel.cpp - the bubble tube and the winding tunnel on a real GL context with the
// default data: what each shows over time, the state each leaves for the next part, pictures
// that are not named, variants that are not known, the projections they set; with the
// recording table, a few landmarks in the order of their drawing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <set>

#include "effect_test_support.h"
#include "effects/bubble_tube.h"
#include "effects/effect_common.h"
#include "effects/tunnel.h"
#include "gl_recorder.h"
#include "platform/fatal.h"
#include "scene/track.h"
#include "tools/common/jpeg_writer.h"

using namespace testing_support;

namespace {

const float tubeInterval[2] = {18.341f, 40.4f};
const float tunnelInterval[2] = {155.44f, 172.578f};

// A 1 x 1 texture of one grey level.
int flatTexture(unsigned char level) {
    const unsigned char texel[3] = {level, level, level};
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, texel);
    return static_cast<int>(id);
}

GLint integerState(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

bool flagState(GLenum name) {
    GLboolean value = GL_FALSE;
    glGetBooleanv(name, &value);
    return value == GL_TRUE;
}

// The demo's own expression of the overlays' cross-fade, for the expected levels.
float crossFade(float t) {
    return static_cast<float>((std::sin(static_cast<double>(4.0f * t)) + 1.0) * 0.5);
}

// The projection a part leaves, against glFrustum's matrix for the view the demo uses
// (x in -0.5 .. 0.5, y in -0.375 .. 0.375 at the near plane 1) out to `far`, written out from
// the definition: column-major, m[0] = 2n / (r - l), m[5] = 2n / (t - b),
// m[10] = -(f + n) / (f - n), m[11] = -1, m[14] = -2fn / (f - n).
void expectFrustumProjection(double far) {
    float m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    const double n = 1.0;
    const double expected[16] = {2 * n / 1.0,
                                 0,
                                 0,
                                 0,
                                 0,
                                 2 * n / 0.75,
                                 0,
                                 0,
                                 0,
                                 0,
                                 -(far + n) / (far - n),
                                 -1,
                                 0,
                                 0,
                                 -2 * far * n / (far - n),
                                 0};
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(m[i], expected[i], 1e-4 * std::max(1.0, std::fabs(expected[i]))) << i;
    }
}

// The opacity of each glColor4f call from `from` on, in order.
std::vector<float> opacitiesFrom(const GlLog& log, int from) {
    std::vector<float> alphas;
    for (size_t i = static_cast<size_t>(std::max(from, 0)); i < log.calls.size(); ++i) {
        float r, g, b, a;
        if (std::sscanf(log.calls[i].c_str(), "glColor4f(%f, %f, %f, %f)", &r, &g, &b, &a) == 4) {
            alphas.push_back(a);
        }
    }
    return alphas;
}

// The index of the last call starting with `prefix`, or -1.
int lastCall(const GlLog& log, const std::string& prefix) {
    for (int i = static_cast<int>(log.calls.size()) - 1; i >= 0; --i) {
        if (log.calls[static_cast<size_t>(i)].rfind(prefix, 0) == 0) {
            return i;
        }
    }
    return -1;
}

struct TubeAndTunnel : EffectTest {};

// The triangles a piece of drawing hands GL, with their corners' positions exactly as given:
// glBegin, glEnd and glVertex3f are wrapped while it lives, and the calls still reach GL.
struct TriangleCapture {
    using Point = std::array<float, 3>;
    static inline std::vector<Point> corners;
    static inline bool inTriangles = false;
    static inline decltype(::glBegin) realBegin = nullptr;
    static inline decltype(::glEnd) realEnd = nullptr;
    static inline decltype(::glVertex3f) realVertex = nullptr;

    TriangleCapture() {
        corners.clear();
        realBegin = ::glBegin;
        realEnd = ::glEnd;
        realVertex = ::glVertex3f;
        ::glBegin = [](GLenum mode) {
            inTriangles = mode == GL_TRIANGLES;
            realBegin(mode);
        };
        ::glEnd = [] {
            inTriangles = false;
            realEnd();
        };
        ::glVertex3f = [](GLfloat x, GLfloat y, GLfloat z) {
            if (inTriangles) {
                corners.push_back({x, y, z});
            }
            realVertex(x, y, z);
        };
    }
    ~TriangleCapture() {
        ::glBegin = realBegin;
        ::glEnd = realEnd;
        ::glVertex3f = realVertex;
    }
    TriangleCapture(const TriangleCapture&) = delete;
    TriangleCapture& operator=(const TriangleCapture&) = delete;

    // How many distinct triangles use each edge, the edge's ends compared bit for bit. A
    // triangle drawn again (the next layer) counts once.
    static std::map<std::pair<Point, Point>, int> edgeUses() {
        std::set<std::array<Point, 3>> triangles;
        for (size_t i = 0; i + 2 < corners.size(); i += 3) {
            std::array<Point, 3> t = {corners[i], corners[i + 1], corners[i + 2]};
            std::sort(t.begin(), t.end());
            triangles.insert(t);
        }
        std::map<std::pair<Point, Point>, int> uses;
        for (const auto& t : triangles) {
            ++uses[{t[0], t[1]}];
            ++uses[{t[1], t[2]}];
            ++uses[{t[0], t[2]}];
        }
        return uses;
    }
};

} // namespace

// ---- the bubble tube

// The middle rings' opacity is 0.26 t (full from 3.85 s) and the end rings' always 0: the
// first frame shows nothing, and the tube brightens as it fades in.
// The fade's slope: the middle rings' opacity is A = min(0.26 t, 1) and the end rings' 0, and
// the surface's colours are linear in its nodes' colours, so the opacities the tube sends add up
// to A times a sum that does not change with time: twice as much at 2 s as at 1 s, 1 / 0.26 as
// much once faded in, and no more after that.
TEST_F(TubeAndTunnel, TubeFadesInFromNothing) {
    BubbleTubePart tube("y1.jpg", "y1.jpg", 1, tubeInterval);
    EXPECT_EQ(tube.start, 18.341f);
    EXPECT_EQ(tube.end, 40.4f);
    EXPECT_EQ(meanLevel(renderAt(tube, 0.0f)), 0.0);
    EXPECT_EQ(drawnFaceCount, 1800) << "drawn, only transparent";
    EXPECT_GT(meanLevel(renderAt(tube, 1.0f)), 0.5);

    auto opacitySum = [&](float t) {
        RecordingGl recording;
        tube.render(t);
        double sum = 0;
        int colours = 0;
        for (const std::string& call : recording.log().calls) {
            float r, g, b, a;
            if (std::sscanf(call.c_str(), "glColor4f(%f, %f, %f, %f)", &r, &g, &b, &a) == 4) {
                sum += a;
                ++colours;
            }
        }
        EXPECT_GT(colours, 1000) << t;
        return sum;
    };
    const double one = opacitySum(1.0f);
    EXPECT_GT(one, 0.0);
    EXPECT_NEAR(opacitySum(2.0f) / one, 2.0, 1e-3);
    EXPECT_NEAR(opacitySum(3.0f) / one, 3.0, 1e-3);
    EXPECT_NEAR(opacitySum(5.0f) / one, 1.0 / 0.26, 1e-3);
    EXPECT_NEAR(opacitySum(12.0f) / one, 1.0 / 0.26, 1e-3);
}

// Depth is neither tested nor written while the tube draws: a depth buffer cleared to the near
// plane does not hide it, and a picture drawn afterwards at the far end of the depth range is
// not hidden by it. Depth testing and writes are back on afterwards, the matrix mode is the
// texture matrix (identity), blending and texturing are on, culling is off.
TEST_F(TubeAndTunnel, TubeNeitherTestsNorWritesDepthAndRestoresIt) {
    BubbleTubePart tube("y1.jpg", "y1.jpg", 1, tubeInterval);
    glClearDepth(0.0);
    const double hidden = meanLevel(renderAt(tube, 5.0f));
    glClearDepth(1.0);
    const double open = meanLevel(renderAt(tube, 5.0f));
    EXPECT_GT(open, 5.0);
    EXPECT_EQ(hidden, open);

    EXPECT_EQ(integerState(GL_MATRIX_MODE), GL_TEXTURE);
    float textureMatrix[16];
    glGetFloatv(GL_TEXTURE_MATRIX, textureMatrix);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(textureMatrix[i], i % 5 == 0 ? 1.0f : 0.0f);
    }
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(flagState(GL_DEPTH_WRITEMASK));
    EXPECT_EQ(integerState(GL_DEPTH_FUNC), GL_LEQUAL);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(integerState(GL_BLEND_SRC), GL_SRC_ALPHA);
    EXPECT_EQ(integerState(GL_BLEND_DST), GL_ONE);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));

    // A full-screen grey quad at the far end of the depth range, drawn over the tube with the
    // depth test on: no tube pixel wrote a nearer depth, so it covers every pixel.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glColor4f(0.5f, 0.5f, 0.5f, 1.0f);
    glBegin(GL_QUADS);
    glVertex3f(-1, -1, 0.999f);
    glVertex3f(1, -1, 0.999f);
    glVertex3f(1, 1, 0.999f);
    glVertex3f(-1, 1, 0.999f);
    glEnd();
    const Pixels covered = gl.readRgb();
    for (unsigned char v : covered) {
        ASSERT_EQ(v, 128);
    }
}

// The end rings are transparent: with one flat white layer on the nodes' own coordinates and
// the tube shrunk to fit the view, the tube seen from the side is bright along its middle and
// fades to nothing towards both ends (an opaque end ring would cut off at full brightness).
TEST_F(TubeAndTunnel, TubeFadesOutTowardsBothEnds) {
    BubbleTubePart tube(nullptr, nullptr, 1, tubeInterval);
    tube.surface.layers[0].textureId = flatTexture(255);
    for (int i : {0, 5, 10}) {
        tube.surface.matrix[i] = 0.3f;
    }
    for (float t : {5.0f, 9.0f}) {
        const Pixels frame = renderAt(tube, t);
        std::vector<int> brightest(width, 0);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                brightest[static_cast<size_t>(x)] =
                    std::max<int>(brightest[static_cast<size_t>(x)],
                                  frame[(static_cast<size_t>(y) * width + x) * 3]);
            }
        }
        int first = 0, last = width - 1;
        while (first < width && brightest[static_cast<size_t>(first)] == 0) {
            ++first;
        }
        while (last >= 0 && brightest[static_cast<size_t>(last)] == 0) {
            --last;
        }
        ASSERT_GT(first, 0) << "the whole tube is in view at t = " << t;
        ASSERT_LT(last, width - 1) << "the whole tube is in view at t = " << t;
        EXPECT_EQ(brightest[static_cast<size_t>((first + last) / 2)], 255) << t;
        for (int k = 0; k < 3; ++k) {
            EXPECT_LT(brightest[static_cast<size_t>(first + k)], 128) << t << " left end +" << k;
            EXPECT_LT(brightest[static_cast<size_t>(last - k)], 128) << t << " right end -" << k;
        }
    }
}

// Variants 2 and 3 draw their layouts (3 multiplies with what is already there); any other
// variant draws nothing and leaves the same state as a drawn tube.
TEST_F(TubeAndTunnel, UnknownTubeVariantDrawsNothing) {
    for (int variant : {0, 4, -1}) {
        BubbleTubePart tube("y1.jpg", "y1.jpg", variant, nullptr);
        EXPECT_EQ(meanLevel(renderAt(tube, 5.0f)), 0.0) << variant;
        EXPECT_EQ(drawnFaceCount, 0) << variant;
        EXPECT_EQ(integerState(GL_MATRIX_MODE), GL_TEXTURE);
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
        EXPECT_TRUE(flagState(GL_DEPTH_WRITEMASK));
    }
    BubbleTubePart second("y1.jpg", "y1.jpg", 2, nullptr);
    EXPECT_GT(meanLevel(renderAt(second, 5.0f)), 1.0);
    EXPECT_EQ(drawnFaceCount, 1800);
    BubbleTubePart third("y1.jpg", "y1.jpg", 3, nullptr);
    renderAt(third, 5.0f);
    EXPECT_EQ(drawnFaceCount, 1800);
    EXPECT_EQ(integerState(GL_BLEND_SRC), GL_DST_COLOR);
    EXPECT_EQ(integerState(GL_BLEND_DST), GL_ONE);
}

// A picture that is not named leaves its layer empty; the other layer still draws. Without an
// interval the part keeps the base one.
TEST_F(TubeAndTunnel, UnnamedTubePictureLeavesItsLayerEmpty) {
    BubbleTubePart envOnly("y1.jpg", nullptr, 1, nullptr);
    EXPECT_EQ(envOnly.baseTexture, -1);
    EXPECT_EQ(envOnly.start, Part().start);
    EXPECT_EQ(envOnly.end, Part().end);
    EXPECT_GT(meanLevel(renderAt(envOnly, 5.0f)), 1.0);
    EXPECT_EQ(drawnFaceCount, 900);

    BubbleTubePart none(nullptr, "", 1, nullptr);
    EXPECT_EQ(meanLevel(renderAt(none, 5.0f)), 0.0);
    EXPECT_EQ(drawnFaceCount, 0);
}

TEST_F(TubeAndTunnel, MissingPictureFileStopsTheProgramWhenThePartIsMade) {
    const int code = exitCodeOf([] { BubbleTubePart tube("y1.jpg", "nosuch.jpg", 1, nullptr); });
    EXPECT_EQ(code, sys::fatalExitCode);
    const int tunnelCode =
        exitCodeOf([] { TunnelPart tunnel(nullptr, nullptr, "nosuch.jpg", nullptr); });
    EXPECT_EQ(tunnelCode, sys::fatalExitCode);
}

// The tube looks through the demo's frustum out to 1000, and draws its whole surface with the
// depth test off and additive blending set, restoring the depth test only after its last batch.
TEST_F(TubeAndTunnel, TubeDrawsThroughItsFrustumWithDepthOffUntilItsLastBatch) {
    BubbleTubePart tube("y1.jpg", "y1.jpg", 1, tubeInterval);
    renderAt(tube, 2.0f);
    expectFrustumProjection(1000.0);

    RecordingGl recording;
    recording.log().recordVertices = false;
    tube.render(2.0f);
    const GlLog& log = recording.log();
    const int firstBatch = log.find("glBegin(");
    ASSERT_GE(firstBatch, 0);
    EXPECT_LT(log.find("glFrustum("), firstBatch);
    EXPECT_LT(log.find("glDisable(2929)"), firstBatch); // GL_DEPTH_TEST
    EXPECT_LT(log.find("glBlendFunc(770, 1)"), firstBatch);
    EXPECT_EQ(log.find("glEnable(2929)", firstBatch), lastCall(log, "glEnable(2929)"));
    EXPECT_GT(lastCall(log, "glEnable(2929)"), lastCall(log, "glEnd("));
}

// A greyscale JPEG as both layers' picture shows up as itself: the tube is grey, not the blue of
// the default picture.
TEST_F(TubeAndTunnel, GreyscalePictureShowsUpInTheTube) {
    ScratchDir dir("grey");
    std::vector<unsigned char> grey(64 * 64), jpeg;
    for (size_t i = 0; i < grey.size(); ++i) {
        grey[i] = static_cast<unsigned char>(96 + (i % 64));
    }
    std::string error;
    ASSERT_TRUE(encodeJpeg(64, 64, 1, grey, 90, jpeg, error)) << error;
    writeFile(dir.file("grey.jpg"), jpeg);
    // Tried before the archive; the fixture's tear-down clears the path.
    const auto folder = std::make_unique<DirectorySource>((dir.path.string() + "/").c_str());
    searchPath.add(folder.get());

    BubbleTubePart tube("grey.jpg", "grey.jpg", 1, tubeInterval);
    const Pixels frame = renderAt(tube, 5.0f);
    EXPECT_GT(meanLevel(frame), 5.0);
    for (size_t i = 0; i < frame.size(); i += 3) {
        ASSERT_NEAR(frame[i], frame[i + 2], 2) << "pixel " << i / 3;
        ASSERT_NEAR(frame[i + 1], frame[i + 2], 2) << "pixel " << i / 3;
    }
}

// ---- the tunnel

// With white overlays and no layers the frame's level is exactly what the two overlays add:
// k ramp + (1 - k) ramp = ramp, in over two seconds, out over the two after 15.138. With only
// the first overlay white, the level is k ramp, k = (sin 4t + 1) / 2.
TEST_F(TubeAndTunnel, TunnelOverlaysSumToTheRamp) {
    TunnelPart tunnel(nullptr, nullptr, nullptr, tunnelInterval);
    const int white = flatTexture(255), black = flatTexture(0);
    for (float t : {0.0f, 0.3f, 1.0f, 1.7f, 2.0f, 8.0f, 15.138f, 15.6f, 16.5f, 17.138f, 17.2f}) {
        const float ramp = TunnelPart::ramp(t);
        tunnel.overlayA = white;
        tunnel.overlayB = white;
        EXPECT_NEAR(meanLevel(renderAt(tunnel, t)), 255.0 * ramp, 1.0) << t;
        tunnel.overlayB = black;
        EXPECT_NEAR(meanLevel(renderAt(tunnel, t)), 255.0 * crossFade(t) * ramp, 1.0) << t;
        tunnel.overlayA = black;
        tunnel.overlayB = white;
        EXPECT_NEAR(meanLevel(renderAt(tunnel, t)), 255.0 * (1 - crossFade(t)) * ramp, 1.0) << t;
    }
    EXPECT_FLOAT_EQ(TunnelPart::ramp(1.0f), 0.5f);
    EXPECT_NEAR(TunnelPart::ramp(16.138f), 0.5f, 1e-5f);
    EXPECT_FLOAT_EQ(TunnelPart::ramp(17.2f), 0.0f);
}

// The layers' weight is the ramp less 0.7 times the pulse read at t + 69.753: wherever that is
// 0 or less the tunnel shows nothing (the first frame, the beats of the fade-in, everything
// after the fade-out), wherever it is clearly above 0 the tunnel shows. Between beats the
// fade-in brightens the tunnel.
TEST_F(TubeAndTunnel, TunnelLayersFadeInAndOutUnderThePulse) {
    TunnelPart tunnel("NebulaMultiCrater1.jpg", "WaterGreenWorld.jpg", "y3.jpg", tunnelInterval);
    const int black = flatTexture(0);
    tunnel.overlayA = black;
    tunnel.overlayB = black;
    ScalarTrack pulse;
    loadEnvelope(pulse, "Napierdalanie2.env");
    int dark = 0, lit = 0;
    for (float t = 0.0f; t < 17.5f; t += 0.1f) {
        if (t > 2.0f && t < 15.0f) {
            t = 15.0f;
        }
        const float weight = TunnelPart::ramp(t) - 0.7f * evaluate(pulse, t + 69.753f);
        const double level = meanLevel(renderAt(tunnel, t));
        if (weight <= 0.0f) {
            EXPECT_EQ(level, 0.0) << "t = " << t << ", weight " << weight;
            ++dark;
        } else if (weight > 0.1f) {
            EXPECT_GT(level, 2.0) << "t = " << t << ", weight " << weight;
            ++lit;
        }
    }
    EXPECT_GT(dark, 5);
    EXPECT_GT(lit, 5);
    EXPECT_EQ(drawnFaceCount, 2160);

    // Times in the fade-in where the pulse is low and the weight rises.
    float previousWeight = 0.0f;
    double previousLevel = 0.0;
    for (float t : {0.5f, 1.0f, 1.5f, 2.0f}) {
        const float weight = TunnelPart::ramp(t) - 0.7f * evaluate(pulse, t + 69.753f);
        const double level = meanLevel(renderAt(tunnel, t));
        if (weight > previousWeight + 0.1f) {
            EXPECT_GT(level, previousLevel) << t;
        }
        previousWeight = weight;
        previousLevel = level;
    }
}

// Without picture names the surface has no layers and draws nothing; the overlays still draw.
// A gap in the names leaves that layer empty and keeps the others in their own slots.
TEST_F(TubeAndTunnel, TunnelWithoutPicturesDrawsOnlyTheOverlays) {
    TunnelPart bare(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(bare.surface.layerCount, 0);
    EXPECT_GT(meanLevel(renderAt(bare, 8.0f)), 1.0);
    EXPECT_EQ(drawnFaceCount, 0);
    EXPECT_EQ(bare.start, Part().start);

    TunnelPart gap("NebulaMultiCrater1.jpg", nullptr, "y3.jpg", tunnelInterval);
    EXPECT_EQ(gap.start, 155.44f);
    EXPECT_EQ(gap.end, 172.578f);
    EXPECT_EQ(gap.surface.layerCount, 3);
    EXPECT_EQ(gap.surface.layers[1].textureId, -1);
    EXPECT_EQ(gap.surface.layers[2].flags, layerEnvMapped);
    renderAt(gap, 8.0f);
    EXPECT_EQ(drawnFaceCount, 1440);
}

// After the tunnel: depth testing off, depth writes on, culling off, additive blending,
// texturing on, the model-view matrix current.
TEST_F(TubeAndTunnel, TunnelLeavesItsStateForTheNextPart) {
    TunnelPart tunnel("NebulaMultiCrater1.jpg", "WaterGreenWorld.jpg", "y3.jpg", tunnelInterval);
    renderAt(tunnel, 8.0f);
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(flagState(GL_DEPTH_WRITEMASK));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(integerState(GL_BLEND_SRC), GL_SRC_ALPHA);
    EXPECT_EQ(integerState(GL_BLEND_DST), GL_ONE);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(integerState(GL_MATRIX_MODE), GL_MODELVIEW);
}

// The tunnel's surface is one closed mesh: where two patches meet, both draw the joint through
// the very same vertices, so every edge inside the surface belongs to exactly two triangles and
// only the first and the last ring are open. A joint drawn through two vertices a rounding step
// apart would leave single-use edges along it, which show on screen as pixels that no layer
// covers (a black hole in a bright wall) or that two triangles both cover (a brighter speck):
// seen at 163 s at 640 x 480.
TEST_F(TubeAndTunnel, TunnelSurfaceIsWatertight) {
    TunnelPart tunnel("NebulaMultiCrater1.jpg", "WaterGreenWorld.jpg", "y3.jpg", tunnelInterval);
    for (const float demoTime : {163.0f, 157.2f, 170.9f}) {
        SCOPED_TRACE(demoTime);
        std::map<std::pair<TriangleCapture::Point, TriangleCapture::Point>, int> uses;
        {
            TriangleCapture capture;
            renderAt(tunnel, demoTime - tunnel.start);
            uses = TriangleCapture::edgeUses();
        }
        const int across = tunnel.surface.stepsAcross, down = tunnel.surface.stepsDown;
        const int rings = TunnelPart::ringCount - 1, around = TunnelPart::ringNodes;
        int open = 0, shared = 0, more = 0;
        for (const auto& [edge, n] : uses) {
            open += n == 1;
            shared += n == 2;
            more += n > 2;
        }
        // A grid of W = around x (across - 1) by H = rings x (down - 1) quads, closed round,
        // each split by one diagonal: W (H + 1) edges along the rings, W H across them and W H
        // diagonals; the 2 W of the two end rings have one triangle each.
        const int w = around * (across - 1), h = rings * (down - 1);
        EXPECT_EQ(open, 2 * w) << "only the two end rings are open";
        EXPECT_EQ(more, 0) << "no edge is shared by three triangles";
        EXPECT_EQ(shared, 3 * w * h - w) << "every other edge is shared by two";
    }
}

// The tunnel looks through the demo's frustum out to 5000, and ends with its two overlays over
// the whole scene, with the depth test off: the first overlay picture at the cross-fade's
// opacity k, then the second at 1 - k.
TEST_F(TubeAndTunnel, TunnelEndsWithItsTwoOverlaysCrossFaded) {
    TunnelPart tunnel("NebulaMultiCrater1.jpg", "WaterGreenWorld.jpg", "y3.jpg", tunnelInterval);
    const float t = 5.0f;
    renderAt(tunnel, t);
    expectFrustumProjection(5000.0);

    RecordingGl recording;
    tunnel.render(t);
    const GlLog& log = recording.log();
    const int overlays = lastCall(log, "glDisable(2929)");
    ASSERT_GT(overlays, log.find("glBegin("));
    EXPECT_EQ(log.count("glBegin("), log.count("glEnd("));
    const int a =
        log.find("glBindTexture(3553, " + std::to_string(tunnel.overlayA) + ")", overlays);
    const int b =
        log.find("glBindTexture(3553, " + std::to_string(tunnel.overlayB) + ")", overlays);
    ASSERT_GE(a, 0);
    EXPECT_GT(b, a);
    const float k = crossFade(t);
    const std::vector<float> alphas = opacitiesFrom(log, overlays);
    ASSERT_EQ(alphas.size(), 2u);
    EXPECT_NEAR(alphas[0], k, 1e-5);
    EXPECT_NEAR(alphas[1], 1.0f - k, 1e-5);
    // Two quads, one per overlay, and nothing after the second.
    int quads = 0;
    for (int i = log.find("glBegin(7)", overlays); i >= 0; i = log.find("glBegin(7)", i + 1)) {
        ++quads;
    }
    EXPECT_EQ(quads, 2);
    EXPECT_EQ(log.calls.back(), "glEnd()");
}
