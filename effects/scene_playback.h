// scene_playback.h - the nine parts that play an exported scene through its own camera. They
// share one frame (ScenePlaybackPart::render) and differ only in their scene files, a one-off
// retuning of the scene's materials, how part time maps to scene time (several copies of one
// scene at different scene times give echoes and trails), which texture offsets scroll, and
// what they do with fadeFactor. Each part's numbers live in its own short block in
// scene_playback.cpp.
//
// Material indices count from 0 in the scene file's order. A scene that holds fewer materials
// or meshes than a part reaches for simply lacks those offsets: nothing is read past the end.
#pragma once

#include <memory>

#include "scene/scene.h"
#include "scene/track.h"
#include "timeline/part.h"

class ScenePlaybackPart : public Part {
public:
    // The common frame, in this order: culling off and depth testing off (on for parts that
    // set depthTested); the fade before drawing, with the current fadeFactor saved first;
    // texture unit 1 off and unit 0 on where unitZeroFirst is set; the material offsets;
    // one GL_TRIANGLES batch holding every copy of the scene; then the part's closing steps.
    void render(float t) override;

    std::unique_ptr<Scene> scene;

protected:
    // Stores the interval and loads `sceneFile` (a missing or damaged file is fatal).
    ScenePlaybackPart(float start, float end, const char* sceneFile);

    // The steps each part fills in; the defaults do nothing.
    virtual void fadeBeforeDrawing(float) {}
    virtual void scrollMaterials(float) {}
    // Draws every copy inside the open batch, in order.
    virtual void drawScenes(float t) = 0;
    virtual void closing(float) {}

    bool depthTested = false;
    bool unitZeroFirst = false;
    // fadeFactor as the frame found it, for the parts that put it back.
    float savedFade = 1.0f;
};

// Every material of `scene` gets these blend factors and opacity.
void retuneMaterials(Scene* scene, uint32_t blendSrc, uint32_t blendDst, float alpha);
// Sets `field` of material `index` when the scene has that material.
void setMaterialOffset(Scene* scene, int index, float Material::*field, float value);

// A ring of boxes looping every 12.5 s, drawn twice half a second apart.
class BoxicalPart : public ScenePlaybackPart {
public:
    const char* name() const override { return "Boxical"; }
    BoxicalPart(float start, float end);

protected:
    void fadeBeforeDrawing(float t) override;
    void scrollMaterials(float t) override;
    void drawScenes(float t) override;
    void closing(float t) override;
};

// Nested box frames, the same loop and echo as BoxicalPart, fading in over its first second.
class Boxical4Part : public ScenePlaybackPart {
public:
    const char* name() const override { return "Boxical4"; }
    Boxical4Part(float start, float end);

protected:
    void fadeBeforeDrawing(float t) override;
    void scrollMaterials(float t) override;
    void drawScenes(float t) override;
    void closing(float t) override;
};

class CheckPart : public ScenePlaybackPart {
public:
    const char* name() const override { return "Check"; }
    CheckPart(float start, float end);

protected:
    void scrollMaterials(float t) override;
    void drawScenes(float t) override;
    void closing(float t) override;
};

// The finale's scene, fading out from 7 s on; leaves full white colour and fade behind.
class EnergyPart : public ScenePlaybackPart {
public:
    const char* name() const override { return "Energy"; }
    EnergyPart(float start, float end);

protected:
    void fadeBeforeDrawing(float t) override;
    void scrollMaterials(float t) override;
    void drawScenes(float t) override;
    void closing(float t) override;
};

class SphericalPart : public ScenePlaybackPart {
public:
    const char* name() const override { return "Spherical"; }
    SphericalPart(float start, float end);

protected:
    void fadeBeforeDrawing(float t) override;
    void scrollMaterials(float t) override;
    void drawScenes(float t) override;
    void closing(float t) override;
};

// Credit boards over a black-and-white backdrop scene.
class CreditsPart : public ScenePlaybackPart {
public:
    const char* name() const override { return "Credits"; }
    CreditsPart(float start, float end);

    std::unique_ptr<Scene> backdropScene;

protected:
    void drawScenes(float t) override;
};

// One clock drawn six times: four copies running forwards at different rates, two backwards.
class ClockPart : public ScenePlaybackPart {
public:
    const char* name() const override { return "Clock"; }
    ClockPart(float start, float end);

protected:
    void drawScenes(float t) override;
};

// The one scene-playback part drawn with depth testing.
class BubblebathPart : public ScenePlaybackPart {
public:
    const char* name() const override { return "Bubblebath"; }
    BubblebathPart(float start, float end);

protected:
    void drawScenes(float t) override;
    void closing(float t) override;
};

// Two scenes: the first pulses with "napierdalanie2.env"; the second, drawn in a batch of its
// own among the closing steps, fades out after 15.138 s and is skipped once its fade is 0.
class FacetedPart : public ScenePlaybackPart {
public:
    const char* name() const override { return "Faceted"; }
    FacetedPart(float start, float end);

    std::unique_ptr<Scene> scene2;
    ScalarTrack pulseEnvelope;

protected:
    void fadeBeforeDrawing(float t) override;
    void scrollMaterials(float t) override;
    void drawScenes(float t) override;
    void closing(float t) override;
};
