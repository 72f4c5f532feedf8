// part.h - a timed effect: an interval in demo seconds and a render operation that receives
// the seconds since the part's own start.
#pragma once

class Part {
public:
    Part() = default;
    virtual ~Part() = default;
    // Draws the part; `localTime` is demo time minus `start`. The base draws nothing.
    virtual void render(float localTime) {}
    // The part's name as its row is shown ("Boxical" for a BoxicalPart): each effect names
    // itself. The base is "Part".
    virtual const char* name() const { return "Part"; }

    float start = 0.0f;
    float end = 1.0e12f; // stored as 999999995904.0: active for the whole demo
};
