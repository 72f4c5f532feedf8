// tunnel.h - the flight through a winding tunnel: sixteen rings of six nodes on a patch
// surface, following a spine that wiggles by sums of sines, each ring breathing in width and
// height, with up to three picture layers (two scrolling, one environment-mapped) added over
// it, and two overlay pictures laid over the whole view, cross-fading with a sine of time.
#pragma once

#include <memory>

#include "effects/patch_surface.h"
#include "scene/track.h"
#include "timeline/part.h"

// amplitude * sin(a * frequency + phase)
struct Wave {
    float amplitude;
    float frequency;
    float phase;
    double at(float a) const;
};

class TunnelPart : public Part {
public:
    const char* name() const override { return "Tunnel"; }
    static constexpr int ringNodes = 6;  // columns
    static constexpr int ringCount = 16; // rows

    // Loads the three layer pictures in order (layers 0 and 1 on the nodes' own coordinates,
    // layer 2 environment-mapped; a null or empty name leaves its layer empty and only the
    // layers up to the last named one are drawn), then the overlays "d1.jpg" and "d1_.jpg" and
    // the pulse envelope "Napierdalanie2.env". `interval` points at {start, end}; null keeps
    // the base interval.
    TunnelPart(const char* picture1, const char* picture2, const char* picture3,
               const float* interval);

    // Sets its own projection, model-view, depth and blend state. Leaves depth testing off,
    // depth writes on, culling off, blending on (source alpha, one), GL_TEXTURE_2D on and the
    // matrix mode at GL_MODELVIEW.
    void render(float t) override;

    // The opacity the layers and the overlays share: in over the first two seconds, out over
    // the two seconds after 15.138.
    static float ramp(float t);

    Wave waves[4];
    int overlayA = -1; // "d1.jpg", shown at the sine's top
    int overlayB = -1; // "d1_.jpg", shown at its bottom
    std::unique_ptr<SurfaceNode[]> nodes;
    PatchSurface surface;
    float time = 0.0f;
    ScalarTrack pulseEnvelope;

private:
    void updateNodes();
};
