// bump.cpp - emboss bump mapping: the height map is read twice, once through each texture unit,
// the second time shifted by (du, dv) = 0.005 (sin pi t, cos pi t); the shifted difference of
// the heights brightens slopes facing the offset and darkens the others, so the light circles
// round the relief once every two seconds. The closing scene is drawn over the picture with
// depth testing and writes on, the picture with writes off, so it never hides the scene.
#include "effects/bump.h"

#include <cmath>
#include <cstring>

#include "effects/effect_common.h"
#include "gfx/gl_api.h"
#include "gfx/render_state.h"
#include "resources/textures.h"

namespace {

// Pi as a float: the offset turns once every 2 seconds.
constexpr float reliefTurnRate = 3.14159275f;
constexpr float reliefShift = 0.005f;
// The picture stays from 2 s to 5 s and fades out over the two seconds after.
constexpr float fadeOutAt = 5.0f;

bool listsExtension(const char* extensions, const char* name) {
    const size_t length = std::strlen(name);
    for (const char* p = extensions; (p = std::strstr(p, name)) != nullptr; p += length) {
        const bool startsWord = p == extensions || p[-1] == ' ';
        const bool endsWord = p[length] == ' ' || p[length] == '\0';
        if (startsWord && endsWord) {
            return true;
        }
    }
    return false;
}

void texEnv(GLenum name, GLint value) {
    glTexEnvi(GL_TEXTURE_ENV, name, value);
}

// Without combiners: the colour picture alone on unit 0 under GL_MODULATE. It has no alpha
// channel, so the primary alpha (the fade) is the picture's opacity, as with the emboss.
void setupFlatPicture(int textureId) {
    glActiveTextureARB(GL_TEXTURE1_ARB);
    glDisable(GL_TEXTURE_2D);
    glActiveTextureARB(GL_TEXTURE0_ARB);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(textureId));
    glEnable(GL_TEXTURE_2D);
    texEnv(GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

} // namespace

bool embossCombinersAvailable(const char* extensions) {
    return extensions && listsExtension(extensions, "GL_ARB_texture_env_combine") &&
           listsExtension(extensions, "GL_NV_texture_env_combine4");
}

void setupEmboss(int textureId) {
    // Unit 0: RGB = texture * primary colour; alpha = h0 * 1 + (1 - h1) * 1 - 0.5, the
    // combine4 sum a0 a1 + a2 a3 - 0.5 with the two ZERO sources inverted to 1.
    glActiveTextureARB(GL_TEXTURE0_ARB);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(textureId));
    glEnable(GL_TEXTURE_2D);
    texEnv(GL_TEXTURE_ENV_MODE, GL_COMBINE4_NV);
    texEnv(GL_COMBINE_RGB_ARB, GL_MODULATE);
    texEnv(GL_SOURCE0_RGB_ARB, GL_TEXTURE);
    texEnv(GL_OPERAND0_RGB_ARB, GL_SRC_COLOR);
    texEnv(GL_SOURCE1_RGB_ARB, GL_PREVIOUS_ARB);
    texEnv(GL_OPERAND1_RGB_ARB, GL_SRC_COLOR);
    texEnv(GL_COMBINE_ALPHA_ARB, GL_ADD_SIGNED_ARB);
    texEnv(GL_SOURCE0_ALPHA_ARB, GL_TEXTURE);
    texEnv(GL_OPERAND0_ALPHA_ARB, GL_SRC_ALPHA);
    texEnv(GL_SOURCE1_ALPHA_ARB, GL_ZERO);
    texEnv(GL_OPERAND1_ALPHA_ARB, GL_ONE_MINUS_SRC_ALPHA);
    texEnv(GL_SOURCE2_ALPHA_ARB, GL_TEXTURE1_ARB);
    texEnv(GL_OPERAND2_ALPHA_ARB, GL_ONE_MINUS_SRC_ALPHA);
    texEnv(GL_SOURCE3_ALPHA_NV, GL_ZERO);
    texEnv(GL_OPERAND3_ALPHA_NV, GL_ONE_MINUS_SRC_ALPHA);

