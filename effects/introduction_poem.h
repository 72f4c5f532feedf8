// introduction_poem.h - the poem of the opening: one full-screen picture added over what is
// already drawn, its brightness rising and falling along half a sine wave.
#pragma once

#include "timeline/part.h"

class IntroductionPoemPart : public Part {
public:
    const char* name() const override { return "IntroductionPoem"; }
    // Loads "introductionpoem1.jpg". The third argument is accepted for the schedule's sake and
    // not used.
    IntroductionPoemPart(float start, float end, int unused);
    void render(float t) override;

    int texture;
};
