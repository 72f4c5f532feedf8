// test_sample_roundtrip.cpp - compress-samples and restore-samples on XM modules written by
// others (Debian's heroes-sound-tracks and bomberclone-data, installed by scripts/setup): every
// restored 16-bit sample lines up with its original and is at least 25 dB clean, every other
// byte of the module comes back unchanged, and the restored module plays in libopenmpt.
#include <gtest/gtest.h>

#include <libopenmpt/libopenmpt.h>

#include <cmath>
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
