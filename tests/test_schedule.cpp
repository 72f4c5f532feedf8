// test_schedule.cpp - the demo's composition: 22 rows in drawing order with their intervals,
// which rows are active at the moments where they meet, and a clean fatal end when memory runs
// out while the parts load.
#include <gtest/gtest.h>

#include <string>
#include <typeinfo>
#include <vector>

#include "app/application.h"
#include "effects/beginning.h"
#include "effects/bump.h"
#include "effects/schedule.h"
#include "effects/scene_playback.h"
#include "effect_test_support.h"
#include "platform/sanitizer.h"
#include "timeline/timeline.h"

using namespace testing_support;

namespace {

struct Schedule : EffectTest {
    Timeline timeline;
    int ready = 0;

    void SetUp() override {
        EffectTest::SetUp();
        if (!IsSkipped() && !HasFatalFailure()) {
            buildSchedule(timeline, ready);
        }
    }
    void TearDown() override {
        for (int i = 0; i < timeline.count; ++i) {
            delete timeline.items[i]; // before the context closes: some parts reset GL state
        }
        timeline.releaseArray();
        EffectTest::TearDown();
    }
    // The rows (from 1) whose closed interval holds t.
    std::vector<int> activeRows(float t) const {
        std::vector<int> rows;
        for (int i = 0; i < timeline.count; ++i) {
            if (t >= timeline.items[i]->start && t <= timeline.items[i]->end) {
                rows.push_back(i + 1);
            }
        }
        return rows;
    }
};

} // namespace

TEST_F(Schedule, TwentyTwoRowsInDrawingOrderThenReady) {
    ASSERT_EQ(timeline.count, 22);
    EXPECT_EQ(ready, 1);
    EXPECT_EQ(typeid(*timeline.items[0]), typeid(BeginningPart));
    EXPECT_EQ(typeid(*timeline.items[3]), typeid(BoxicalPart));
    EXPECT_EQ(typeid(*timeline.items[20]), typeid(BumpPart));
    EXPECT_EQ(typeid(*timeline.items[21]), typeid(EnergyPart));
    // Each row carries its own name, as the status line and the capture's labels show it.
    const char* const names[22] = {"Beginning",
                                   "DarkHorizon",
                                   "TitleSprites",
                                   "Boxical",
                                   "PictureTunnel",
                                   "Bubblebath",
                                   "IntroductionPoem",
                                   "BubbleTube",
                                   "Shite",
                                   "Panorama",
                                   "Spherical",
                                   "Boxical4",
                                   "Check",
                                   "Backdrop",
                                   "Dust",
                                   "Woah",
                                   "Credits",
                                   "Clock",
                                   "Faceted",
                                   "Tunnel",
                                   "Bump",
                                   "Energy"};
    for (int row = 1; row <= 22; ++row) {
        EXPECT_EQ(timeline.rowName(row), names[row - 1]) << "row " << row;
    }
    // Intervals given by reference arrive whole.
    EXPECT_FLOAT_EQ(timeline.items[7]->start, 18.341f);
    EXPECT_FLOAT_EQ(timeline.items[7]->end, 40.4f);
    EXPECT_FLOAT_EQ(timeline.items[19]->start, 155.44f);
    EXPECT_FLOAT_EQ(timeline.items[19]->end, 172.578f);
    EXPECT_FLOAT_EQ(timeline.items[20]->end, 185.035f);
}

TEST_F(Schedule, RowsMeetWhereTheCompositionSays) {
    EXPECT_EQ(activeRows(0.0f), (std::vector<int>{1, 3}));
    EXPECT_EQ(activeRows(9.861f), (std::vector<int>{1, 3}));
    EXPECT_EQ(activeRows(9.862f), (std::vector<int>{1, 2, 3}));
    // Three rows end and two begin at 69.753: both ends of an interval are inside it.
    EXPECT_EQ(activeRows(69.753f), (std::vector<int>{12, 13, 14, 15, 16}));
    EXPECT_EQ(activeRows(40.0f), (std::vector<int>{4, 5, 6, 8}));
    // The last row would run to 195 s: the end of the demo cuts it off, not its own end.
    EXPECT_GT(timeline.items[21]->end, demoLength);
    EXPECT_EQ(activeRows(demoLength), (std::vector<int>{22}));
}

TEST(ScheduleMemory, RunningOutOfMemoryWhileBuildingIsAClearFatalError) {
#if TIR_ADDRESS_SANITIZER
    GTEST_SKIP() << "the address sanitizer's allocator stops the process itself";
#else
    testing::internal::CaptureStderr();
    const int code = exitCodeOf([] {
        ScheduleMemoryGuard guard;
        volatile size_t huge = size_t(1) << 62;
        void* p = ::operator new(huge); // a call, not a new-expression: never elided
        ::operator delete(p);
    });
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, 1);
    EXPECT_NE(err.find("ran out of memory"), std::string::npos) << err;
    // Outside the guard the usual handler is back.
    EXPECT_EQ(std::get_new_handler(), nullptr);
#endif
}
