// timeline.h - the ordered list of parts the frame loop runs.
//
// Parts render in insertion order, so a part appended later draws over earlier ones. The
// timeline does not own its parts; they live until the process ends.
#pragma once

class Part;

struct Timeline {
    Part** items = nullptr; // owned array of part pointers; null while empty
    int count = 0;
    int capacity = 0;

    // Adds a part at the end. The array starts with 16 slots and doubles when full.
    void append(Part* part);
    // Renders every part whose closed interval [start, end] holds demoTime, with
    // localTime = demoTime - start in single precision.
    void run(float demoTime);
    // Releases the array of pointers; the parts themselves are left alone.
    void releaseArray();
};
