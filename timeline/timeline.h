// timeline.h - the ordered list of parts the frame loop runs.
//
// Parts render in insertion order, so a part appended later draws over earlier ones. The
// timeline does not own its parts; they live until the process ends.
#pragma once

#include "platform/growable_array.h"

class Part;

// items / count / capacity are the parts in insertion order; append() adds one at the end.
struct Timeline : GrowableArray<Part*> {
    // Renders every part whose closed interval [start, end] holds demoTime, with
    // localTime = demoTime - start in single precision.
    void run(float demoTime);
    // Releases the array of pointers; the parts themselves are left alone.
    void releaseArray() { release(); }
};
