// test_timeline.cpp - intervals, drawing order and growth of the timeline.
#include <gtest/gtest.h>

#include <vector>

#include "timeline/part.h"
#include "timeline/timeline.h"

namespace {

struct Probe : Part {
    std::vector<std::pair<int, float>>* log;
    int id;
    Probe(std::vector<std::pair<int, float>>* log, int id, float s, float e) : log(log), id(id) {
        start = s;
        end = e;
    }
    void render(float localTime) override { log->push_back({id, localTime}); }
};

} // namespace

TEST(Timeline, IntervalIsClosedAtBothEndsAndLocalTimeCountsFromStart) {
    std::vector<std::pair<int, float>> log;
    Probe p(&log, 1, 10.0f, 20.0f);
    Timeline t;
    t.append(&p);
    for (float time : {9.99f, 10.0f, 15.5f, 20.0f, 20.01f}) {
        t.run(time);
    }
    ASSERT_EQ(log.size(), 3u);
    EXPECT_FLOAT_EQ(log[0].second, 0.0f);
    EXPECT_FLOAT_EQ(log[1].second, 5.5f);
    EXPECT_FLOAT_EQ(log[2].second, 10.0f);
    t.releaseArray();
}

TEST(Timeline, DefaultIntervalCoversTheWholeDemoAndTimeMayJumpBack) {
    Part base;
    EXPECT_EQ(base.start, 0.0f);
    EXPECT_EQ(base.end, 999999995904.0f);
    std::vector<std::pair<int, float>> log;
    Probe a(&log, 1, 0.0f, 5.0f), b(&log, 2, 3.0f, 8.0f);
    Timeline t;
    t.append(&a);
    t.append(&b);
    t.run(4.0f); // both, in insertion order
    t.run(7.0f); // only b
    t.run(1.0f); // back in time: a again, with no memory of having been active
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].first, 1);
    EXPECT_EQ(log[1].first, 2);
    EXPECT_EQ(log[2].first, 2);
    EXPECT_EQ(log[3].first, 1);
    EXPECT_FLOAT_EQ(log[3].second, 1.0f);
    t.releaseArray();
}

TEST(Timeline, GrowsFrom16To32To64KeepingOrder) {
    std::vector<std::pair<int, float>> log;
    std::vector<Probe> parts;
    parts.reserve(40);
    Timeline t;
    EXPECT_EQ(t.capacity, 0);
    EXPECT_EQ(t.items, nullptr);
    for (int i = 0; i < 40; ++i) {
        parts.emplace_back(&log, i, 0.0f, 1.0f);
    }
    for (int i = 0; i < 40; ++i) {
        t.append(&parts[static_cast<size_t>(i)]);
        const int expected = i < 16 ? 16 : (i < 32 ? 32 : 64);
        EXPECT_EQ(t.capacity, expected) << "after append " << i + 1;
    }
    t.run(0.5f);
    ASSERT_EQ(log.size(), 40u);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(log[static_cast<size_t>(i)].first, i);
    }
    t.releaseArray();
    EXPECT_EQ(t.count, 0);
}

// The array owns its storage: a move takes the storage along and leaves the source empty and
// usable, swapping parts exchanges whole lists and leaves each timeline's selection where it
// was, and the storage goes when the array does (the sanitizer build sees a leak or a double
// free here).
TEST(Timeline, StorageMovesWithTheArrayAndSwapsWhole) {
    std::vector<std::pair<int, float>> log;
    Probe a(&log, 1, 0.0f, 1.0f), b(&log, 2, 0.0f, 1.0f), c(&log, 3, 0.0f, 1.0f);
    Timeline first;
    for (int i = 0; i < 17; ++i) {
        first.append(&a);
    }
    Part* const* storage = first.items;
    Timeline moved(std::move(first));
    EXPECT_EQ(moved.items, storage);
    EXPECT_EQ(moved.count, 17);
    EXPECT_EQ(moved.capacity, 32);
    EXPECT_EQ(first.items, nullptr);
    EXPECT_EQ(first.count, 0);
    EXPECT_EQ(first.capacity, 0);
    first.append(&b); // a moved-from array starts again at 16 slots
    EXPECT_EQ(first.capacity, 16);

    Timeline other;
    other.append(&c);
    other.selection.rows = {false, true};
    moved.swapParts(other);
    EXPECT_EQ(moved.count, 1);
    EXPECT_EQ(moved.items[0], &c);
    EXPECT_EQ(other.count, 17);
    EXPECT_EQ(other.items, storage);
    EXPECT_TRUE(moved.selection.everything());
    EXPECT_FALSE(other.selection.everything());

    // A move assignment frees the storage it had and takes the other's, selection and all.
    moved = std::move(other);
    EXPECT_EQ(moved.items, storage);
    EXPECT_EQ(other.items, nullptr);
    moved.run(0.5f);
    EXPECT_EQ(log.size(), 1u) << "only row 1 is selected";
}
