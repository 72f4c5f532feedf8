// effect_test_support.h - a real GL context (offscreen, Mesa's llvmpipe), with the forged
// default data on the search path for the effect tests (EffectTest) or without it (GlTest):
// render one part at a local time from the player's start state, check that it left no GL
// error and no batch open, and read the picture back.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drawing_state_support.h"
#include "app/application.h"
#include "forge_test_support.h"
#include "gfx/gl_api.h"
#include "gfx/render_state.h"
#include "timeline/part.h"
#include "tools/common/offscreen_gl.h"

namespace testing_support {

using Pixels = std::vector<unsigned char>;

template <class Data> struct GlFixture : Data {
    static constexpr int width = 160;
    static constexpr int height = 120;
    OffscreenGl gl;

    void SetUp() override {
        Data::SetUp();
        if (::testing::Test::IsSkipped() || ::testing::Test::HasFatalFailure()) {
            return;
        }
        resetDrawingState();
        std::string error;
        ASSERT_TRUE(gl.open(width, height, error)) << error;
        applyStartState();
    }
    void TearDown() override {
        resetDrawingState();
        gl.close();
        Data::TearDown();
    }

    // Clears to black, renders `part` at local time t and returns the picture. Any GL error or
    // a batch left open fails the test.
    Pixels renderAt(Part& part, float t) {
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        renderState.startFaceCount();
        part.render(t);
        EXPECT_EQ(currentPrimitive, 0) << "a batch was left open at t = " << t;
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << "at t = " << t;
        return gl.readRgb();
    }
};

// With the forged data on the search path, and without any data.
using EffectTest = GlFixture<ForgedData>;
using GlTest = GlFixture<::testing::Test>;

// Mean of (R + G + B) / 3 over the picture, 0..255.
inline double meanLevel(const Pixels& rgb) {
    double sum = 0;
    for (unsigned char v : rgb) {
        sum += v;
    }
    return rgb.empty() ? 0 : sum / static_cast<double>(rgb.size());
}

// Mean level over the rectangle [x0, x1) x [y0, y1) (rows counted from the top).
inline double meanLevelIn(const Pixels& rgb, int width, int x0, int y0, int x1, int y1) {
    double sum = 0;
    int n = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            for (int c = 0; c < 3; ++c) {
                sum += rgb[(static_cast<size_t>(y) * width + x) * 3 + c];
                ++n;
            }
        }
    }
    return n ? sum / n : 0;
}

} // namespace testing_support
