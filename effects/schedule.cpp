// schedule.cpp - the demo's parts and their intervals in demo seconds. Rows are added here as
// their effects are built; until then the timeline is empty.
#include "effects/schedule.h"

#include "timeline/timeline.h"

void buildSchedule(Timeline& timeline, int& scheduleReady) {
    (void)timeline;
    scheduleReady = 1;
}
