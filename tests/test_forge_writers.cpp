// test_forge_writers.cpp - the generator's shared writers: envelope text read back by the
// program's own envelope reader, JPEG images decoded back by the program's loader, and the
// list of file names the demo loads.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "resources/search_path.h"
#include "resources/textures.h"
#include "scene/track.h"
#include "test_support.h"
#include "tools/common/data_manifest.h"
#include "tools/common/envelope_writer.h"
#include "tools/common/jpeg_writer.h"

using namespace testing_support;

TEST(EnvelopeWriter, TextReadsBackAsTheSameKeys) {
    using envfile::key;
    const std::vector<envfile::Key> keys = {key(0, 0), key(0.1f, 1.0f / 3.0f, 0.5f, -0.25f, 1),
                                            key(69.753f, -12345.678f), key(186.5f, 1e-7f, 0, 0, 0)};
    const std::string text = envfile::scalarEnvelopeText("pulse", keys);
    EXPECT_EQ(text.rfind("pulse\n", 0), 0u);
    EXPECT_NE(text.find("\nend envelope\n"), std::string::npos);
    ScalarTrack track;
    parseEnvelope(track, text.c_str());
    ASSERT_EQ(track.keyCount, 4);
    EXPECT_STREQ(track.name, "pulse");
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(track.keys[i].time,
                  keys[static_cast<size_t>(i)].time); // exact: "%.9g" round-trips
        EXPECT_EQ(track.keys[i].value, keys[static_cast<size_t>(i)].value[0]);
        EXPECT_EQ(track.keys[i].tension, keys[static_cast<size_t>(i)].tension);
        EXPECT_EQ(track.keys[i].continuity, keys[static_cast<size_t>(i)].continuity);
        EXPECT_EQ(track.keys[i].bias, keys[static_cast<size_t>(i)].bias);
    }

    using envfile::vectorKey;
    const std::vector<envfile::Key> path = {vectorKey(0, 1, 2, 3),
                                            vectorKey(5, -4, 5.5f, -6, 0.3f, 0, -0.2f)};
    VectorTrack vector;
    parseVectorEnvelope(vector, envfile::vectorEnvelopeText("path", path).c_str());
    ASSERT_EQ(vector.keyCount, 2);
    EXPECT_EQ(vector.keys[1].value[1], 5.5f);
    EXPECT_EQ(vector.keys[1].tension, 0.3f);
    EXPECT_EQ(vector.keys[1].bias, -0.2f);
    EXPECT_EQ(vector.keys[0].tension, 0.0f);
}

TEST(JpegWriter, EncodesWhatTheLoaderDecodes) {
    const int w = 64, h = 32;
    std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            unsigned char* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
            p[0] = static_cast<unsigned char>(x * 4);
            p[1] = static_cast<unsigned char>(y * 8);
            p[2] = 128;
        }
    }
    std::vector<unsigned char> jpeg, again;
    std::string error;
    ASSERT_TRUE(encodeJpeg(w, h, rgb, 95, jpeg, error)) << error;
    ASSERT_TRUE(encodeJpeg(w, h, rgb, 95, again, error)) << error;
    EXPECT_EQ(jpeg, again); // the same pixels give the same bytes

    ScratchDir dir("jpegwriter");
    writeFile(dir.file("ramp.jpg"), jpeg);
    searchPath.clear();
    DirectorySource source((dir.path.string() + "/").c_str());
    searchPath.add(&source);
    Image* image = decodeJpeg("ramp.jpg");
    searchPath.clear();
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->width, static_cast<uint32_t>(w));
    ASSERT_EQ(image->height, static_cast<uint32_t>(h));
    double worst = 0;
    for (size_t i = 0; i < rgb.size(); ++i) {
        worst = std::max(worst, std::fabs(static_cast<double>(image->pixels[i]) - rgb[i]));
    }
    EXPECT_LT(worst, 24.0);
    delete image;

    EXPECT_FALSE(encodeJpeg(w, h, std::vector<unsigned char>(10), 90, jpeg, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(encodeJpeg(0, h, {}, 90, jpeg, error));
}

TEST(DataManifest, NamesEveryRowOnceIgnoringCase) {
    const std::vector<std::string> names = manifest::distinctNames();
    std::set<std::string> lower;
    for (std::string n : names) {
        for (char& c : n) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        EXPECT_TRUE(lower.insert(n).second) << n;
        EXPECT_LT(n.size(), 32u) << n; // fits the program's 32-byte name fields
    }
    // The tunnel's and the faceted part's spellings of one envelope are one file.
    EXPECT_TRUE(lower.count("napierdalanie2.env"));
    EXPECT_EQ(std::count(names.begin(), names.end(), "Napierdalanie2.env"), 0);
    EXPECT_EQ(manifest::namesOfKind(manifest::FileKind::Scene).size(), 16u);
    std::set<std::string> loaders;
    for (const manifest::DataFile& f : manifest::demoFiles()) {
        loaders.insert(f.loadedBy);
    }
    EXPECT_EQ(loaders.size(), 23u); // the 22 parts and the application
}
