// test_timeline_rows.cpp - the names the tools give the timeline's rows: read from each part's
// own class, numbered in drawing order, and active by the same closed interval the timeline
// renders with.
#include <gtest/gtest.h>

#include "timeline/part.h"
#include "timeline/timeline.h"
#include "tools/common/timeline_rows.h"

namespace {

struct BoxicalPart : Part {};
struct Energy : Part {}; // no "Part" ending to remove
namespace inner {
struct TunnelPart : Part {};
} // namespace inner

} // namespace

TEST(TimelineRows, NamesComeFromThePartsClasses) {
    BoxicalPart boxical;
    Energy energy;
    inner::TunnelPart tunnel;
    Part plain;
    Timeline timeline;
    for (Part* p : {static_cast<Part*>(&boxical), static_cast<Part*>(&energy),
                    static_cast<Part*>(&tunnel), &plain}) {
        timeline.append(p); // held as Part*: the name is the object's class, not the pointer's
    }
    EXPECT_EQ(timeline.rowName(1), "Boxical");
    EXPECT_EQ(timeline.rowName(2), "Energy");
    EXPECT_EQ(timeline.rowName(3), "Tunnel");
    EXPECT_EQ(timeline.rowName(4), "Part");
    EXPECT_EQ(timeline.rowName(5), "");
}

TEST(TimelineRows, ActiveRowsUseTheClosedIntervalInDrawingOrder) {
    BoxicalPart a;
    a.start = 10;
    a.end = 20;
    inner::TunnelPart b;
    b.start = 20;
    b.end = 30;
    Timeline timeline;
    timeline.append(&a);
    timeline.append(&b);
    EXPECT_EQ(describeRows(activeRows(timeline, 9.99f)), "-");
    EXPECT_EQ(describeRows(activeRows(timeline, 10.0f)), "1 Boxical");
    EXPECT_EQ(describeRows(activeRows(timeline, 20.0f)), "1 Boxical, 2 Tunnel");
    const std::vector<TimelineRow> late = activeRows(timeline, 25.0f);
    ASSERT_EQ(late.size(), 1u);
    EXPECT_EQ(late[0].row, 2);
    EXPECT_EQ(describeRows(activeRows(timeline, 30.01f)), "-");
    timeline.releaseArray();
}
