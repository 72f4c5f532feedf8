// scene_playback.cpp - the shared frame of the scene-playback parts, then one block per part
// with its scene, material retuning, fade, offsets and scene times.
//
// Part time t is in seconds; scene times are in the scene's key-time unit. Offsets and scene
// times are computed from t alone each frame, so seeking shows the same picture as playing.
// std::fmod keeps the sign of the dividend: a copy running backwards past its start receives
// a negative scene time, which the tracks hold at their first key.
#include "effects/scene_playback.h"

#include <algorithm>
#include <cmath>

#include "effects/effect_common.h"
#include "gfx/gl_api.h"
#include "gfx/render_state.h"

// ---- the shared frame

ScenePlaybackPart::ScenePlaybackPart(float startTime, float endTime, const char* sceneFile)
    : scene(loadSceneNamed(sceneFile)) {
    start = startTime;
    end = endTime;
}

void ScenePlaybackPart::render(float t) {
    glDisable(GL_CULL_FACE);
    if (depthTested) {
        glEnable(GL_DEPTH_TEST);
    } else {
        glDisable(GL_DEPTH_TEST);
    }
    savedFade = fadeFactor;
    fadeBeforeDrawing(t);
    if (unitZeroFirst) {
        selectUnitZero(true);
    }
    scrollMaterials(t);
    beginPrimitive(GL_TRIANGLES);
    drawScenes(t);
    endPrimitive();
    closing(t);
}

void retuneMaterials(Scene* scene, uint32_t blendSrc, uint32_t blendDst, float alpha) {
    for (int i = 0; Material* m = materialAt(scene, i); ++i) {
        m->blendSrc = blendSrc;
        m->blendDst = blendDst;
        m->alpha = alpha;
    }
}

void setMaterialOffset(Scene* scene, int index, float Material::*field, float value) {
    if (Material* m = materialAt(scene, index)) {
        m->*field = value;
    }
}

namespace {

// A copy of the scene that loops every `period` scene units.
void drawLooped(Scene* scene, float sceneTime, float period) {
    drawScene(scene, std::fmod(sceneTime, period));
}

} // namespace

// ---- BoxicalPart: "boxical.exp"
// Both blend factors are GL_SRC_ALPHA: the boxes brighten whatever they cover by their own
// alpha instead of replacing it. Scene time runs 8 units a second and wraps at 100, a loop of
// 12.5 s; the second copy is 4 units (half a second) ahead. The fade falls from the start and
// is pulled to 0 over the last second from 10.5 s.

BoxicalPart::BoxicalPart(float startTime, float endTime)
    : ScenePlaybackPart(startTime, endTime, "boxical.exp") {
    retuneMaterials(scene.get(), GL_SRC_ALPHA, GL_SRC_ALPHA, 0.7f);
}

void BoxicalPart::fadeBeforeDrawing(float t) {
    glEnable(GL_BLEND);
    renderState.setFadeFactor(1.0f - std::min(0.063f * t, 1.0f));
    if (t > 10.5f) {
        renderState.setFadeFactor(fadeFactor * (1.0f - std::min(t - 10.5f, 1.0f)));
    }
}

void BoxicalPart::scrollMaterials(float t) {
    setMaterialOffset(scene.get(), 0, &Material::uOffset, -3.6f * t);
}

void BoxicalPart::drawScenes(float t) {
    drawLooped(scene.get(), 8.0f * t, 100.0f);
    drawLooped(scene.get(), 8.0f * t + 4.0f, 100.0f);
}

void BoxicalPart::closing(float) {
    renderState.setFadeFactor(1.0f);
}

// ---- Boxical4Part: "boxical4.exp"
// The same loop and echo as BoxicalPart, with ordinary alpha blending at opacity 0.29999998
// (one single-precision step below 0.3); fades in over its first second.

Boxical4Part::Boxical4Part(float startTime, float endTime)
    : ScenePlaybackPart(startTime, endTime, "boxical4.exp") {
    retuneMaterials(scene.get(), GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, 0.29999998f);
}

