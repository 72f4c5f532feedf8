// test_forge_music.cpp - the generated module: restored through the program's own companion
// path it plays in libopenmpt with every order starting at its "mystified.env" time and the
// section starts on the schedule's boundaries, it is never silent, it is a stereo mix, and two
// players that someone else wrote play it from start to end.
#include <gtest/gtest.h>

#include <libopenmpt/libopenmpt.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "forge_test_support.h"
#include "music/companion.h"
#include "scene/track.h"
#include "tools/common/xm_module.h"

using namespace testing_support;

namespace {

struct ForgedMusic : ForgedData {
    std::vector<unsigned char> stored, restored, companion;

    void SetUp() override {
        ForgedData::SetUp();
        if (IsSkipped()) {
            return;
        }
        stored = entry("mystified.xm");
        companion = entry("mystified.m3d");
        ASSERT_FALSE(stored.empty());
        ASSERT_FALSE(companion.empty());
        restored = stored;
        ASSERT_GE(restoreSamplesInto(restored.data(), restored.size(), companion.data(),
                                     companion.size()),
                  2);
    }

    std::vector<float> orderTimes() {
        ScalarTrack sync;
        parseEnvelope(sync, text("mystified.env").c_str());
        std::vector<float> times;
        for (int i = 0; i < sync.keyCount; ++i) {
            EXPECT_EQ(sync.keys[i].value, static_cast<float>(i));
            times.push_back(sync.keys[i].time);
        }
        return times;
    }
};

} // namespace

TEST_F(ForgedMusic, CompanionRestoresZeroedSamples) {
    XmModuleInfo before, after;
    std::string error;
    ASSERT_TRUE(parseXm(stored.data(), stored.size(), before, error)) << error;
    ASSERT_TRUE(parseXm(restored.data(), restored.size(), after, error)) << error;
    int zeroedThenRestored = 0;
    for (size_t i = 0; i < before.samples.size(); ++i) {
        const std::vector<int16_t> a = decodeXmSample(stored.data(), before.samples[i]);
        const std::vector<int16_t> b = decodeXmSample(restored.data(), after.samples[i]);
        const bool silent = std::all_of(a.begin(), a.end(), [](int16_t v) { return v == 0; });
        int peak = 0;
        for (int16_t v : b) {
            peak = std::max(peak, std::abs(static_cast<int>(v)));
        }
        if (silent) {
            EXPECT_TRUE(before.samples[i].sixteenBit);
            EXPECT_GT(peak, 8000) << before.samples[i].name;
            ++zeroedThenRestored;
        } else {
            EXPECT_EQ(a, b) << before.samples[i].name; // samples not in the companion are kept
        }
        EXPECT_LT(peak, 32000) << before.samples[i].name;
    }
    EXPECT_GE(zeroedThenRestored, 2);
}

namespace {

// One render of the whole restored module, shared by the tests that listen to it.
struct ModuleRender {
    static constexpr int rate = 48000;
    int orders = 0;
    double duration = 0;
    std::vector<double> firstHeard; // seconds at which each order is first heard
    std::vector<double> energy;     // sum of squares over each second, both channels
    double leftSquares = 0, rightSquares = 0, leftTimesRight = 0;
};

const ModuleRender& renderOnce(const std::vector<unsigned char>& restored) {
    static ModuleRender r;
    static bool made = false;
    if (made) {
        return r;
    }
    made = true;
    openmpt_module* m =
        openmpt_module_create_from_memory2(restored.data(), restored.size(), nullptr, nullptr,
                                           nullptr, nullptr, nullptr, nullptr, nullptr);
    if (!m) {
        return r;
    }
    r.orders = openmpt_module_get_num_orders(m);
    r.duration = openmpt_module_get_duration_seconds(m);
    // Blocks of 16 frames (1/3 ms), noting where each order is first heard.
    const int block = 16;
    std::vector<float> buffer(2 * block);
    r.firstHeard.assign(static_cast<size_t>(r.orders), -1.0);
    r.energy.assign(200, 0.0);
    int64_t frames = 0;
    for (;;) {
        const int32_t order = openmpt_module_get_current_order(m);
        if (order >= 0 && order < r.orders && r.firstHeard[static_cast<size_t>(order)] < 0) {
            r.firstHeard[static_cast<size_t>(order)] = static_cast<double>(frames) / r.rate;
        }
        const size_t got =
            openmpt_module_read_interleaved_float_stereo(m, r.rate, block, buffer.data());
        if (got == 0) {
            break;
        }
        for (size_t i = 0; i < got; ++i) {
            const double left = buffer[2 * i], right = buffer[2 * i + 1];
            r.energy[static_cast<size_t>(frames / r.rate) % r.energy.size()] +=
                left * left + right * right;
            r.leftSquares += left * left;
            r.rightSquares += right * right;
            r.leftTimesRight += left * right;
            ++frames;
        }
    }
    openmpt_module_destroy(m);
    return r;
}

// FNV-1a of a text, for fingerprints that a test compares with a stored value.
uint64_t fingerprint(const std::string& text) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : text) {
        h = (h ^ c) * 1099511628211ull;
    }
    return h;
}

} // namespace

