// bump.h - the closing picture: a relief picture lit by emboss bump mapping in the two texture
// units, faded in and out, with the scene "end.exp" played over it.
#pragma once

#include <memory>

#include "scene/scene.h"
#include "timeline/part.h"

// True when the space-separated extension list names both GL_ARB_texture_env_combine and
// GL_NV_texture_env_combine4 (whole names only); false for a null list.
bool embossCombinersAvailable(const char* extensions);

// Emboss combiners for an RGBA texture with the height in alpha: unit 0 multiplies the colour
// by the primary colour and puts the difference of the two height samples (unit 0's and unit
// 1's, + 0.5) in alpha; unit 1 gives 2 * (colour + difference - 0.5) with the primary alpha.
// Needs both combiner extensions. Leaves unit 0 active.
void setupEmboss(int textureId);
// Both units back to GL_MODULATE, unit 1 texturing off, unit 0 on and left active.
void resetCombiners();

class BumpPart : public Part {
public:
    const char* name() const override { return "Bump"; }
    // interval: {start, end} in demo seconds, or null to keep the Part defaults. Loads the
    // relief picture ("bump.jpg" with heights "bump.raw") and "end.exp", whose materials all
    // become two-sided and a little translucent. Reads the driver's extension list: without
    // the combiners the picture is drawn flat.
    explicit BumpPart(const float* interval);
    ~BumpPart() override;
    void render(float t) override;

    float time = 0.0f;
    int bumpTexture;              // colour with the height in alpha
    std::unique_ptr<Scene> scene; // "end.exp"
    bool relief;                  // both combiner extensions present
    int flatTexture = -1;         // "bump.jpg" alone, loaded only when `relief` is false
};