void Boxical4Part::fadeBeforeDrawing(float t) {
    renderState.setFadeFactor(std::min(t, 1.0f));
}

void Boxical4Part::scrollMaterials(float t) {
    setMaterialOffset(scene.get(), 0, &Material::uOffset, -0.2f * t);
}

void Boxical4Part::drawScenes(float t) {
    drawLooped(scene.get(), 8.0f * t, 100.0f);
    drawLooped(scene.get(), 8.0f * t + 4.0f, 100.0f);
}

void Boxical4Part::closing(float) {
    renderState.setFadeFactor(savedFade);
}

// ---- CheckPart: "check.exp"
// Additive blending; two copies 4 scene units apart at 3 units a second, not wrapped.

CheckPart::CheckPart(float startTime, float endTime)
    : ScenePlaybackPart(startTime, endTime, "check.exp") {
    retuneMaterials(scene.get(), GL_SRC_ALPHA, GL_ONE, 0.423966f);
    unitZeroFirst = true;
}

void CheckPart::scrollMaterials(float t) {
    setMaterialOffset(scene.get(), 0, &Material::uOffset, 1.5f * t);
}

void CheckPart::drawScenes(float t) {
    drawScene(scene.get(), 3.0f * t);
    drawScene(scene.get(), 3.0f * t + 4.0f);
}

void CheckPart::closing(float) {
    selectUnitZero(true);
    renderState.setFadeFactor(savedFade);
}

// ---- EnergyPart: "energy.exp"
// Materials as the file gives them. The fade is left as the previous part left it for the
// first 7 s, then falls to 0 over the next 3.33 s. The closing full-white colour and fade of 1
// are what the parts drawn after it start from.

EnergyPart::EnergyPart(float startTime, float endTime)
    : ScenePlaybackPart(startTime, endTime, "energy.exp") {}

void EnergyPart::fadeBeforeDrawing(float t) {
    if (t > 7.0f) {
        renderState.setFadeFactor(1.0f - std::min(0.3f * (t - 7.0f), 1.0f));
    }
}

void EnergyPart::scrollMaterials(float t) {
    setMaterialOffset(scene.get(), 0, &Material::uOffset, 0.6f * t);
}

void EnergyPart::drawScenes(float t) {
    drawScene(scene.get(), 10.0f * t);
}

void EnergyPart::closing(float) {
    selectUnitZero(true);
    renderState.setFadeFactor(1.0f);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
}

// ---- SphericalPart: "spherical.exp"
// The opacity is kept just under 1 (0.9999) so that the material routines blend it
// additively rather than drawing it opaque. Fade: x = clamp(2 (t - 1), 0, 2) and
// fade = sin^2(1.832 x): 0 up to t = 1, 1 at t = 1 + pi / 7.328, and sin^2(3.664) ~ 0.248
// from t = 2 on.

SphericalPart::SphericalPart(float startTime, float endTime)
    : ScenePlaybackPart(startTime, endTime, "spherical.exp") {
    retuneMaterials(scene.get(), GL_SRC_ALPHA, GL_ONE, 0.9999f);
}

void SphericalPart::fadeBeforeDrawing(float t) {
    const float x = std::clamp(2.0f * (t - 1.0f), 0.0f, 2.0f);
    const float s = std::sin(0.5f * 3.664f * x);
    renderState.setFadeFactor(s * s);
}

void SphericalPart::scrollMaterials(float t) {
    setMaterialOffset(scene.get(), 0, &Material::uOffset, 0.2f * t);
    setMaterialOffset(scene.get(), 1, &Material::vOffset, -0.2f * t);
    setMaterialOffset(scene.get(), 2, &Material::uOffset, -0.3f * t);
}

void SphericalPart::drawScenes(float t) {
    drawLooped(scene.get(), 8.0f * t, 100.0f);
}

void SphericalPart::closing(float) {
    renderState.setFadeFactor(savedFade);
}

// ---- CreditsPart: "credits.exp" over the backdrop "design_bw.exp"
// Materials and fade as they are. Material 6 of the credits scene is the streak tunnel: it
// scrolls along v, set once the backdrop has been drawn.

