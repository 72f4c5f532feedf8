// part.h - a timed effect: an interval in demo seconds and a render operation that receives
// the seconds since the part's own start.
#pragma once

class Part {
public:
    Part() = default;
    virtual ~Part() = default;
    // Draws the part; `localTime` is demo time minus `start`. The base draws nothing.
    virtual void render(float localTime) {}

    float start = 0.0f;
    float end = 1.0e12f; // stored as 999999995904.0: active for the whole demo
};