    // Unit 1: RGB = 2 (colour + difference - 0.5); with primary colour 0.5 and a flat relief
    // that is the picture's own colour. Alpha = the primary alpha (the fade).
    glActiveTextureARB(GL_TEXTURE1_ARB);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(textureId));
    glEnable(GL_TEXTURE_2D);
    texEnv(GL_TEXTURE_ENV_MODE, GL_COMBINE_ARB);
    texEnv(GL_COMBINE_RGB_ARB, GL_ADD_SIGNED_ARB);
    texEnv(GL_SOURCE0_RGB_ARB, GL_PREVIOUS_ARB);
    texEnv(GL_OPERAND0_RGB_ARB, GL_SRC_COLOR);
    texEnv(GL_SOURCE1_RGB_ARB, GL_PREVIOUS_ARB);
    texEnv(GL_OPERAND1_RGB_ARB, GL_SRC_ALPHA);
    texEnv(GL_COMBINE_ALPHA_ARB, GL_REPLACE);
    texEnv(GL_SOURCE0_ALPHA_ARB, GL_PRIMARY_COLOR_ARB);
    texEnv(GL_OPERAND0_ALPHA_ARB, GL_SRC_ALPHA);
    glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE_ARB, 2.0f);

    glActiveTextureARB(GL_TEXTURE0_ARB);
}

void resetCombiners() {
    glActiveTextureARB(GL_TEXTURE1_ARB);
    glDisable(GL_TEXTURE_2D);
    texEnv(GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glActiveTextureARB(GL_TEXTURE0_ARB);
    glEnable(GL_TEXTURE_2D);
    texEnv(GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

BumpPart::BumpPart(const float* interval)
    : bumpTexture(loadTextureWithAlpha("bump.jpg", "bump.raw")), scene(loadSceneNamed("end.exp")) {
    if (interval) {
        start = interval[0];
        end = interval[1];
    }
    // No material stays fully opaque (alpha < 1 keeps blending on), and both sides of every
    // face are drawn.
    if (MaterialList* list = scene->materials) {
        for (int i = 0; i < list->count; ++i) {
            list->items[i]->twoSided = 1;
            list->items[i]->alpha *= 0.9999999f;
        }
    }
    // A driver without the combiners would reject every enum of setupEmboss; the picture is
    // then drawn without its relief.
    relief = embossCombinersAvailable(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)));
    if (!relief) {
        flatTexture = loadTexture("bump.jpg");
    }
}

BumpPart::~BumpPart() = default;

void BumpPart::render(float t) {
    time = t;
    const float du = reliefShift * std::sin(reliefTurnRate * t);
    const float dv = reliefShift * std::cos(reliefTurnRate * t);

    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-0.95, 0.95, -1.5, 1.5, 0.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);

    const float ramp = fadeRamp(t, fadeOutAt);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    if (relief) {
        glColor4f(0.5f, 0.5f, 0.5f, ramp);
        setupEmboss(bumpTexture);
    } else {
        // Full primary colour: the emboss doubles a half colour, so both show the picture at
        // its own brightness.
        glColor4f(1.0f, 1.0f, 1.0f, ramp);
        setupFlatPicture(flatTexture);
    }

    // Unit 1 reads the same heights shifted by (du, dv).
    struct Corner {
        float s, t, x, y;
    };
    static const Corner corners[4] = {{0, 0, -1, 1}, {1, 0, 1, 1}, {1, 1, 1, -1}, {0, 1, -1, -1}};
    glBegin(GL_QUADS);
    for (const Corner& c : corners) {
        glMultiTexCoord2fARB(GL_TEXTURE0_ARB, c.s, c.t);
        glMultiTexCoord2fARB(GL_TEXTURE1_ARB, du + c.s, dv + c.t);
        glVertex3f(c.x, c.y, -0.5f);
    }
    glEnd();

    resetCombiners();
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();

    // The scene shares the picture's fade while it fades in or out; in between the fade is
    // left as it was.
    if (t < 2.0f || t > fadeOutAt) {
        renderState.setFadeFactor(ramp);
    }
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    glDisable(GL_CULL_FACE);
    beginPrimitive(GL_TRIANGLES);
    drawScene(scene.get(), 15.0f * t + 60.0f);
    endPrimitive();

    selectUnitZero(true);
    renderState.setFadeFactor(1.0f);
}
