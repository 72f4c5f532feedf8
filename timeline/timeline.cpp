// timeline.cpp - running every active part, and the rows' names.
#include "timeline/timeline.h"

#include "timeline/part.h"

void Timeline::run(float demoTime) {
    // count is re-read every step, as a part may be appended while the timeline runs.
    for (int i = 0; i < count; ++i) {
        Part* part = items[i];
        if (demoTime <= part->end && demoTime >= part->start && selection.includes(i + 1)) {
            part->render(demoTime - part->start);
        }
    }
}

std::string Timeline::rowName(int row) const {
    if (row < 1 || row > count) {
        return "";
    }
    return items[row - 1]->name();
}
