// test_scene_gl.cpp - a real GL context (headless): a textured square drawn through its camera
// lands where the camera says, upright and in the texture's own colours; its back draws
// nothing; a half-transparent material blends.
#include <gtest/gtest.h>

#include "scene_test_support.h"
#include "tools/common/offscreen_gl.h"

using namespace testing_support;

namespace {

constexpr int width = 160, height = 120;

using Rgb = std::array<int, 3>;

// A 256 x 256 raw picture in four quadrants: red, green over blue, yellow.
std::vector<unsigned char> quadrantPicture() {
    std::vector<unsigned char> raw(rawTextureBytes);
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            const Rgb c = y < 128 ? (x < 128 ? Rgb{255, 0, 0} : Rgb{0, 255, 0})
                                  : (x < 128 ? Rgb{0, 0, 255} : Rgb{255, 255, 0});
            for (int k = 0; k < 3; ++k) {
                raw[static_cast<size_t>((y * 256 + x) * 3 + k)] =
                    static_cast<unsigned char>(c[static_cast<size_t>(k)]);
            }
        }
    }
    return raw;
}

struct RealGl : ScratchSearchPath {
    OffscreenGl gl;

    void SetUp() override {
        ScratchSearchPath::SetUp();
        std::string error;
        if (!gl.open(width, height, error)) {
            GTEST_SKIP() << "no GL context: " << error;
        }
        write("quad.raw", quadrantPicture());
    }
    void TearDown() override {
        gl.close();
        ScratchSearchPath::TearDown();
    }

    // Draws a square of side 10 at the origin facing -Y, seen from `eye`, and reads the frame.
    std::vector<unsigned char> draw(std::array<float, 3> eye, float alpha = 1.0f) {
        scenefile::SceneFile f;
        scenefile::Material m = plainMaterial("paint", 2, "quad.raw");
        m.alpha = alpha;
        f.chunks.push_back(m);
        f.chunks.push_back(squareMesh("Square", 5.0f));
        addCamera(f, eye, {0, 0, 0});
        write("square.exp", sceneImage(f));

        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        Scene scene("square.exp");
        EXPECT_EQ(loadScene(&scene), formatExp);
        beginPrimitive(GL_TRIANGLES);
        drawScene(&scene, 0);
        endPrimitive();
        return gl.readRgb();
    }
    static Rgb at(const std::vector<unsigned char>& frame, int x, int y) {
        const size_t i = static_cast<size_t>((y * width + x) * 3);
        return {frame[i], frame[i + 1], frame[i + 2]};
    }
};

void expectColourNear(Rgb got, Rgb want, int tolerance, const char* where) {
    for (size_t k = 0; k < 3; ++k) {
        EXPECT_NEAR(got[k], want[k], tolerance) << where << " channel " << k;
    }
}

} // namespace

// The camera is 10 units in front of the square with a field of view of pi/2: the square's
// half-width of 5 is a quarter of the picture's width, and its half-height 5 is a third of the
// picture's half-height (the frustum is 0.75 as high as it is wide).
TEST_F(RealGl, TexturedSquareIsDrawnUprightInItsTexturesColours) {
    const auto frame = draw({0, -10, 0});
    expectColourNear(at(frame, 60, 40), {255, 0, 0}, 2, "top left");
    expectColourNear(at(frame, 100, 40), {0, 255, 0}, 2, "top right");
    expectColourNear(at(frame, 60, 80), {0, 0, 255}, 2, "bottom left");
    expectColourNear(at(frame, 100, 80), {255, 255, 0}, 2, "bottom right");
    // Just inside and just outside the square's edges (x 40..120, y 20..100).
    expectColourNear(at(frame, 42, 22), {255, 0, 0}, 2, "inside the top-left corner");
    expectColourNear(at(frame, 37, 60), {0, 0, 0}, 0, "left of the square");
    expectColourNear(at(frame, 80, 103), {0, 0, 0}, 0, "below the square");
    expectColourNear(at(frame, 123, 60), {0, 0, 0}, 0, "right of the square");
    EXPECT_EQ(drawnFaceCount, 2);
}

TEST_F(RealGl, BackOfAOneSidedSquareDrawsNothing) {
    const auto frame = draw({0, 10, 0});
    for (int y = 0; y < height; y += 7) {
        for (int x = 0; x < width; x += 7) {
            ASSERT_EQ(at(frame, x, y), (Rgb{0, 0, 0})) << x << ", " << y;
        }
    }
    EXPECT_EQ(drawnFaceCount, 0);
}

TEST_F(RealGl, HalfTransparentMaterialBlendsOverTheBackground) {
    renderState.setFadeFactor(1.0f);
    const auto frame = draw({0, -10, 0}, 0.5f);
    expectColourNear(at(frame, 60, 40), {128, 0, 0}, 3, "top left");
    expectColourNear(at(frame, 100, 80), {128, 128, 0}, 3, "bottom right");
}