TEST_F(ForgedMusic, OrdersStartAtTheirEnvelopeTimes) {
    const std::vector<float> keys = orderTimes();
    const ModuleRender& r = renderOnce(restored);
    const int orders = r.orders;
    ASSERT_EQ(orders, static_cast<int>(keys.size()));
    EXPECT_GT(r.duration, 187.0);
    const std::vector<double>& firstHeard = r.firstHeard;
    const std::vector<double>& energy = r.energy;
    const int rate = r.rate;
    for (int i = 0; i < orders; ++i) {
        EXPECT_NEAR(firstHeard[static_cast<size_t>(i)], keys[static_cast<size_t>(i)], 0.001)
            << "order " << i;
    }
    for (int s = 0; s < 187; ++s) {
        EXPECT_GT(std::sqrt(energy[static_cast<size_t>(s)] / (2.0 * rate)), 0.005)
            << "second " << s;
    }

    // Each of the schedule's main boundaries has an order starting within one row of it.
    for (double boundary : {22.0, 35.5, 44.4, 58.9, 69.753, 104.0, 138.302, 155.44, 172.0}) {
        double nearest = 1e9;
        size_t at = 0;
        for (size_t i = 0; i < keys.size(); ++i) {
            if (std::fabs(keys[i] - boundary) < std::fabs(nearest - boundary)) {
                nearest = keys[i];
                at = i;
            }
        }
        ASSERT_GT(at, 0u);
        ASSERT_LT(at + 1, keys.size());
        // A row is at most the shorter of the two neighbouring orders' row lengths: orders
        // hold at least 8 rows, so a sixteenth of the shortest neighbouring order is a bound.
        const double row = std::min(keys[at] - keys[at - 1], keys[at + 1] - keys[at]) / 8.0;
        EXPECT_LT(std::fabs(nearest - boundary), std::min(row, 0.125)) << boundary;
    }
}

// The mix is stereo: instruments and voices sit at different places between the speakers, so
// over the whole song the two channels are clearly less than fully correlated, and neither side
// is starved.
TEST_F(ForgedMusic, MixIsStereo) {
    const ModuleRender& r = renderOnce(restored);
    ASSERT_GT(r.leftSquares, 0.0);
    ASSERT_GT(r.rightSquares, 0.0);
    const double correlation = r.leftTimesRight / std::sqrt(r.leftSquares * r.rightSquares);
    std::printf("left/right correlation over the song: %.3f, balance L/R %.3f\n", correlation,
                std::sqrt(r.leftSquares / r.rightSquares));
    EXPECT_LT(correlation, 0.95);
    EXPECT_GT(correlation, 0.3); // still one production, not two unrelated tracks
    EXPECT_NEAR(std::sqrt(r.leftSquares / r.rightSquares), 1.0, 0.2);
}

// The order timing is the demo's synchronisation: "mystified.env" must stay exactly what the
// schedule was laid out against. A change to the module that moves an order shows here first.
TEST_F(ForgedMusic, OrderTimingIsUnchanged) {
    const std::string envelope = text("mystified.env");
    EXPECT_EQ(orderTimes().size(), 53u);
    EXPECT_EQ(fingerprint(envelope), 0x9479da1b3873806cull) << envelope;
}

TEST_F(ForgedMusic, OtherPlayersPlayItToTheEnd) {
    const std::string module = dir->file("restored.xm");
    writeFile(module, restored);
    struct Player {
        const char* name;
        std::string command;
        std::string wav;
        int bytesPerSecond;
    };
    const std::string out1 = dir->file("openmpt.wav"), out2 = dir->file("xmp.wav");
    const Player players[] = {
        {"openmpt123",
         "openmpt123 --batch --quiet --force --no-float -o '" + out1 + "' '" + module + "'", out1,
         48000 * 4},
        {"xmp", "xmp -q -d wav -o '" + out2 + "' '" + module + "'", out2, 44100 * 4},
    };
    for (const Player& p : players) {
        SCOPED_TRACE(p.name);
        if (std::system((std::string("command -v ") + p.name + " > /dev/null 2>&1").c_str()) != 0) {
            ADD_FAILURE() << p.name << " is not installed (scripts/setup installs it)";
            continue;
        }
        const std::string log = dir->file(std::string(p.name) + ".log");
        const int status = std::system((p.command + " > '" + log + "' 2>&1").c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << readFileText(log);
        const std::string messages = readFileText(log);
        EXPECT_EQ(messages.find("rror"), std::string::npos) << messages;
        const double seconds =
            static_cast<double>(std::filesystem::file_size(p.wav)) / p.bytesPerSecond;
        EXPECT_GT(seconds, 187.0);
        EXPECT_LT(seconds, 200.0);
    }
}
