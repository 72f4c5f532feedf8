// timeline.cpp - running every active part, and the rows' names.
#include "timeline/timeline.h"

#include <cxxabi.h>

#include <cstdlib>
#include <typeinfo>

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
    const Part& part = *items[row - 1];
    const char* mangled = typeid(part).name();
    int status = 0;
    char* plain = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = status == 0 && plain ? plain : mangled;
    std::free(plain);
    const size_t colon = name.rfind("::"); // a class inside a namespace keeps its own name
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
