// demo_clock.cpp - order-to-time synchronisation and demo time from counter ticks.
#include "app/demo_clock.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "gfx/debug_channel.h"
#include "platform/fatal.h"
#include "platform/platform.h"
#include "scene/track.h"

DemoClock demoClock;

const int64_t& clockStart = demoClock.clockStart;
const float& timeOffset = demoClock.timeOffset;
const float& demoTime = demoClock.demoTime;
const int& lastOrder = demoClock.lastOrder;
ScalarTrack* const& syncEnvelope = demoClock.syncEnvelope;

float DemoClock::orderTime(int order) const {
    const int last = syncEnvelope->lastIndex;
    const int key = order < 0 ? 0 : (order < last ? order : last);
    return syncEnvelope->keys[key].time;
}

bool DemoClock::followOrder(int order, int64_t counter) {
    if (order == lastOrder) {
        return false;
    }
    syncToOrder(order, counter);
    lastOrder = order;
    return true;
}

float DemoClock::timeAt(int64_t counter, int64_t frequency) const {
    if (paused) {
        return timeOffset;
    }
    return static_cast<float>(static_cast<double>(counter - clockStart) * 1000.0 /
                                  static_cast<double>(frequency) * 0.001 +
                              static_cast<double>(timeOffset));
}

float DemoClock::update(int64_t counter, int64_t frequency) {
    demoTime = timeAt(counter, frequency);
    return demoTime;
}

int checkSyncEnvelope(const ScalarTrack& track, const char* fileName, float demoEnd) {
    for (int i = 0; i < track.keyCount; ++i) {
        const float t = track.keys[i].time;
        if (!std::isfinite(t)) {
            sys::fatalf("file error",
                        "The synchronisation envelope \"%s\" is damaged: key %d (music order %d) "
                        "has the time %f;\nevery key time must be a finite number of seconds.",
                        fileName, i, i, static_cast<double>(t));
        }
        if (i > 0 && t < track.keys[i - 1].time) {
            sys::fatalf("file error",
                        "The synchronisation envelope \"%s\" is damaged: key %d (music order %d) "
                        "starts at %g s, before key %d at %g s;\nthe key times must not "
                        "decrease.",
                        fileName, i, i, static_cast<double>(t), i - 1,
                        static_cast<double>(track.keys[i - 1].time));
        }
    }
    // Reaching an order whose key lies past the end ends the demo; the default data ends that
    // way, one order after the last pictures. It is worth a word only when it cuts the demo
    // short: when the order before starts more than two order lengths (the longest gap between
    // the keys before) ahead of the end.
    int first = 0;
    while (first < track.keyCount && track.keys[first].time <= demoEnd) {
        ++first;
    }
    if (first == track.keyCount) {
        return 0;
    }
    float longestGap = 0.0f;
    for (int i = 1; i < first; ++i) {
        longestGap = std::max(longestGap, track.keys[i].time - track.keys[i - 1].time);
    }
    if (first > 0 && track.keys[first - 1].time + 2.0f * longestGap >= demoEnd) {
        return 0;
    }
    char line[500];
    std::snprintf(line, sizeof line,
                  "%s: music order %d starts at %g s, past the demo's end at %g s; the demo ends "
                  "early, as soon as the music reaches that order\n",
                  fileName, first, static_cast<double>(track.keys[first].time),
                  static_cast<double>(demoEnd));
    debugPrint("%s", line);
    return 1;
}

int DemoClock::orderAt(float t) const {
    const int last = syncEnvelope->lastIndex;
    int order = 0;
    while (order < last && syncEnvelope->keys[order + 1].time <= t) {
        ++order;
    }
    return order;
}

void DemoClock::pause(int64_t counter, int64_t frequency) {
    if (paused) {
        return;
    }
    restart(counter, timeAt(counter, frequency));
    paused = true;
}

void DemoClock::resume(int64_t counter) {
    if (!paused) {
        return;
    }
    restart(counter, timeOffset);
    paused = false;
}
