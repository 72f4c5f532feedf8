// timeline_rows.h - names for the timeline's rows, for tools that report what is on screen
// (the capture's contact sheet and frame log, the benchmarks' slowest seconds).
//
// A row is a part's position in the timeline, counted from 1 in drawing order; its name is the
// part's own name (Timeline::rowName), so the schedule needs no table of names beside it.
#pragma once

#include <string>
#include <vector>

struct Timeline;

struct TimelineRow {
    int row = 0;      // 1-based position in the timeline
    std::string name; // "Boxical" for a BoxicalPart
};

// The rows whose closed interval holds demo time t and that the timeline's selection draws, in
// drawing order, named by Timeline::rowName.
std::vector<TimelineRow> activeRows(const Timeline& timeline, float t);
// "4 Boxical, 5 PictureTunnel": the rows joined for a label; "-" when there are none.
std::string describeRows(const std::vector<TimelineRow>& rows);
