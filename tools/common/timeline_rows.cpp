// timeline_rows.cpp - the rows on screen at a moment, with their names.
#include "tools/common/timeline_rows.h"

#include "timeline/part.h"
#include "timeline/timeline.h"

std::vector<TimelineRow> activeRows(const Timeline& timeline, float t) {
    std::vector<TimelineRow> rows;
    for (int i = 0; i < timeline.count; ++i) {
        const Part* part = timeline.items[i];
        // The same test the timeline makes before it renders a part.
        if (t <= part->end && t >= part->start && timeline.selection.includes(i + 1)) {
            rows.push_back({i + 1, timeline.rowName(i + 1)});
        }
    }
    return rows;
}

std::string describeRows(const std::vector<TimelineRow>& rows) {
    if (rows.empty()) {
        return "-";
    }
    std::string text;
    for (const TimelineRow& r : rows) {
        if (!text.empty()) {
            text += ", ";
        }
        text += std::to_string(r.row) + " " + r.name;
    }
    return text;
}
