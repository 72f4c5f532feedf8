// title_sprites.cpp - three sprites 200 units wide, 500 units in front of the viewer, each
// offset by the position envelope p = (px, py, pz): the title by (px, py - 70, pz), the face
// by (px, -py, -pz), so the two move in opposite directions, and the circle, scaled by
// a + 1.35, by (px + 7, -py, -pz). The circle has no colour of its own and is drawn in black
// with the alpha envelope's value as opacity, darkening what lies behind it.
#include "effects/title_sprites.h"

#include "effects/effect_common.h"
#include "gfx/gl_api.h"
#include "gfx/render_state.h"
#include "resources/textures.h"

namespace {

// The sprite square as (s, t) -> base vertex; each sprite adds its own offset.
constexpr QuadCorner spriteQuad[4] = {
    {0, 0, -100, 100, -500},
    {1, 0, 100, 100, -500},
    {1, 1, 100, -100, -500},
    {0, 1, -100, -100, -500},
};

} // namespace

TitleSpritesPart::TitleSpritesPart(float start, float end) {
    this->start = start;
    this->end = end;
    titleTexture = loadTextureWithAlpha("D1_Tirval2.jpg", "D1_TirvalAlpha.tga");
    faceTexture = loadTextureWithAlpha("D1_Face.jpg", "D1_FaceAlpha.tga");
    circleTexture = loadTextureWithAlpha("D1_Circle2.jpg", "D1_CircleAlpha.tga");
    loadVectorEnvelope(positionEnvelope, "tirvaltext_pos.env");
    loadEnvelope(alphaEnvelope, "alpha_circle.env");
    loadEnvelope(introEnvelope, "koniec_intra.env");
}

void TitleSpritesPart::drawTitle(const float p[3]) {
    glBindTexture(GL_TEXTURE_2D, titleTexture);
    beginPrimitive(GL_QUADS);
    glColor4f(1, 1, 1, 1);
    for (const QuadCorner& c : spriteQuad) {
        glTexCoord2f(c.s, c.t);
        glVertex3f(c.x + p[0], c.y + p[1] - 70, c.z + p[2]);
    }
    endPrimitive();
}

void TitleSpritesPart::drawFace(const float p[3]) {
    glBindTexture(GL_TEXTURE_2D, faceTexture);
    beginPrimitive(GL_QUADS);
    glColor4f(1, 1, 1, 1);
    for (const QuadCorner& c : spriteQuad) {
        glTexCoord2f(c.s, c.t);
        glVertex3f(c.x + p[0], c.y - p[1], c.z - p[2]);
    }
    endPrimitive();
}

void TitleSpritesPart::drawCircle(const float p[3], float a) {
    // Half-width 135 units at a = 0, growing by 100 units per unit of a.
    const float s = a + 1.35f;
    glBindTexture(GL_TEXTURE_2D, circleTexture);
    beginPrimitive(GL_QUADS);
    for (const QuadCorner& c : spriteQuad) {
        glTexCoord2f(c.s, c.t);
        glVertex3f(s * c.x + p[0] + 7, s * c.y - p[1], c.z - p[2]);
    }
    endPrimitive();
}

void TitleSpritesPart::render(float t) {
    selectUnitZero(false);
    loadPerspective(5000);
    glTranslatef(0, evaluate(introEnvelope, t), 0);

    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);

    evaluate(positionEnvelope, t);
    const float* p = positionEnvelope.value;
    const float a = evaluate(alphaEnvelope, t);

    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    if (t < titleOnTopFrom) {
        drawTitle(p);
        glColor4f(0, 0, 0, a);
        drawCircle(p, a);
        drawFace(p);
    } else {
        glColor4f(0, 0, 0, a);
        drawCircle(p, a);
        drawFace(p);
        drawTitle(p);
    }
}
