// timeline_rows.cpp - row names from the parts' dynamic types.
#include "tools/common/timeline_rows.h"

#include <cxxabi.h>

#include <cstdlib>
#include <typeinfo>

#include "timeline/part.h"
#include "timeline/timeline.h"

std::string partName(const Part& part) {
    const char* mangled = typeid(part).name();
    int status = 0;
    char* plain = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = status == 0 && plain ? plain : mangled;
    std::free(plain);
    // Classes in a namespace keep only their own name.
    const size_t colon = name.rfind("::");
    if (colon != std::string::npos) {
        name.erase(0, colon + 2);
    }
    const std::string ending = "Part";
    if (name.size() > ending.size() &&
        name.compare(name.size() - ending.size(), ending.size(), ending) == 0) {
        name.resize(name.size() - ending.size());
    }
    return name;
}

std::vector<TimelineRow> activeRows(const Timeline& timeline, float t) {
    std::vector<TimelineRow> rows;
    for (int i = 0; i < timeline.count; ++i) {
        const Part* part = timeline.items[i];
        // The same test the timeline makes before it renders a part.
        if (t <= part->end && t >= part->start) {
            rows.push_back({i + 1, partName(*part)});
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
