// beginning.cpp - the opening scene and its cross-fading title pictures.
//
// With a = alpha_circle(t) and e = koniec_intra(t - 1), everything is drawn at
// fade = (1 - 0.01 e) (a + 0.2). The camera runs at scene time 30 / ((t + 1) / 2) a + 15 t, so
// it lingers while the envelope is high early on; the meshes run at 20 t. The pictures have
// weights w = 1 - a^4 ("overtake.jpg") and 1 - w ("overtake2.jpg"), so a = 0 shows only the
// first and a = 1 only the second.
//
// The scene file is expected to hold at least five meshes (the second is the background, the
// first and fifth are drawn with depth testing) and two materials; a file with fewer draws the
// meshes it has and leaves the missing materials' offsets alone.
#include "effects/beginning.h"

#include "effects/effect_common.h"
#include "gfx/gl_api.h"
#include "gfx/render_state.h"
#include "resources/textures.h"

BeginningPart::BeginningPart(float startTime, float endTime)
    : scene(loadSceneNamed("beginning.exp")) {
    start = startTime;
    end = endTime;
    loadEnvelope(alphaEnvelope, "alpha_circle.env");
    loadEnvelope(introEnvelope, "koniec_intra.env");
    pictureA = loadTexture("overtake.jpg");
    pictureB = loadTexture("overtake2.jpg");
}

namespace {

// One picture over the middle band of the screen, added at the given opacity.
void drawPicture(int texture, float opacity) {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texture));
    beginPrimitive(GL_QUADS);
    glColor4f(1.0f, 1.0f, 1.0f, opacity);
    emitCorners(screenQuad);
    endPrimitive();
}

} // namespace

void BeginningPart::render(float t) {
    Scene* s = scene.get();
    const float a = evaluate(alphaEnvelope, t);
    renderState.setFadeFactor(a + 0.2f);
    const float e = evaluate(introEnvelope, t - 1.0f);
    renderState.setFadeFactor((1.0f - 0.01f * e) * fadeFactor);

    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    beginPrimitive(GL_TRIANGLES);
    updateCamera(s, 30.0f / ((t + 1.0f) * 0.5f) * a + 15.0f * t);
    prepareMeshes(s, 20.0f * t);

    // The background, its material scrolling along u.
    beginPrimitive(GL_TRIANGLES);
    if (Material* m = materialAt(s, 1)) {
        m->uOffset = 1.4f * t;
    }
    drawMeshAt(s, 1);
    endPrimitive();

    // The first and fifth meshes, depth tested, their material scrolling along v.
    glEnable(GL_DEPTH_TEST);
    if (Material* m = materialAt(s, 0)) {
        m->uOffset = 0.3f;
        m->vOffset = 1.4f * t + 0.5f;
    }
    beginPrimitive(GL_TRIANGLES);
    drawMeshAt(s, 0);
    drawMeshAt(s, 4);
    endPrimitive();

    // The pictures, added over a -1..1 x -1.4..1.4 window: the quad covers the full width and
    // the middle 1/1.4 of the height.
    selectUnitZero(false);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glDisable(GL_DEPTH_TEST);
    loadOrtho(-1.0, 1.0, -1.4, 1.4);
    const float aNow = alphaEnvelope.value;
    const float w = 1.0f - aNow * aNow * aNow * aNow;
    drawPicture(pictureA, fadeFactor * w);
    drawPicture(pictureB, (1.0f - w) * fadeFactor);

    renderState.setFadeFactor(1.0f);
}
