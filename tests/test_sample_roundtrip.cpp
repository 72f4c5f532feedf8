// test_sample_roundtrip.cpp - compress-samples and restore-samples on XM modules written by
// others (Debian's heroes-sound-tracks and bomberclone-data, installed by scripts/setup-tests):
// every restored 16-bit sample lines up with its original and is at least 25 dB clean, every
// other byte of the module comes back unchanged, and the restored module plays in libopenmpt.
#include <gtest/gtest.h>

#include <libopenmpt/libopenmpt.h>

#include <cmath>
#include <cstring>
#include <cstdlib>
#include <filesystem>

#include "test_support.h"
#include "tools/common/sample_compressor.h"
#include "tools/common/xm_module.h"

using namespace testing_support;

namespace {

const char* const debianModules[] = {
    "/usr/share/games/heroes/mod/heroes08.xm",
    "/usr/share/games/bomberclone/music/zb-tnt.xm",
    "/usr/share/games/bomberclone/music/slice_me_nice.xm",
    "/usr/share/games/bomberclone/music/cerror-bomberclone_numero_2.xm",
};

int run(const std::string& command) {
    return std::system((command + " > /dev/null 2>&1").c_str());
}

} // namespace

TEST(SampleRoundTrip, DebianModulesComeBackThroughTheCompanion) {
    const std::string tool = std::string(TIR_BIN_DIR) + "/tirtool";
    ScratchDir dir("roundtrip");
    int modules = 0, samples = 0;
    for (const char* path : debianModules) {
        if (!std::filesystem::exists(path)) {
            ADD_FAILURE() << path << " is missing: scripts/setup installs it";
            continue;
        }
        SCOPED_TRACE(path);
        const std::string zeroed = dir.file("zeroed.xm"), m3d = dir.file("m.m3d"),
                          restoredPath = dir.file("restored.xm");
        ASSERT_EQ(run(tool + " compress-samples " + path + " " + zeroed + " " + m3d), 0);
        ASSERT_EQ(run(tool + " restore-samples " + zeroed + " " + m3d + " " + restoredPath), 0);
        const auto original = readFile(path);
        const auto restored = readFile(restoredPath);
        ASSERT_EQ(restored.size(), original.size());

        XmModuleInfo info;
        std::string error;
        ASSERT_TRUE(parseXm(original.data(), original.size(), info, error)) << error;
        std::vector<bool> isRestored(original.size(), false);
        for (const XmSampleInfo& s : info.samples) {
            if (!s.sixteenBit) {
                continue;
            }
            const auto a = decodeXmSample(original.data(), s);
            const auto b = decodeXmSample(restored.data(), s);
            const double snr = snrDb(a, b, 1);
            const int lag = correlationLag(a, b, 16);
            EXPECT_GE(snr, 25.0) << "sample " << s.number;
            EXPECT_LE(std::abs(lag), 2) << "sample " << s.number;
            std::printf("%s sample %d: %zu values, SNR %.1f dB, lag %d\n",
                        std::filesystem::path(path).filename().c_str(), s.number, a.size(), snr,
                        lag);
            std::fill(isRestored.begin() + static_cast<long>(s.dataOffset),
                      isRestored.begin() + static_cast<long>(s.dataOffset + s.byteLength), true);
            ++samples;
        }
        for (size_t i = 0; i < original.size(); ++i) {
            if (!isRestored[i]) {
                ASSERT_EQ(restored[i], original[i]) << "byte " << i;
            }
        }

        // It plays: libopenmpt reads it and renders sound from its start.
        openmpt_module* m =
            openmpt_module_create_from_memory2(restored.data(), restored.size(), nullptr, nullptr,
                                               nullptr, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(m, nullptr);
        std::vector<float> pcm(2 * 44100 * 4);
        const size_t frames =
            openmpt_module_read_interleaved_float_stereo(m, 44100, pcm.size() / 2, pcm.data());
        openmpt_module_destroy(m);
        double energy = 0;
        for (size_t i = 0; i < 2 * frames; ++i) {
            energy += pcm[i] * pcm[i];
        }
        EXPECT_EQ(frames, pcm.size() / 2);
        EXPECT_GT(energy, 1.0);
        ++modules;
    }
    EXPECT_EQ(modules, 4);
    EXPECT_EQ(samples, 6);
}

TEST(SampleRoundTrip, ChosenSamplesOnlyAndBadListsRefused) {
    const std::string tool = std::string(TIR_BIN_DIR) + "/tirtool";
    ScratchDir dir("roundtrip-list");
    const char* path = debianModules[3]; // samples 1-3 are 16-bit
    if (!std::filesystem::exists(path)) {
        GTEST_FAIL() << path << " is missing: scripts/setup installs it";
    }
    const std::string out = dir.file("z.xm") + " " + dir.file("z.m3d");
    ASSERT_EQ(run(tool + " compress-samples " + path + " " + out + " --samples 2"), 0);
    const auto companion = readFile(dir.file("z.m3d"));
    ASSERT_FALSE(companion.empty());
    EXPECT_EQ(companion[0], 1); // one record
    EXPECT_NE(run(tool + " compress-samples " + path + " " + out + " --samples 2-x"), 0);
    EXPECT_NE(run(tool + " compress-samples " + path + " " + out + " --samples 99"), 0);
}

// tirtool decode writes the decoder's whole output as 16-bit PCM: every frame, delays included.
TEST(SampleRoundTrip, DecodeWritesTheWholeStreamAsWav) {
    ScratchDir dir("decode");
    std::vector<int16_t> tone(5000);
    for (size_t i = 0; i < tone.size(); ++i) {
        tone[i] = static_cast<int16_t>(10000 * std::sin(0.03 * static_cast<double>(i)));
    }
    std::vector<unsigned char> stream;
    std::string error;
    ASSERT_TRUE(encodeSampleStream(tone, CompressOptions{}, stream, error)) << error;
    writeFile(dir.file("s.mp3"), stream);
    const std::string tool = std::string(TIR_BIN_DIR) + "/tirtool";
    ASSERT_EQ(run(tool + " decode " + dir.file("s.mp3") + " " + dir.file("s.wav")), 0);
    const auto wav = readFile(dir.file("s.wav"));
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(wav[22] | wav[23] << 8, 1);                     // mono
    EXPECT_EQ(wav[24] | wav[25] << 8 | wav[26] << 16, 44100); // rate
    const size_t values = (wav.size() - 44) / 2;
    EXPECT_EQ(values % 1152, 0u);
    // The encoder was fed 1152 - delay silent values first: the tone starts at value 1152, at
    // the restore's scale of 12800 per full-scale unit (32768 here).
    std::vector<int16_t> pcm(values), back;
    std::memcpy(pcm.data(), wav.data() + 44, values * 2);
    for (size_t i = 0; i < tone.size(); ++i) {
        back.push_back(static_cast<int16_t>(std::lround(pcm[1152 + i] * 12800.0 / 32768.0)));
    }
    EXPECT_GT(snrDb(tone, back, 1), 25.0);
    EXPECT_EQ(correlationLag(tone, back, 16), 0);
}
