// picture_stacks.h - the spinning picture stacks: eight copies of one picture, one behind the
// other down the view axis, each turned a little further than the one in front, all tipping
// over as time goes on and added to the frame at low opacity so that they blend into a
// luminous spiral. Three parts draw them, differing in their picture, their number of stacks
// and where those hang, their opacity and their fades.
#pragma once

#include "timeline/part.h"

// The texture id of a part whose picture name was missing: it draws no squares.
constexpr int noPicture = -1;

// How one part places its stacks.
struct StackLayout {
    int layers; // stacks drawn, layer 0 first
    // The model-view translation of square `square` (0..7) of layer `layer` at animation time T.
    void (*offset)(int layer, int square, float T, float out[3]);
    // Adds a swing of the squares about a horizontal line 150 units up, 26 degrees a second.
    bool swing;
};

// One stack of "DarkHorizonOfDreams1__.jpg", swinging, at the constant opacity 0.23; it leaves
// the fade factor alone.
class DarkHorizonPart : public Part {
public:
    const char* name() const override { return "DarkHorizon"; }
    DarkHorizonPart(float start, float end);
    void render(float t) override;

    static constexpr float opacity = 0.23f;
    static const StackLayout layout;
    int picture;
};

// Two stacks of the given picture, 70 units apart vertically, animated at 0.9 times the part's
// time; the opacity 0.19 times the fade factor, which rises over the first second and falls over
// the 1/0.6 seconds after 16.1 s.
class PictureTunnelPart : public Part {
public:
    const char* name() const override { return "PictureTunnel"; }
    // `mode` is kept for the schedule's sake; the demo passes 1, whose drawing is the only one.
    // A null or empty `pictureName` gives a part that draws no squares.
    PictureTunnelPart(float start, float end, int mode, const char* pictureName);
    void render(float t) override;

    static constexpr float fadeOutFrom = 16.1f;
    static const StackLayout layout;
    int picture;
    int mode;
};

// Two stacks of "DustOnYourEyes__.jpg": the usual one and one close to the viewer that sways
// sideways; the opacity 0.19 times the fade factor, which falls over the second after 29.991 s.
class DustPart : public Part {
public:
    const char* name() const override { return "Dust"; }
    DustPart(float start, float end);
    void render(float t) override;

    static constexpr float fadeOutFrom = 29.991f;
    static const StackLayout layout;
    int picture;
};

// The common drawing: texture unit 1 off, unit 0 textured with `picture`, no culling or depth
// test, additive blending (GL_SRC_ALPHA, GL_ONE). Leaves unit 0 active.
void beginPictureStacks(int picture);
// The projection and the stacks of `layout` at animation time T, each square in the colour
// (1, 1, 1, alpha). Draws no squares for noPicture.
void drawPictureStacks(int picture, const StackLayout& layout, float T, float alpha);
