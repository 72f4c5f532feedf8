// woah.cpp - the layered scene in three passes: the second and third meshes as a background
// scrolling in v without depth test, the "Original" meshes with depth test, then the echo
// layers "LWO01".."LWO04" without depth test, texturing off, later layers over earlier ones.
#include "effects/woah.h"

#include "effects/effect_common.h"
#include "gfx/gl_api.h"
#include "gfx/render_state.h"

const EchoLayer echoLayers[4] = {
    {"LWO01", 0.7f},
    {"LWO02", 0.5f},
    {"LWO03", 0.35f},
    {"LWO04", 0.2f},
};

float echoLayerFade(int layer, float pulse) {
    return echoLayers[layer].weight * (1.0f - pulse);
}

WoahPart::WoahPart(float start, float end) : scene(loadSceneNamed("woah3.exp")) {
    this->start = start;
    this->end = end;
    loadEnvelope(pulseEnvelope, "napierdalanie.env");
}

WoahPart::~WoahPart() = default;

void WoahPart::render(float t) {
    glDisable(GL_CULL_FACE);
    const float p = evaluate(pulseEnvelope, t + layeredSceneStart);

    // Background: meshes 2 and 3 with material 1 scrolling in v.
    Scene* s = scene.get();
    glDisable(GL_DEPTH_TEST);
    beginPrimitive(GL_TRIANGLES);
    updateCamera(s, 10.0f * t);
    prepareMeshes(s, 15.0f * t);
    if (Material* back = materialAt(s, 1)) {
        back->uOffset = 0.0f;
        back->vOffset = 1.4f * t;
    }
    drawMeshAt(s, 1);
    drawMeshAt(s, 2);
    endPrimitive();

    glEnable(GL_DEPTH_TEST);
    if (Material* skin = materialAt(s, 0)) {
        skin->uOffset = 0.3f;
        skin->vOffset = 1.4f * t + 0.5f;
    }
    beginPrimitive(GL_TRIANGLES);
    drawMeshesNamed(s, "Original");
    endPrimitive();

    selectUnitZero(false);
    glDisable(GL_DEPTH_TEST);
    beginPrimitive(GL_TRIANGLES);
    for (int layer = 0; layer < 4; ++layer) {
        renderState.setFadeFactor(echoLayerFade(layer, p));
        drawMeshesNamed(s, echoLayers[layer].name);
    }
    endPrimitive();
    renderState.setFadeFactor(1.0f);
}
