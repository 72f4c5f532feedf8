// demo_clock.h - demo time, owned in one place: the performance counter and the music's order
// position turned into single-precision seconds.
//
// A stretch of demo time starts at a counter reading (clockStart) with a time (timeOffset) and
// runs with the counter from there; while paused it stands at timeOffset. Whenever the music moves
// to another order, the stretch restarts at the time the synchronisation envelope gives for that
// order, so the pictures follow the music even when the sound output lags. The frame loop, the
// development player's order jumps and the offline capture all go through this object's
// operations; effect parts never see it, they get their time from render(localTime).
#pragma once

#include <cstdint>

struct ScalarTrack;

struct DemoClock {
    int64_t clockStart = 0;              // counter reading at which the current stretch began
    float timeOffset = 0.0f;             // demo time at clockStart
    float demoTime = 0.0f;               // the time the last update() gave
    int lastOrder = 0;                   // music order seen by the previous frame
    ScalarTrack* syncEnvelope = nullptr; // order -> time: key k's time is where order k begins
    bool paused = false;                 // time stands still (the development player's pause)

    // The key time that stands for `order`: key 0 for a negative order, the last key for an
    // order past the end. The envelope must hold at least one key.
    float orderTime(int order) const;
    // Starts a stretch of demo time at `counter` that runs from `offset`.
    void restart(int64_t counter, float offset) {
        clockStart = counter;
        timeOffset = offset;
    }
    // Restarts at the key time of `order` (an order change, or an order jump).
    void syncToOrder(int order, int64_t counter) { restart(counter, orderTime(order)); }
    // One frame's order synchronisation: when `order` differs from the last frame's, restarts at
    // its key time and remembers it. Returns whether it changed.
    bool followOrder(int order, int64_t counter);
    // Demo time at `counter`: the tick difference is converted in double precision and rounded
    // to float once; while paused, timeOffset. Also stored in demoTime.
    float update(int64_t counter, int64_t frequency);
    // The same time without storing it.
    float timeAt(int64_t counter, int64_t frequency) const;

    // The order whose stretch holds demo time `t`: the last k whose key time is at or before t
    // while key k+1's is after it; 0 before key 1, the last key's order after it.
    int orderAt(float t) const;
    // Moves demo time to `t` from `counter` on, with `order` as the order the music reports
    // from now on. Remembering it as lastOrder keeps the next frame's order synchronisation
    // from re-basing the clock to that order's start: a seek lands inside an order.
    void seek(float t, int order, int64_t counter) {
        restart(counter, t);
        lastOrder = order;
        demoTime = t;
    }
    // Stops time at its value at `counter`; resume() lets it run on from there at `counter`.
    // Neither does anything when already in that state.
    void pause(int64_t counter, int64_t frequency);
    void resume(int64_t counter);
    // Puts `envelope` in place of the synchronisation envelope and returns the one it replaces,
    // which the caller then owns (the reload's swap).
    ScalarTrack* replaceSyncEnvelope(ScalarTrack* envelope) {
        ScalarTrack* previous = syncEnvelope;
        syncEnvelope = envelope;
        return previous;
    }
    // Back to a fresh process's clock (the envelope is not owned).
    void reset() { *this = DemoClock{}; }
};
extern DemoClock demoClock;

// Checks the synchronisation envelope read from `fileName` before the clock relies on it. Every
// key time must be a finite number and no key may start before the key above it: a NaN time
// would make demo time NaN, so the demo's end would never come, and a time that goes backwards
// means a damaged table. Either is fatal with the file's name, the key and what is wrong.
// Keys that start after `demoEnd` are accepted: reaching that order ends the demo. When that
// cuts the demo short (the order before starts well ahead of the end), it is said once on the
// debug channel. Returns 1 when it was said, else 0.
int checkSyncEnvelope(const ScalarTrack& track, const char* fileName, float demoEnd);

// The clock's fields under their process-wide names, to read: only the clock's operations
// write them.
extern const int64_t& clockStart;
extern const float& timeOffset;
extern const float& demoTime;
extern const int& lastOrder;
extern ScalarTrack* const& syncEnvelope;
