// picture_stacks.cpp - the stack drawing shared by DarkHorizonPart, PictureTunnelPart and
// DustPart, and their layouts and fades.
//
// Square j of a layer (j = 0..7) sits n = -100 - 80 j units down the view axis (100 to 660
// units in front of the viewer, before the layer's own offset), is turned 25 T + 16 j degrees
// about the view axis and then tipped about the horizontal axis by 90 sin^2(h) + 90 degrees,
// h = min(T / 2, 1.57): the tilt rises from 90 degrees (edge-on) at T = 0 to just under 180 at
// T = 3.14 and stays there.
#include "effects/picture_stacks.h"

#include <algorithm>
#include <cmath>

#include "effects/effect_common.h"
#include "gfx/gl_api.h"
#include "gfx/render_state.h"
#include "resources/textures.h"

namespace {

constexpr int squaresPerStack = 8;

// The picture square, 200 units wide, as (s, t) -> vertex.
constexpr QuadCorner pictureSquare[4] = {
    {0, 0, -100, 100, 0},
    {1, 0, 100, 100, 0},
    {1, 1, 100, -100, 0},
    {0, 1, -100, -100, 0},
};

float squareDepth(int square) {
    return static_cast<float>(-100 - 80 * square);
}

// The whole stack moves to and fro by 90 units with period 2 pi / 0.4 seconds.
float swayedDepth(int square, float T) {
    return 90.0f * std::sin(0.4f * T) + squareDepth(square);
}

void oneStack(int, int square, float T, float out[3]) {
    out[0] = 0;
    out[1] = 0;
    out[2] = swayedDepth(square, T);
}

void stacksAboveEachOther(int layer, int square, float T, float out[3]) {
    out[0] = 0;
    out[1] = 70.0f * static_cast<float>(layer);
    out[2] = swayedDepth(square, T);
}

// Layer 1 hangs 50 units up and only 0 to 238 units away, swaying sideways, so that its
// squares sweep through the view close to the camera.
void stackAndNearSway(int layer, int square, float T, float out[3]) {
    if (layer == 0) {
        oneStack(layer, square, T, out);
        return;
    }
    out[0] = 50.0f * std::sin(0.242f * T);
    out[1] = 50;
    out[2] = static_cast<float>(-34 * square);
}

int loadPicture(const char* name) {
    return name && name[0] ? loadTexture(name) : noPicture;
}

} // namespace

const StackLayout DarkHorizonPart::layout = {1, oneStack, true};
const StackLayout PictureTunnelPart::layout = {2, stacksAboveEachOther, false};
const StackLayout DustPart::layout = {2, stackAndNearSway, false};

void beginPictureStacks(int picture) {
    selectUnitZero(true);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    if (picture != noPicture) {
        glBindTexture(GL_TEXTURE_2D, picture);
    }
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
}

void drawPictureStacks(int picture, const StackLayout& layout, float T, float alpha) {
    loadPerspective(5000);
    if (picture == noPicture) {
        return;
    }
    const float h = std::min(T / 2.0f, 1.57f);
    const float sinH = std::sin(h);
    const float tilt = 90.0f * sinH * sinH + 90.0f;
    for (int k = 0; k < layout.layers; ++k) {
        for (int j = 0; j < squaresPerStack; ++j) {
            float offset[3];
            layout.offset(k, j, T, offset);
            glLoadIdentity();
            glTranslatef(offset[0], offset[1], offset[2]);
            glRotatef(25.0f * T + static_cast<float>(16 * j), 0, 0, 1);
            glRotatef(tilt, 1, 0, 0);
            if (layout.swing) {
                glTranslatef(0, 150, 0);
                glRotatef(26.0f * T, 1, 0, 0);
                glTranslatef(0, -150, 0);
            }
            beginPrimitive(GL_QUADS);
            glColor4f(1, 1, 1, alpha);
            emitCorners(pictureSquare);
            endPrimitive();
        }
    }
}

DarkHorizonPart::DarkHorizonPart(float start, float end) {
    this->start = start;
    this->end = end;
    picture = loadTexture("DarkHorizonOfDreams1__.jpg");
}

void DarkHorizonPart::render(float t) {
    beginPictureStacks(picture);
    drawPictureStacks(picture, layout, t, opacity);
}

PictureTunnelPart::PictureTunnelPart(float start, float end, int mode, const char* pictureName)
    : mode(mode) {
    this->start = start;
    this->end = end;
    picture = loadPicture(pictureName);
}

void PictureTunnelPart::render(float t) {
    beginPictureStacks(picture);
    // Between the fades the factor is left as the parts before this one left it (1.0).
    if (t < 2.0f) {
        renderState.setFadeFactor(std::min(t, 1.0f));
    }
    if (t > fadeOutFrom) {
        renderState.setFadeFactor(1.0f - std::min(0.6f * (t - fadeOutFrom), 1.0f));
    }
    drawPictureStacks(picture, layout, 0.9f * t, 0.19f * fadeFactor);
    renderState.setFadeFactor(1.0f);
}

DustPart::DustPart(float start, float end) {
    this->start = start;
    this->end = end;
    picture = loadTexture("DustOnYourEyes__.jpg");
}

void DustPart::render(float t) {
    beginPictureStacks(picture);
    if (t > fadeOutFrom) {
        renderState.setFadeFactor(1.0f - std::min(t - fadeOutFrom, 1.0f));
    }
    drawPictureStacks(picture, layout, t, 0.19f * fadeFactor);
    renderState.setFadeFactor(1.0f);
}
