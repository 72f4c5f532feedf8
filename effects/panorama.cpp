// panorama.cpp - the panorama and the backdrop.
//
// The panorama draws in a window 5 units wide and 2 high that pans from x in [4, 9] at t = 0 to
// x in [-1, 4] by t = pi/2 (its left edge at 4 - 5 sin t). Everything it draws lies at x <= 4,
// so the first frame shows nothing of it; as the window pans left the picture, the strips and
// the streaks come in at the screen's left edge and slide across to the right.
#include "effects/panorama.h"

#include <cmath>

#include "effects/effect_common.h"
#include "gfx/gl_api.h"
#include "gfx/render_state.h"
#include "resources/textures.h"

namespace {

// The picture's left three quarters across [-1, 4].
constexpr QuadCorner panoramaQuad[4] = {
    {0, 0, -1, 1, 0},
    {0.75f, 0, 4, 1, 0},
    {0.75f, 1, 4, -1, 0},
    {0, 1, -1, -1, 0},
};

// The picture turned a quarter turn into a narrow upright strip.
constexpr QuadCorner turnedStrip[4] = {
    {0, 1, 0.8f, -1, 0},
    {1, 1, 0.8f, 1, 0},
    {1, 0, 1.25f, 1, 0},
    {0, 0, 1.25f, -1, 0},
};

constexpr int streakCount = 64;
constexpr int rollingStripCount = 6;

// 64 thin bands climbing the screen (each wraps every 2 / 0.61 s), bright at x = 1 and fading
// out towards x = Y + 1, which sways along two sines. Each band's corners cross its diagonals;
// every corner samples the picture's first texel.
void drawStreaks(float T) {
    beginPrimitive(GL_QUADS);
    for (int i = 0; i < streakCount; ++i) {
        const float a = std::fmod(0.064f * static_cast<float>(i) + T, 2.0f);
        const float y = -1.0f - 0.53f * std::sin(a + T) - 0.5f * std::sin(2.0f * a + T);
        glTexCoord2f(0, 0);
        glColor4f(1, 1, 1, 0.725f);
        glVertex3f(1, a - 0.911f, 0);
        glColor4f(1, 1, 1, 0);
        glVertex3f(y + 1, a - 1, 0);
        glColor4f(1, 1, 1, 0);
        glVertex3f(y + 1, a - 0.91f, 0);
        glColor4f(1, 1, 1, 0.725f);
        glVertex3f(1, a - 1, 0);
    }
    endPrimitive();
}

// Six faint upright strips, opacity 0.1 v (so the first is invisible), whose texture rolls up
// and down by sin(0.3213 j + T)^5.
void drawRollingStrips(float T) {
    beginPrimitive(GL_QUADS);
    for (int j = 0; j < rollingStripCount; ++j) {
        const float v = 0.25012f * static_cast<float>(j);
        const float roll = std::sin(0.3213f * static_cast<float>(j) + T);
        const float w = roll * roll * roll * roll * roll;
        glColor4f(1, 1, 1, 0.1f * v);
        glTexCoord2f(0, w);
        glVertex3f(v + 1.91f, 1, 0);
        glTexCoord2f(0.51f, w);
        glVertex3f(v + 2.2f, 1, 0);
        glTexCoord2f(0.51f, w + 1);
        glVertex3f(v + 2.2f, -1, 0);
        glTexCoord2f(0, w + 1);
        glVertex3f(v + 1.91f, -1, 0);
    }
    endPrimitive();
}

} // namespace

PanoramaPart::PanoramaPart(float start, float end) {
    this->start = start;
    this->end = end;
    picture = loadTexture("vsz_d2.jpg");
}

void PanoramaPart::render(float t) {
    selectUnitZero(false);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);

    // Past pi/2 the pan holds at a hair beyond pi/2, whose sine is 1 in single precision: the
    // window rests at [-1, 4].
    const float h = t <= 1.570795f ? t : 1.570845f;
    const float s = std::sin(h);
    loadOrtho(4.0f - 5.0f * s, 9.0f - 5.0f * s, -1, 1);

    // The picture is written with its own colour over a dimmed frame (GL_ONE, GL_SRC_ALPHA at
    // alpha 0.9): over black it shows exactly as stored.
    glBindTexture(GL_TEXTURE_2D, picture);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_SRC_ALPHA);
    beginPrimitive(GL_QUADS);
    glColor4f(1, 1, 1, 0.9f);
    emitCorners(panoramaQuad);
    endPrimitive();

    const float T = 0.61f * t;
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBindTexture(GL_TEXTURE_2D, picture);
    glEnable(GL_BLEND);
    drawStreaks(T);

    // GL_SRC_COLOR as the destination factor keeps the frame's bright parts and darkens its dark
    // ones under the strip.
    glBlendFunc(GL_SRC_ALPHA, GL_SRC_COLOR);
    beginPrimitive(GL_QUADS);
    glColor4f(1, 1, 1, 0.41f);
    emitCorners(turnedStrip);
    endPrimitive();

    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    drawRollingStrips(T);
}

BackdropPart::BackdropPart(float start, float end) {
    this->start = start;
    this->end = end;
    picture = loadTexture("backg.jpg");
}

void BackdropPart::render(float /*t*/) {
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glDisable(GL_DEPTH_TEST);
    loadOrtho(-1, 1, -1, 1);

    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, picture);
    beginPrimitive(GL_QUADS);
    glColor4f(1, 1, 1, 1);
    emitCorners(screenQuad);
    endPrimitive();
}
