// title_sprites.h - the opening's title lettering, a face and a dark circle: three alpha-masked
// sprites moved through a perspective view by envelopes.
#pragma once

#include "scene/track.h"
#include "timeline/part.h"

class TitleSpritesPart : public Part {
public:
    const char* name() const override { return "TitleSprites"; }
    // Loads the three sprites (colour picture plus alpha file each) and the envelopes
    // "tirvaltext_pos.env", "alpha_circle.env" and "koniec_intra.env".
    TitleSpritesPart(float start, float end);
    void render(float t) override;

    // From this local time on the title is drawn last, over the circle and the face.
    static constexpr float titleOnTopFrom = 9.33f;

    int titleTexture;
    int faceTexture;
    int circleTexture;
    VectorTrack positionEnvelope; // sprite offsets (px, py, pz)
    ScalarTrack alphaEnvelope;    // the circle's darkness and growth
    ScalarTrack introEnvelope;    // lifts the whole picture

private:
    void drawTitle(const float p[3]);
    void drawFace(const float p[3]);
    void drawCircle(const float p[3], float a);
};
