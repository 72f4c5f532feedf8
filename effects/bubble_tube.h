// bubble_tube.h - the glowing, pulsating tube: six rings of six nodes on a patch surface,
// animated from the local time alone, drawn additively in two layers (the picture on its own
// coordinates, and the same or another picture as an environment map) without depth testing.
// A key-framed sway path moves the tube sideways and tilts it.
#pragma once

#include <memory>

#include "effects/patch_surface.h"
#include "timeline/part.h"

class BubbleTubePart : public Part {
public:
    const char* name() const override { return "BubbleTube"; }
    static constexpr int ringNodes = 6; // columns
    static constexpr int ringCount = 6; // rows

    // Loads the layer-0 picture (uv-mapped), then the layer-1 picture (environment-mapped); a
    // null or empty name leaves that layer empty. Then loads the sway path "bubble.env".
    // `interval` points at {start, end}; null keeps the base interval. `variant` 1, 2 or 3
    // picks the node layout and the blend function; any other variant draws no tube.
    BubbleTubePart(const char* layer1Picture, const char* layer0Picture, int variant,
                   const float* interval);
    // Also loads the identity into the texture matrix (GL_TEXTURE is left current).
    ~BubbleTubePart() override;

    // Sets its own projection, model-view, depth and blend state; restores depth testing and
    // depth writes afterwards and leaves the matrix mode at GL_TEXTURE with an identity
    // texture matrix, blending on, culling off and (when it drew) GL_TEXTURE_2D on.
    void render(float t) override;

    float localTime = 0.0f;
    int baseTexture = -1; // layer 0's texture
    std::unique_ptr<SurfaceNode[]> nodeArray;
    PatchSurface surface;
    int variant;

private:
    void animateNodes(float t);
};
