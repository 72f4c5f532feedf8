// test_companion.cpp - restoring module samples from a companion: the output routine's gain and
// clipping, which decoded frames fill which bytes, delta coding, the stream table and the
// older form's file names, and records that must be skipped without touching the image.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "music/companion.h"
#include "music/layer3.h"
#include "test_support.h"
#include "tools/common/sample_compressor.h"

using namespace testing_support;

namespace {

std::vector<int16_t> sweep(int n) {
    std::vector<int16_t> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        v[static_cast<size_t>(i)] =
            static_cast<int16_t>(18000 * std::sin(0.002 * i * i / 40.0 + 0.05 * i));
    }
    return v;
}

std::vector<unsigned char> encode(const std::vector<int16_t>& values) {
    std::vector<unsigned char> stream;
    std::string error;
    EXPECT_TRUE(encodeSampleStream(values, CompressOptions{}, stream, error)) << error;
    return stream;
}

// Every frame of `stream` through writeSamples, as 16-bit values.
std::vector<int16_t> decodeAll(const std::vector<unsigned char>& stream) {
    std::vector<int16_t> out;
    initDecoderTables();
    Decoder* d = openDecoderMemory(stream.data(), stream.size());
    EXPECT_NE(d, nullptr);
    setOutputRoutine(&writeSamples);
    for (;;) {
        outputCursor = reinterpret_cast<int16_t*>(frameBuffer);
        if (decodeFrame(d) == -1) {
            break;
        }
        out.insert(out.end(), reinterpret_cast<int16_t*>(frameBuffer), outputCursor);
    }
    closeDecoder(d);
    return out;
}

// The plain values of n 16-bit delta-coded samples at `at`.
std::vector<int16_t> integrate(const unsigned char* at, int n) {
    std::vector<int16_t> v;
    uint16_t acc = 0;
    for (int i = 0; i < n; ++i) {
        uint16_t d;
        std::memcpy(&d, at + 2 * i, 2);
        acc = static_cast<uint16_t>(acc + d);
        v.push_back(static_cast<int16_t>(acc));
    }
    return v;
}

void putRecord(std::vector<unsigned char>& c, int k, uint8_t first, int32_t length,
               uint32_t offset) {
    unsigned char* r = &c[1 + 10 * static_cast<size_t>(k)];
    r[0] = first;
    std::memcpy(r + 1, &length, 4);
    std::memcpy(r + 5, &offset, 4);
}

} // namespace

TEST(Companion, OutputRoutineGainClipAndStereoAverage) {
    outputGain = 0.4f;
    const float mono[] = {2.5f, -2.5f, 1.0f, 2.4f, -1e-5f, 3.0f, -0.5f};
    outputCursor = reinterpret_cast<int16_t*>(frameBuffer);
    writeSamples(7, mono, nullptr);
    const auto* s = reinterpret_cast<const int16_t*>(frameBuffer);
    EXPECT_EQ(outputCursor, s + 7);
    EXPECT_EQ(s[0], 32000);
    EXPECT_EQ(s[1], -32000);
    EXPECT_EQ(s[2], 12800);
    EXPECT_EQ(s[3], 30720);
    EXPECT_EQ(s[4], 0); // truncated toward zero
    EXPECT_EQ(s[5], 32000);
    EXPECT_EQ(s[6], -6400);

    // Stereo: the average of the two clipped channels, truncated toward zero.
    const float left[] = {2.5f, 1.0f, 0.0f};
    const float right[] = {-0.1f, 3.0f, -1.0f / 12800};
    outputCursor = reinterpret_cast<int16_t*>(frameBuffer);
    writeSamples(3, left, right);
    EXPECT_EQ(s[0], (32000 - 1280) / 2);
    EXPECT_EQ(s[1], (12800 + 32000) / 2);
    EXPECT_EQ(s[2], 0);

    // A granule that would pass the end of the frame buffer stops at its end.
    std::vector<float> granule(576, 0.5f);
    outputCursor = reinterpret_cast<int16_t*>(frameBuffer) + 2304 - 100;
    writeSamples(576, granule.data(), nullptr);
    EXPECT_EQ(outputCursor, reinterpret_cast<int16_t*>(frameBuffer) + 2304);
}

