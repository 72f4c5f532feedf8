// introduction_poem.cpp - the poem picture over the whole screen, added to the frame with a
// brightness of sin(a), a = 0.0732118 pi t: dark at the start, brightest after about 6.83 s,
// back to a faint glow at about 13.66 s, where a is held just below pi.
#include "effects/introduction_poem.h"

#include <cmath>

#include "effects/effect_common.h"
#include "gfx/gl_api.h"
#include "gfx/render_state.h"
#include "resources/textures.h"

IntroductionPoemPart::IntroductionPoemPart(float start, float end, int /*unused*/) {
    this->start = start;
    this->end = end;
    texture = loadTexture("introductionpoem1.jpg");
}

void IntroductionPoemPart::render(float t) {
    // The rate is a single-precision constant and pi is taken as the double 3.14; the phase is
    // kept in single precision and held at 3.14f once past it, so the picture ends on a faint
    // sin(3.14f) of about 0.0016 rather than going dark or negative.
    float a = static_cast<float>(t * 0.0732118f * 3.14);
    if (a > 3.14) {
        a = 3.14f;
    }
    renderState.setFadeFactor(static_cast<float>(std::sin(a)));

    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);
    loadOrtho(-1, 1, -1, 1);

    glBindTexture(GL_TEXTURE_2D, texture);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);

    beginPrimitive(GL_QUADS);
    glColor4f(1, 1, 1, fadeFactor);
    emitCorners(screenQuad);
    renderState.setFadeFactor(1.0f);
    endPrimitive();
}
