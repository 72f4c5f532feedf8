// test_damaged_inputs.cpp - seeded mutations of a valid archive and of envelope text: every
// damaged input either loads or ends with a fatal report, never a crash or a read out of
// bounds (run it under the sanitizer build, `make asan`, to see the second).
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "resources/search_path.h"
#include "scene/track.h"
#include "test_support.h"
#include "tools/common/archive_writer.h"

using namespace testing_support;

TEST(DamagedInputs, MutatedArchivesLoadOrReportCleanly) {
    ScratchDir dir("mutate");
    WorkingDir cwd(dir.path);
    std::vector<ArchiveInput> entries;
    for (int i = 0; i < 12; ++i) {
        ArchiveInput e;
        e.name = "entry" + std::to_string(i) + (i % 3 == 0 ? ".jpg" : ".bin");
        e.data.assign(static_cast<size_t>(17 * i + 3), static_cast<unsigned char>(i));
        entries.push_back(e);
    }
    std::vector<unsigned char> good;
    std::string error;
    ASSERT_TRUE(buildArchive(entries, good, error));
    std::mt19937 rng(1977);
    int reported = 0, loaded = 0;
    for (int round = 0; round < 400; ++round) {
        std::vector<unsigned char> image = good;
        const int flips = 1 + static_cast<int>(rng() % 6);
        for (int f = 0; f < flips; ++f) {
            const size_t at =
                rng() % std::min<size_t>(image.size(), 28 * 12 + 120); // mostly the directory
            image[at] = static_cast<unsigned char>(rng());
        }
        if (round % 7 == 0) {
            image.resize(rng() % image.size());
        }
        writeFile(dir.file("tir.val"), image);
        ::testing::internal::CaptureStderr();
        const int code = exitCodeOf([&] {
            ArchiveSource source("tir.val");
            for (int i = 0; i < source.entryCount(); ++i) {
                if (LoadedFile* file = source.load(source.entry(i).name.c_str(), loadQuiet)) {
                    delete file;
                }
            }
        });
        const std::string err = ::testing::internal::GetCapturedStderr();
        if (code == -1000) {
            ++loaded;
        } else {
            ++reported;
            EXPECT_NE(code, 0);
            EXPECT_NE(err.find("FILE ERROR"), std::string::npos) << err;
        }
    }
    EXPECT_GT(reported, 100);
    EXPECT_GT(loaded, 0);
}

TEST(DamagedInputs, MutatedEnvelopeTextNeverGivesNaN) {
    const std::string good = "fade\nkey 0 value 0\nkey 1.5 value 1 0.2 0.1 -0.3\nkey 4 value 0.25\n"
                             "key 6 value 2 1 -1 1\nend\n";
    std::mt19937 rng(42);
    const char alphabet[] = "0123456789.-+e key value\n\t";
    for (int round = 0; round < 2000; ++round) {
        std::string text = good;
        for (int f = 0; f < 1 + static_cast<int>(rng() % 5); ++f) {
            text[rng() % text.size()] = alphabet[rng() % (sizeof alphabet - 1)];
        }
        ScalarTrack t;
        parseEnvelope(t, text.c_str());
        bool sane = true;
        for (int i = 0; i < t.keyCount; ++i) {
            sane &= std::isfinite(t.keys[i].time) && std::isfinite(t.keys[i].value);
        }
        if (!sane) {
            continue; // a huge number in the text is a number; nothing to judge
        }
        bool increasing = true;
        for (int i = 1; i < t.keyCount; ++i) {
            increasing &= t.keys[i].time >= t.keys[i - 1].time;
        }
        for (float time : {-1.0f, 0.0f, 0.7f, 1.5f, 3.0f, 5.9f, 100.0f}) {
            const float v = evaluate(t, time);
            if (increasing) {
                EXPECT_FALSE(std::isnan(v)) << text;
            }
        }
    }
}