// A record of L = 4,000 bytes: the first frame is discarded, the second fills bytes 0..2303, the
// third bytes 2304..3999, later frames nothing; the range is then delta-coded with its first
// value 0, and nothing outside it changes.
TEST(Companion, RecordFillsItsRangeFromTheSecondFrameAndIsDeltaCoded) {
    const auto stream = encode(sweep(6000));
    const std::vector<int16_t> decoded = decodeAll(stream);
    ASSERT_GE(decoded.size(), 1152u * 4);

    std::vector<unsigned char> image(8000, 0xEE);
    const auto companion = buildCompanion({{0, 4000, 1001}}, {stream});
    testing::internal::CaptureStdout();
    EXPECT_EQ(restoreSamplesInto(image.data(), image.size(), companion.data(), companion.size()),
              1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "done.\n");

    const std::vector<int16_t> restored = integrate(&image[1001], 2000);
    EXPECT_EQ(restored[0], 0);
    for (int i = 1; i < 2000; ++i) {
        ASSERT_EQ(restored[static_cast<size_t>(i)], decoded[1152 + static_cast<size_t>(i)])
            << "value " << i;
    }
    for (size_t i = 0; i < image.size(); ++i) {
        if (i < 1001 || i >= 5001) {
            ASSERT_EQ(image[i], 0xEE) << "byte " << i;
        }
    }
}

TEST(Companion, EmptyOrNegativeCountChangesNothing) {
    const auto stream = encode(sweep(2000));
    std::vector<unsigned char> image(5000, 0x11);
    for (int8_t count : {0, -3}) {
        auto companion = buildCompanion({{0, 2000, 0}}, {stream});
        companion[0] = static_cast<unsigned char>(count);
        EXPECT_EQ(
            restoreSamplesInto(image.data(), image.size(), companion.data(), companion.size()), 0);
    }
    EXPECT_EQ(image, std::vector<unsigned char>(5000, 0x11));
}

// Ranges outside the image, streams the table does not hold or that lie outside the companion,
// and record lists longer than the file are skipped with a message; the good record between
// them is still restored, and no byte outside it changes.
TEST(Companion, BadRecordsAreSkippedAndNeverWriteOutsideTheImage) {
    const auto stream = encode(sweep(3000));
    std::vector<unsigned char> image(3000, 0x5A);
    auto companion = buildCompanion({{0, 2304, 2000},
                                     {0, -2, 0},
                                     {0, 100, 0xFFFFFFF0u},
                                     {3, 200, 0},
                                     {0, 400, 100},
                                     {1, 200, 0}},
                                    {stream, {}});
    // Stream 1 claims bytes past the end of the companion.
    const size_t table = 1 + 6 * 10 + 8;
    const uint32_t huge = 0x7FFFFFFF;
    std::memcpy(&companion[table + 8 + 4], &huge, 4);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    EXPECT_EQ(restoreSamplesInto(image.data(), image.size(), companion.data(), companion.size()),
              1);
    testing::internal::GetCapturedStdout();
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("record 0: 2304 bytes at offset 2000 lie outside the module image"),
              std::string::npos)
        << errors;
    EXPECT_NE(errors.find("record 1: -2 bytes"), std::string::npos);
    EXPECT_NE(errors.find("record 2: 100 bytes at offset 4294967280"), std::string::npos);
    EXPECT_NE(errors.find("record 3 names stream 3, but the companion holds 2"), std::string::npos);
    EXPECT_NE(errors.find("record 5: stream 1 ("), std::string::npos) << errors;
    EXPECT_NE(errors.find("lies outside the companion"), std::string::npos) << errors;
    for (size_t i = 0; i < image.size(); ++i) {
        if (i < 100 || i >= 500) {
            ASSERT_EQ(image[i], 0x5A) << "byte " << i;
        }
    }

    // A count larger than the records the file holds (and no table: the names are garbage).
    std::vector<unsigned char> shortList(1 + 2 * 10 + 3, 0);
    shortList[0] = 5;
    putRecord(shortList, 0, 0xC8, 200, 10);
    putRecord(shortList, 1, 0xC9, 200, 10);
    testing::internal::CaptureStderr();
    EXPECT_EQ(restoreSamplesInto(image.data(), image.size(), shortList.data(), shortList.size()),
              0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("ends inside record 2 of 5"),
              std::string::npos);
}

// Without a stream table a record names its stream: the 12 bytes from its first byte, up to a
// zero, opened relative to the working directory. Here the name "s" ends at byteLength's low
// byte, which is 0 for a length of 0x900.
TEST(Companion, CompanionWithoutTableOpensNamedFiles) {
    ScratchDir dir("companion-names");
    const auto values = sweep(2400);
    const auto stream = encode(values);
    writeFile(dir.file("s"), stream);
    std::vector<unsigned char> companion(1 + 2 * 10, 0);
    companion[0] = 2;
    putRecord(companion, 0, 's', 0x900, 64);
    putRecord(companion, 1, 't', 0x900, 64); // no file "t"
    std::vector<unsigned char> image(64 + 0x900, 0);

    WorkingDir cwd(dir.path);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    EXPECT_EQ(restoreSamplesInto(image.data(), image.size(), companion.data(), companion.size()),
              1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "done.\n");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("stream file \"t\" cannot be opened"),
              std::string::npos);
    const auto restored = integrate(&image[64], 0x900 / 2);
    EXPECT_GT(snrDb(values, restored, 1), 25.0);
    EXPECT_EQ(correlationLag(values, restored, 16), 0);
}
