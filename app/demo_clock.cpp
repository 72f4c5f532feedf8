// demo_clock.cpp - order-to-time synchronisation and demo time from counter ticks.
#include "app/demo_clock.h"

#include "scene/track.h"

DemoClock demoClock;

int64_t& clockStart = demoClock.clockStart;
float& timeOffset = demoClock.timeOffset;
float& demoTime = demoClock.demoTime;
int& lastOrder = demoClock.lastOrder;
ScalarTrack*& syncEnvelope = demoClock.syncEnvelope;

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
