// test_timeline_rows.cpp - the names the tools give the timeline's rows: the names the parts
// give themselves, numbered in drawing order, and active by the same closed interval the timeline
// renders with.
#include <gtest/gtest.h>

#include "timeline/part.h"
#include "timeline/timeline.h"
#include "tools/common/timeline_rows.h"

namespace {

struct NamedBoxical : Part {
    const char* name() const override { return "Boxical"; }
};
struct NamedEnergy : Part {
    const char* name() const override { return "Energy"; }
};
namespace inner {
struct NamedTunnel : Part {
    const char* name() const override { return "Tunnel"; }
};
struct UnnamedTunnel : NamedTunnel {}; // takes the name of the part it is made from
} // namespace inner

} // namespace

TEST(TimelineRows, NamesAreThePartsOwn) {
    NamedBoxical boxical;
    NamedEnergy energy;
    inner::NamedTunnel tunnel;
    inner::UnnamedTunnel unnamed;
    Part plain;
    Timeline timeline;
    for (Part* p : {static_cast<Part*>(&boxical), static_cast<Part*>(&energy),
                    static_cast<Part*>(&tunnel), static_cast<Part*>(&unnamed), &plain}) {
        timeline.append(p); // held as Part*: the name is the object's, not the pointer's
    }
    EXPECT_EQ(timeline.rowName(1), "Boxical");
    EXPECT_EQ(timeline.rowName(2), "Energy");
    EXPECT_EQ(timeline.rowName(3), "Tunnel");
    EXPECT_EQ(timeline.rowName(4), "Tunnel");
    EXPECT_EQ(timeline.rowName(5), "Part");
    EXPECT_EQ(timeline.rowName(6), "");
    timeline.releaseArray();
}

TEST(TimelineRows, ActiveRowsUseTheClosedIntervalInDrawingOrder) {
    NamedBoxical a;
    a.start = 10;
    a.end = 20;
    inner::NamedTunnel b;
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
