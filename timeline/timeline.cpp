// timeline.cpp - appending parts and running every active one.
#include "timeline/timeline.h"

#include <cstdlib>
#include <cstring>

#include "platform/fatal.h"
#include "timeline/part.h"

void Timeline::append(Part* part) {
    if (count == capacity) {
        const int grown = capacity == 0 ? 16 : capacity * 2;
        auto** array = static_cast<Part**>(std::malloc(sizeof(Part*) * static_cast<size_t>(grown)));
        if (!array) {
            sys::fatal("out of memory", "The demo schedule could not grow its list of parts.");
        }
        if (count > 0) {
            std::memcpy(array, items, sizeof(Part*) * static_cast<size_t>(count));
        }
        std::free(items);
        items = array;
        capacity = grown;
    }
    items[count++] = part;
}

void Timeline::run(float demoTime) {
    // count is re-read every step, as a part may be appended while the timeline runs.
    for (int i = 0; i < count; ++i) {
        Part* part = items[i];
        if (demoTime <= part->end && demoTime >= part->start) {
            part->render(demoTime - part->start);
        }
    }
}

void Timeline::releaseArray() {
    std::free(items);
    items = nullptr;
    count = 0;
    capacity = 0;
}