CreditsPart::CreditsPart(float startTime, float endTime)
    : ScenePlaybackPart(startTime, endTime, "credits.exp"),
      backdropScene(loadSceneNamed("design_bw.exp")) {}

void CreditsPart::drawScenes(float t) {
    drawScene(backdropScene.get(), 10.0f * t);
    setMaterialOffset(scene.get(), 6, &Material::vOffset, 4.0f * t);
    drawScene(scene.get(), 15.0f * t);
}

// ---- ClockPart: "clock.exp"
// Four copies run forwards at 13, 17, 21 and 35 units a second from 0, 15, 45 and 65; two run
// backwards from 500 and 446. Once 13t or 19t + 54 passes 500 the remainder is negative and
// that copy stays at the scene's first keys.

ClockPart::ClockPart(float startTime, float endTime)
    : ScenePlaybackPart(startTime, endTime, "clock.exp") {}

void ClockPart::drawScenes(float t) {
    Scene* s = scene.get();
    drawScene(s, 13.0f * t);
    drawScene(s, 17.0f * t + 15.0f);
    drawScene(s, 21.0f * t + 45.0f);
    drawScene(s, 35.0f * t + 65.0f);
    drawLooped(s, 500.0f - 13.0f * t, 500.0f);
    drawLooped(s, 500.0f - (19.0f * t + 54.0f), 500.0f);
}

// ---- BubblebathPart: "bubblebath.exp"
// Drawn with depth testing; scene time 1.53 units a second, looping every 64 units. Leaves
// depth testing and texturing off for the parts after it.

BubblebathPart::BubblebathPart(float startTime, float endTime)
    : ScenePlaybackPart(startTime, endTime, "bubblebath.exp") {
    depthTested = true;
}

void BubblebathPart::drawScenes(float t) {
    drawLooped(scene.get(), 1.53f * t, 64.0f);
}

void BubblebathPart::closing(float) {
    glDisable(GL_DEPTH_TEST);
    selectUnitZero(false);
}

// ---- FacetedPart: "faceted.exp", then "faceted2.exp" and "napierdalanie2.env"
// Both scenes blend additively. The first is dimmed by the pulse envelope, read at key time
// t + layeredSceneStart (the stored file's pulses are keyed from there, for its other reader). From
// 15.138 s the second scene's fade falls to 0 over 1/0.6 s; at exactly 0 it is not drawn, and
// its material offset is no longer rewritten.

FacetedPart::FacetedPart(float startTime, float endTime)
    : ScenePlaybackPart(startTime, endTime, "faceted.exp"), scene2(loadSceneNamed("faceted2.exp")) {
    retuneMaterials(scene.get(), GL_SRC_ALPHA, GL_ONE, 0.23966f);
    retuneMaterials(scene2.get(), GL_SRC_ALPHA, GL_ONE, 0.4966f);
    loadEnvelope(pulseEnvelope, "napierdalanie2.env");
    unitZeroFirst = true;
}

void FacetedPart::fadeBeforeDrawing(float t) {
    const float p = evaluate(pulseEnvelope, t + layeredSceneStart);
    renderState.setFadeFactor(1.0f - 0.8f * p);
}

void FacetedPart::scrollMaterials(float t) {
    setMaterialOffset(scene.get(), 0, &Material::uOffset, 1.5f * t);
}

void FacetedPart::drawScenes(float t) {
    drawScene(scene.get(), 10.0f * t);
}

void FacetedPart::closing(float t) {
    if (t > 15.138f) {
        renderState.setFadeFactor(1.0f - std::min(0.6f * (t - 15.138f), 1.0f));
    }
    if (fadeFactor != 0.0f) {
        beginPrimitive(GL_TRIANGLES);
        setMaterialOffset(scene2.get(), 0, &Material::uOffset, 1.5f * t + 8.0f);
        drawScene(scene2.get(), 10.0f * t + 30.0f);
        endPrimitive();
    }
    selectUnitZero(true);
    renderState.setFadeFactor(savedFade);
}
