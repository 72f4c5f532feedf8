// timeline.cpp - running every active part.
#include "timeline/timeline.h"

#include "timeline/part.h"

void Timeline::run(float demoTime) {
    // count is re-read every step, as a part may be appended while the timeline runs.
    for (int i = 0; i < count; ++i) {
        Part* part = items[i];
        if (demoTime <= part->end && demoTime >= part->start) {
            part->render(demoTime - part->start);
        }
    }
}
