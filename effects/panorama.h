// panorama.h - two flat screen-space parts: the panorama, a wide picture sliding into view under
// rippling light streaks and translucent strips, and the backdrop, one picture added over the
// whole screen for the parts drawn after it.
#pragma once

#include "timeline/part.h"

class PanoramaPart : public Part {
public:
    const char* name() const override { return "Panorama"; }
    // Loads "vsz_d2.jpg".
    PanoramaPart(float start, float end);
    void render(float t) override;

    int picture;
};

class BackdropPart : public Part {
public:
    const char* name() const override { return "Backdrop"; }
    // Loads "backg.jpg".
    BackdropPart(float start, float end);
    // The same picture whatever the time.
    void render(float t) override;

    int picture;
};
