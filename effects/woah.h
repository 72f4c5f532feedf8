// woah.h - the layered scene: a scrolling background, the "Original" meshes with depth testing,
// and four untextured echo layers drawn over them with decreasing brightness, all dimmed
// together by the pulse envelope.
#pragma once

#include <memory>

#include "scene/scene.h"
#include "scene/track.h"
#include "timeline/part.h"

// The echo layers in drawing order: mesh name and the share of the fade each is drawn with.
struct EchoLayer {
    const char* name;
    float weight;
};
extern const EchoLayer echoLayers[4];

// The fade echo layer `layer` (0..3) is drawn with at pulse value p: its weight times (1 - p),
// so at p = 1 every layer vanishes.
float echoLayerFade(int layer, float pulse);

class WoahPart : public Part {
public:
    const char* name() const override { return "Woah"; }
    // Loads "woah3.exp" and the pulse envelope "napierdalanie.env".
    WoahPart(float start, float end);
    ~WoahPart() override;
    void render(float t) override;

    std::unique_ptr<Scene> scene; // "woah3.exp"
    ScalarTrack pulseEnvelope;    // "napierdalanie.env", read at demo time (t + layeredSceneStart)
};
