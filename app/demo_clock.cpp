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

float DemoClock::update(int64_t counter, int64_t frequency) {
    demoTime = static_cast<float>(static_cast<double>(counter - clockStart) * 1000.0 /
                                      static_cast<double>(frequency) * 0.001 +
                                  static_cast<double>(timeOffset));
    return demoTime;
}
