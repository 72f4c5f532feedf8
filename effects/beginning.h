// beginning.h - the opening: the flight through "beginning.exp" with a camera whose speed
// follows "alpha_circle.env", two scrolling materials, and the two title pictures laid over it
// in a band across the middle of the screen, cross-fading as that envelope rises.
#pragma once

#include <memory>

#include "scene/scene.h"
#include "scene/track.h"
#include "timeline/part.h"

class BeginningPart : public Part {
public:
    const char* name() const override { return "Beginning"; }
    // Loads the scene, "alpha_circle.env", "koniec_intra.env", "overtake.jpg" and
    // "overtake2.jpg", in that order.
    BeginningPart(float start, float end);

    // Draws the scene's second mesh, then its first and fifth with depth testing, then the two
    // pictures added on top. Leaves fadeFactor at 1.
    void render(float t) override;

    std::unique_ptr<Scene> scene;
    ScalarTrack alphaEnvelope;
    ScalarTrack introEnvelope;
    int pictureA = 0;
    int pictureB = 0;
};
