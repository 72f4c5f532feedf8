// test_bad_input.cpp - what every reader does with a bad file: truncated, oversized, the wrong
// magic, counts and indices out of range, a folder where a file belongs, an empty file. Each
// test backs rows of the table in docs/bad-input.md (named in the table's last column): the
// message the reader gives, and whether the program ends (exit status 1) or goes on.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>

#include "app/demo_clock.h"
#include "gl_recorder.h"
#include "music/companion.h"
#include "music/layer3.h"
#include "music/music_player.h"
#include "music_test_support.h"
#include "platform/fsound.h"
#include "scene_test_support.h"
#include "tools/common/archive_writer.h"
#include "tools/common/jpeg_writer.h"
#include "tools/common/sample_compressor.h"

using namespace testing_support;

namespace {

// What a run gave: the exit status (-1000 when it returned normally) and its standard error.
struct Outcome {
    int code;
    std::string err;
};

template <class F> Outcome outcomeOf(F&& f) {
    ::testing::internal::CaptureStderr();
    const int code = exitCodeOf(std::forward<F>(f));
    return {code, ::testing::internal::GetCapturedStderr()};
}

constexpr int wentOn = -1000;

// A scratch folder on the search path and a recording GL table.
struct BadInput : ScratchSearchPath {
    RecordingGl gl;
    std::string path(const std::string& name) const { return dir.file(name); }
    void writeText(const std::string& name, const std::string& text) {
        write(name, std::vector<unsigned char>(text.begin(), text.end()));
    }
    void makeFolder(const std::string& name) { std::filesystem::create_directories(path(name)); }
};

// ---------------------------------------------------------------------------------------------
// The archive "tir.val".

std::vector<unsigned char> smallArchive() {
    std::vector<ArchiveInput> entries = {{"one.env", {'a', 'b', 'c'}},
                                         {"two.bin", std::vector<unsigned char>(40, 7)}};
    std::vector<unsigned char> image;
    std::string error;
    EXPECT_TRUE(buildArchive(entries, image, error)) << error;
    return image;
}

struct BadArchive : BadInput {
    Outcome open(const std::vector<unsigned char>& image) {
        write("tir.val", image);
        const std::string p = path("tir.val");
        const Outcome o = outcomeOf([&] {
            ArchiveSource source(p.c_str());
            for (int i = 0; i < source.entryCount(); ++i) {
                delete source.load(source.entry(i).name.c_str(), loadQuiet);
            }
        });
        return o;
    }
    void put32(std::vector<unsigned char>& image, size_t at, int32_t v) {
        std::memcpy(&image[at], &v, 4);
    }
};

TEST_F(BadArchive, TruncatedDirectoryOrDataIsFatal) {
    const std::vector<unsigned char> good = smallArchive();
    std::vector<unsigned char> cut(good.begin(), good.begin() + 40); // inside the second header
    Outcome o = open(cut);
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "FILE ERROR : the archive " + path("tir.val") + " is damaged: "))
        << o.err;
    cut.assign(good.begin(), good.end() - 10); // inside the last entry's data
    o = open(cut);
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "an entry's data lies past the end of the file")) << o.err;
}

TEST_F(BadArchive, OversizedSizesAndTooManyEntriesAreFatal) {
    std::vector<unsigned char> image = smallArchive();
    put32(image, 0, 1 << 30); // the first entry's size
    Outcome o = open(image);
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "an entry's size is larger than the archive")) << o.err;

    // 1001 headers chained one after the other, each naming the same one-byte name.
    std::vector<unsigned char> many;
    for (int i = 0; i < 1001; ++i) {
        const int32_t at = static_cast<int32_t>(many.size());
        const int32_t header[6] = {0, 0, 2, 0, at + 28, i == 1000 ? -1 : 0};
        many.insert(many.end(), reinterpret_cast<const unsigned char*>(header),
                    reinterpret_cast<const unsigned char*>(header) + 24);
        many.insert(many.end(), {'0', 0, 0, 0, 'x', 0});
    }
    o = open(many);
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "more than 1000 entries")) << o.err;
}

TEST_F(BadArchive, FileThatIsNoArchiveIsFatal) {
    const std::string text = "This is a text file, not an archive; its first 28 bytes make a "
                             "header whose numbers lie far outside it.\n";
    const Outcome o = open(std::vector<unsigned char>(text.begin(), text.end()));
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "FILE ERROR : " + path("tir.val") + " is not a TIR VAL archive ("))
        << o.err;
}

TEST_F(BadArchive, OutOfRangeLengthsOffsetsAndLinksAreFatal) {
    const std::vector<unsigned char> good = smallArchive();
    // Offsets into the first header (at 0) and the second (at 36, after the name "ONE.ENV").
    const std::pair<size_t, int32_t> damage[] = {{8, 0},   {8, 300}, {16, 1 << 24}, {12, 1 << 24},
                                                 {56, 10}, {0, -5},  {4, 4}};
    const char* const said[] = {"a name length of 0 or over 255",
                                "a name length of 0 or over 255",
                                "a name lies past the end of the file",
                                "an entry's data lies past the end of the file",
                                "the chain of entries loops or goes backwards",
                                "a negative size",
                                "an entry stores more bytes than its size"};
    for (size_t i = 0; i < std::size(damage); ++i) {
        std::vector<unsigned char> image = good;
        put32(image, damage[i].first, damage[i].second);
        const Outcome o = open(image);
        EXPECT_EQ(o.code, 1) << said[i];
        EXPECT_TRUE(has(o.err, said[i])) << o.err;
    }
}

TEST_F(BadArchive, FolderIsReportedAsNoArchive) {
    makeFolder("tir.val");
    const std::string p = path("tir.val");
    int quitCode = -1;
    const Outcome o = outcomeOf([&] {
        ArchiveSource source(p.c_str());
        EXPECT_EQ(source.entryCount(), 0);
        EXPECT_FALSE(source.opened());
        // The report asks the program to quit with a failure code, and lookups find nothing.
        sys::Message m;
        while (sys::peekMessage(m)) {
            if (m.message == sys::WM_QUIT) {
                quitCode = static_cast<int>(m.wParam);
            }
        }
        EXPECT_EQ(source.load("one.env", loadQuiet), nullptr);
    });
    EXPECT_EQ(o.code, wentOn);
    EXPECT_EQ(quitCode, 1);
    EXPECT_TRUE(
        has(o.err, "FILE ERROR : No archive file!!! " + p + "\n(it is a folder, not a file)"))
        << o.err;
}

TEST_F(BadArchive, EmptyFileIsFatal) {
    const Outcome o = open({});
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "the file is empty")) << o.err;
}

// ---------------------------------------------------------------------------------------------
// Any data file read from a folder through the search path.

TEST_F(BadInput, FolderWhereADataFileBelongsIsNotFound) {
    makeFolder("boxical.exp");
    const Outcome o = outcomeOf([] { searchPath.load("boxical.exp", loadFatal); });
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "FILE NOT FOUND\n boxical.exp\n(\"" + path("boxical.exp") +
                               "\" is a folder, not a file)"))
        << o.err;
    // In the quiet mode (the companion) a folder is just not there.
    EXPECT_EQ(searchPath.load("boxical.exp", loadQuiet), nullptr);
}

TEST_F(BadInput, FileOverTwoGiBIsFatalBeforeAnythingIsRead) {
    // A sparse file: no disk space is used.
    write("huge.raw", {});
    std::error_code ec;
    std::filesystem::resize_file(path("huge.raw"), (3ull << 30), ec);
    if (ec) {
        GTEST_SKIP() << "this file system holds no 3 GiB file: " << ec.message();
    }
    const Outcome o = outcomeOf([] { searchPath.load("huge.raw", loadQuiet); });
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "has 3221225472 bytes; a data file can have at most 2 GiB")) << o.err;
}

// ---------------------------------------------------------------------------------------------
// Pictures: JPEG, raw RGB and alpha files.

std::vector<unsigned char> jpegBytes(int w, int h, int components = 3) {
    std::vector<unsigned char> pixels(static_cast<size_t>(w) * h * components);
    for (size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<unsigned char>(i * 13);
    }
    std::vector<unsigned char> out;
    std::string error;
    EXPECT_TRUE(encodeJpeg(w, h, components, pixels, 90, out, error)) << error;
    return out;
}

TEST_F(BadInput, TruncatedJpegLoadsWithAWarningThatNamesIt) {
    std::vector<unsigned char> bytes = jpegBytes(64, 64);
    bytes.resize(bytes.size() / 2);
    write("half.jpg", bytes);
    const Outcome o = outcomeOf([] { loadTexture("half.jpg"); });
    EXPECT_EQ(o.code, wentOn);
    EXPECT_TRUE(has(o.err, "JPEG picture \"half.jpg\": Premature end of JPEG file")) << o.err;
}

TEST_F(BadInput, JpegOverTheTextureLimitIsFatal) {
    std::vector<unsigned char> bytes = jpegBytes(16, 16);
    // The frame header (SOF0): FF C0, length, precision, then height and width, big-endian.
    for (size_t i = 0; i + 8 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
            bytes[i + 5] = 0x4E; // 20000 = 0x4E20
            bytes[i + 6] = 0x20;
            bytes[i + 7] = 0x4E;
            bytes[i + 8] = 0x20;
            break;
        }
    }
    write("vast.jpg", bytes);
    const Outcome o = outcomeOf([] { loadTexture("vast.jpg"); });
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "The JPEG picture \"vast.jpg\" cannot be decoded: it is 20000 x 20000 "
                           "pixels; a texture holds at most 16384 per side"))
        << o.err;
}

TEST_F(BadInput, JpegWithoutItsMagicOrWithBadTablesIsFatal) {
    writeText("text.jpg", "GIF89a, not a JPEG");
    Outcome o = outcomeOf([] { loadTexture("text.jpg"); });
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "The JPEG picture \"text.jpg\" cannot be decoded: Not a JPEG file"))
        << o.err;

    // Out of range: a Huffman table that claims more codes than there are (the 16 counts of
    // its code lengths add up to 16 x 255).
    std::vector<unsigned char> bytes = jpegBytes(16, 16);
    for (size_t i = 0; i + 21 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC4) {
            std::fill(bytes.begin() + static_cast<long>(i) + 5,
                      bytes.begin() + static_cast<long>(i) + 21, 0xFF);
            break;
        }
    }
    write("tables.jpg", bytes);
    o = outcomeOf([] { loadTexture("tables.jpg"); });
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "The JPEG picture \"tables.jpg\" cannot be decoded: ")) << o.err;
}

TEST_F(BadInput, EmptyJpegIsFatalAndAFolderIsNotFound) {
    write("empty.jpg", {});
    Outcome o = outcomeOf([] { loadTexture("empty.jpg"); });
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "The JPEG picture \"empty.jpg\" cannot be decoded: Empty input file"))
        << o.err;
    makeFolder("dir.jpg");
    o = outcomeOf([] { loadTexture("dir.jpg"); });
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "FILE NOT FOUND\n dir.jpg\n")) << o.err;
}

TEST_F(BadInput, RawPicturesShortEmptyOrLong) {
    write("short.raw", std::vector<unsigned char>(1000, 9));
    Outcome o = outcomeOf([] { loadTexture("short.raw"); });
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "The raw picture \"short.raw\" has 1000 bytes; a raw texture is 256 x "
                           "256 RGB pixels, 196608 bytes."))
        << o.err;
    write("empty.raw", {});
    o = outcomeOf([] { loadTexture("empty.raw"); });
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "The raw picture \"empty.raw\" has 0 bytes;")) << o.err;
    // Bytes past the picture are not read.
    write("long.raw", std::vector<unsigned char>(196608 + 5000, 9));
    o = outcomeOf([] { loadTexture("long.raw"); });
    EXPECT_EQ(o.code, wentOn);
    EXPECT_EQ(o.err, "");
}

TEST_F(BadInput, AlphaPicturesShortEmptyOrLong) {
    write("c.raw", std::vector<unsigned char>(300, 9)); // 100 pixels: 10 x 10
    write("short.tga", std::vector<unsigned char>(99, 1));
    Outcome o = outcomeOf([] { loadTextureWithAlpha("c.raw", "short.tga"); });
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "The alpha file \"short.tga\" has 99 bytes; the picture \"c.raw\" (10 "
                           "x 10) needs one byte per pixel, 100."))
        << o.err;
    write("empty.raw", {});
    write("a.tga", std::vector<unsigned char>(100, 1));
    o = outcomeOf([] { loadTextureWithAlpha("empty.raw", "a.tga"); });
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "The raw picture \"empty.raw\" has 0 bytes, not one whole RGB pixel"))
        << o.err;
    write("long.tga", std::vector<unsigned char>(5000, 1)); // the first 100 bytes are used
    o = outcomeOf([] { loadTextureWithAlpha("c.raw", "long.tga"); });
    EXPECT_EQ(o.code, wentOn);
    makeFolder("dir.tga");
    o = outcomeOf([] { loadTextureWithAlpha("c.raw", "dir.tga"); });
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "FILE NOT FOUND\n dir.tga\n")) << o.err;
}

// ---------------------------------------------------------------------------------------------
// Scene files (the reader's own tests cover every chunk; these are the table's rows).

struct BadScene : BadInput {
    void SetUp() override {
        BadInput::SetUp();
        sceneState.useTextureLoader(&fakeTextureLoad);
    }
    Outcome load(const std::string& name) {
        return outcomeOf([&] {
            Scene scene(name.c_str());
            loadScene(&scene);
        });
    }
    static std::vector<unsigned char> square() {
        scenefile::SceneFile f;
        f.chunks.push_back(squareMesh("Square", 1.0f));
        f.chunks.push_back(plainMaterial("paint", 2));
        return sceneImage(f);
    }
};

TEST_F(BadScene, TruncatedOversizedWrongMagicAndOutOfRangeAreFatal) {
    const std::vector<unsigned char> good = square();
    std::vector<unsigned char> bytes(good.begin(), good.begin() + 100);
    write("cut.exp", bytes);
    Outcome o = load("cut.exp");
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err,
                    "The scene file \"cut.exp\" is damaged at byte 48: the mesh \"Square\" "
                    "claims 4 vertices, 4 texture vertices and 2 faces (136 bytes), but only "
                    "20 bytes follow."))
        << o.err;

    bytes = good;
    const int32_t many = 1 << 28;
    std::memcpy(&bytes[48], &many, 4); // the vertex count
    write("vast.exp", bytes);
    o = load("vast.exp");
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "\"vast.exp\" is damaged at byte 48: the mesh \"Square\" claims "
                           "268435456 vertices"))
        << o.err;

    bytes = good;
    std::memcpy(bytes.data(), "\x89PNG", 4);
    write("png.exp", bytes);
    o = load("png.exp");
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "\"png.exp\" is damaged at byte 0: it starts with \"\\x89PNG\", not "
                           "the magic \"KEXP\" or \"QUOR\" of a scene file"))
        << o.err;

    bytes = good;
    const int32_t index = 9;
    std::memcpy(&bytes[184], &index, 4); // face 0's first vertex
    write("index.exp", bytes);
    o = load("index.exp");
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "\"index.exp\" is damaged at byte 184: face 0 of the mesh \"Square\" "
                           "uses vertex 9, but the mesh has 4"))
        << o.err;
}

TEST_F(BadScene, EmptyFileIsFatalAndAFolderIsNotFound) {
    write("empty.exp", {});
    Outcome o = load("empty.exp");
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "The scene file \"empty.exp\" is damaged at byte 0: the file ends "
                           "inside the 8-byte file header"))
        << o.err;
    makeFolder("dir.exp");
    o = load("dir.exp");
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "FILE NOT FOUND\n dir.exp\n")) << o.err;
}

// ---------------------------------------------------------------------------------------------
// Envelopes.

TEST_F(BadInput, EnvelopesTruncatedLongOrWithoutKeys) {
    // Cut inside the third key line: the two whole keys load, the cut line (one number) is
    // skipped.
    writeText("cut.env", "fade\nkey 0 value 0\nkey 1 value 1\nkey 2");
    ScalarTrack cut;
    Outcome o = outcomeOf([&] { loadEnvelope(cut, "cut.env"); });
    EXPECT_EQ(o.code, wentOn);
    EXPECT_EQ(cut.keyCount, 2);

    // Long: 200,000 keys load, all of them (the benchmark envelope_parse times a million).
    std::string text = "long\n";
    for (int i = 0; i < 200000; ++i) {
        text += "key " + std::to_string(i) + " value 1\n";
    }
    writeText("long.env", text);
    ScalarTrack longTrack;
    loadEnvelope(longTrack, "long.env");
    EXPECT_EQ(longTrack.keyCount, 200000);
    EXPECT_EQ(longTrack.keys[199999].time, 199999.0f);

    // No key lines (a file that is no envelope, or an empty one): a note, and 0 everywhere.
    write("picture.env", jpegBytes(8, 8));
    write("empty.env", {});
    for (const char* name : {"picture.env", "empty.env"}) {
        ScalarTrack none;
        o = outcomeOf([&] { loadEnvelope(none, name); });
        EXPECT_EQ(o.code, wentOn);
        EXPECT_EQ(none.keyCount, 0);
        EXPECT_EQ(evaluate(none, 3.0f), 0.0f);
        EXPECT_TRUE(has(o.err, "The envelope \"" + std::string(name) +
                                   "\" has no scalar key lines; it gives 0 at every time."))
            << o.err;
    }
    // A key line with another count of numbers is skipped.
    writeText("odd.env", "odd\nkey 0 value 0 1 2\nkey 1 value 5\n");
    ScalarTrack odd;
    loadEnvelope(odd, "odd.env");
    ASSERT_EQ(odd.keyCount, 1);
    EXPECT_EQ(odd.keys[0].value, 5.0f);

    makeFolder("dir.env");
    o = outcomeOf([] {
        VectorTrack t;
        loadVectorEnvelope(t, "dir.env");
    });
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "FILE NOT FOUND\n dir.env\n")) << o.err;
}

// The key lines the parser reads are the ones sscanf reads at every line start: blank lines
// and numbers that run on into the next line included.
TEST_F(BadInput, EnvelopeReaderReadsWhatSscanfReads) {
    const std::string text = "odd\n\n\nkey 1 value 2\n  key 3 value 4 0.5\n0.25 0.125\n"
                             "k 5e v 6 junk\nkey nan value inf\nkey 1e v\nkey 0x10 value -.5e1\n"
                             "   \n\t\nkey 9 value 9";
    ScalarTrack t;
    parseEnvelope(t, text.c_str());
    // The same walk with sscanf on the whole remaining text.
    std::vector<std::array<float, 5>> expected;
    const char* p = text.c_str();
    p = std::strchr(p, '\n') + 1;
    while (*p) {
        float v[5] = {};
        const int n = std::sscanf(p, "%*s %f %*s %f %f %f %f\n", &v[0], &v[1], &v[2], &v[3], &v[4]);
        if (n <= 0) {
            break;
        }
        if (n == 2 || n == 5) {
            expected.push_back(
                {v[0], v[1], n == 5 ? v[2] : 0, n == 5 ? v[3] : 0, n == 5 ? v[4] : 0});
        }
        const char* nl = std::strchr(p, '\n');
        p = nl ? nl + 1 : p + std::strlen(p);
    }
    ASSERT_EQ(t.keyCount, static_cast<int>(expected.size()));
    for (int i = 0; i < t.keyCount; ++i) {
        const auto& e = expected[static_cast<size_t>(i)];
        const ScalarKey& k = t.keys[i];
        const float got[5] = {k.time, k.value, k.tension, k.continuity, k.bias};
        for (int j = 0; j < 5; ++j) {
            EXPECT_TRUE(got[j] == e[j] || (std::isnan(got[j]) && std::isnan(e[j])))
                << "key " << i << " field " << j;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The synchronisation envelope "mystified.env".

TEST(BadSyncEnvelope, KeysThatAreNoNumbersOrGoBackwardsAreFatal) {
    ScalarTrack t;
    parseEnvelope(t, "mystified\nkey 0 value 0\nkey nan value 1\nkey 8 value 2\n");
    Outcome o = outcomeOf([&] { checkSyncEnvelope(t, "mystified.env", demoLength); });
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "The synchronisation envelope \"mystified.env\" is damaged: key 1 "
                           "(music order 1) has the time nan;"))
        << o.err;
    parseEnvelope(t, "mystified\nkey 0 value 0\nkey 4 value 1\nkey 3.5 value 2\n");
    o = outcomeOf([&] { checkSyncEnvelope(t, "mystified.env", demoLength); });
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "key 2 (music order 2) starts at 3.5 s, before key 1 at 4 s;\nthe key "
                           "times must not decrease."))
        << o.err;
}

TEST(BadSyncEnvelope, KeyFarPastTheEndIsSaidAndTheEndOfTheDemoPlaysOn) {
    ScalarTrack t;
    parseEnvelope(t, "mystified\nkey 0 value 0\nkey 4 value 1\nkey 8 value 2\nkey 9000 value 3\n");
    Outcome o = outcomeOf([&] { EXPECT_EQ(checkSyncEnvelope(t, "mystified.env", demoLength), 1); });
    EXPECT_EQ(o.code, wentOn);
    EXPECT_TRUE(has(o.err, "mystified.env: music order 3 starts at 9000 s, past the demo's end at "
                           "186.5 s; the demo ends early"))
        << o.err;
    // The default data's last orders start just after the end: that is how the demo ends.
    std::string text = "mystified\n";
    for (int k = 0; k < 53; ++k) {
        text += "key " + std::to_string(k * 3.6) + " value " + std::to_string(k) + "\n";
    }
    parseEnvelope(t, text.c_str());
    o = outcomeOf([&] { EXPECT_EQ(checkSyncEnvelope(t, "mystified.env", demoLength), 0); });
    EXPECT_EQ(o.err, "");
}

// ---------------------------------------------------------------------------------------------
// The music module and its companion.

struct BadMusic : BadInput {
    EnvVar audio{"SDL_AUDIODRIVER", "dummy"};
    MusicPlayer player;
    void SetUp() override {
        BadInput::SetUp();
        FSOUND_SetOutput(FSOUND_OUTPUT_NOSOUND);
        ASSERT_TRUE(player.initialise());
    }
    void TearDown() override {
        player.freeSong();
        player.close();
        BadInput::TearDown();
    }
    Outcome load() {
        ::testing::internal::CaptureStdout();
        const Outcome o = outcomeOf([&] { player.load("mystified.xm"); });
        ::testing::internal::GetCapturedStdout();
        return o;
    }
};

TEST_F(BadMusic, ModuleTheSoundLibraryRejectsIsFatalWithItsName) {
    const std::vector<unsigned char> good = writeXm(makeOrderSong(2));
    struct Case {
        const char* what;
        std::vector<unsigned char> bytes;
    };
    std::vector<unsigned char> header(good.begin(), good.begin() + 40);
    std::vector<unsigned char> magic = good;
    std::memcpy(magic.data(), "Not a module at all", 17);
    std::vector<unsigned char> counts = good;
    counts[68] = 0; // channels: 0 (byte 68 of the header: the channel count)
    counts[69] = 0;
    const Case cases[] = {
        {"truncated", header}, {"wrong magic", magic}, {"empty", {}}, {"no channels", counts}};
    for (const Case& c : cases) {
        write("mystified.xm", c.bytes);
        const Outcome o = load();
        EXPECT_EQ(o.code, 1) << c.what;
        EXPECT_TRUE(has(o.err, "The music module \"mystified.xm\" (" +
                                   std::to_string(c.bytes.size()) +
                                   " bytes) cannot be played:\nthe sound library does not read "
                                   "it as a module."))
            << c.what << ": " << o.err;
    }
    makeFolder("other");
    std::filesystem::remove(path("mystified.xm"));
    makeFolder("mystified.xm");
    const Outcome o = load();
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "FILE NOT FOUND\n mystified.xm\n")) << o.err;
}

// A module whose sample data is cut short still plays: the sound library takes what is there.
TEST_F(BadMusic, ModuleCutInsideItsSamplesPlays) {
    std::vector<unsigned char> bytes = writeXm(makeOrderSong(2));
    bytes.resize(bytes.size() - 3000);
    write("mystified.xm", bytes);
    const Outcome o = load();
    EXPECT_EQ(o.code, wentOn) << o.err;
    EXPECT_NE(player.song, nullptr);
}

// A missing companion, or a folder of its name, is no error: the module is used as stored.
TEST_F(BadMusic, MissingOrFolderCompanionLeavesTheModuleAsStored) {
    write("mystified.xm", writeXm(makeOrderSong(2)));
    Outcome o = load();
    EXPECT_EQ(o.code, wentOn) << o.err;
    EXPECT_NE(player.song, nullptr);
    player.freeSong();
    makeFolder("mystified.m3d");
    o = load();
    EXPECT_EQ(o.code, wentOn) << o.err;
    EXPECT_NE(player.song, nullptr);
    EXPECT_EQ(o.err, "");
}

std::vector<unsigned char> toneStream(int values) {
    std::vector<int16_t> tone(static_cast<size_t>(values));
    for (size_t i = 0; i < tone.size(); ++i) {
        tone[i] = static_cast<int16_t>(9000 * std::sin(0.05 * static_cast<double>(i)));
    }
    std::vector<unsigned char> stream;
    std::string error;
    EXPECT_TRUE(encodeSampleStream(tone, CompressOptions{}, stream, error)) << error;
    return stream;
}

// Sets the header of every frame of `stream` (found by walking frame lengths from the first
// sync) with `change`, which gets the 4 header bytes.
void changeHeaders(std::vector<unsigned char>& stream,
                   const std::function<void(unsigned char*)>& change) {
    static const int kbps[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                 112, 128, 160, 192, 224, 256, 320, 0};
    static const int rates[4] = {44100, 48000, 32000, 0};
    size_t at = 0;
    while (at + 4 <= stream.size() && !(stream[at] == 0xFF && (stream[at + 1] & 0xE0) == 0xE0)) {
        ++at;
    }
    while (at + 4 <= stream.size() && stream[at] == 0xFF) {
        const int bitrate = kbps[stream[at + 2] >> 4];
        const int rate = rates[(stream[at + 2] >> 2) & 3];
        const int padding = (stream[at + 2] >> 1) & 1;
        if (!bitrate || !rate) {
            break;
        }
        const size_t length = static_cast<size_t>(144000 * bitrate / rate + padding);
        change(&stream[at]);
        at += length;
    }
}

struct BadCompanion : BadInput {
    std::vector<unsigned char> image = std::vector<unsigned char>(20000, 0);
    Outcome restore(const std::vector<unsigned char>& companion, int* restored = nullptr) {
        ::testing::internal::CaptureStdout();
        const Outcome o = outcomeOf([&] {
            const int n = restoreSamplesInto(image.data(), image.size(), companion.data(),
                                             companion.size(), "x.m3d");
            if (restored) {
                *restored = n;
            }
        });
        ::testing::internal::GetCapturedStdout();
        return o;
    }
};

TEST_F(BadCompanion, RecordsThatCannotBeRestoredAreSkippedWithTheCompanionsName) {
    const std::vector<unsigned char> stream = toneStream(4000);
    int restored = -1;

    // Truncated: the second of two records is cut off. Without its stream table (which follows
    // the records) a companion names stream files: "s", whose zero is byteLength's low byte, so
    // byteLength is 0x1000 and imageOffset 0.
    WorkingDir cwd(dir.path);
    write("s", stream);
    const std::vector<unsigned char> two = {2, 's', 0, 0x10, 0, 0, 0, 0, 0, 0, 0, 's', 0, 0x10, 0};
    Outcome o = restore(two, &restored);
    EXPECT_EQ(o.code, wentOn);
    EXPECT_EQ(restored, 1);
    EXPECT_TRUE(has(o.err, "x.m3d: the companion (15 bytes) ends inside record 1 of 2; the rest is "
                           "ignored"))
        << o.err;

    // Oversized: a range that passes the end of the image.
    o = restore(buildCompanion({{0, 4000, 19000}}, {stream}), &restored);
    EXPECT_EQ(restored, 0);
    EXPECT_TRUE(has(o.err, "x.m3d: record 0: 4000 bytes at offset 19000 lie outside the module "
                           "image (20000 bytes); skipped"))
        << o.err;

    // Out of range: a stream index past the table, a stream past the companion's end.
    o = restore(buildCompanion({{3, 4000, 0}}, {stream}), &restored);
    EXPECT_EQ(restored, 0);
    EXPECT_TRUE(has(o.err, "x.m3d: record 0 names stream 3, but the companion holds 1; skipped"))
        << o.err;
    std::vector<unsigned char> outside = buildCompanion({{0, 4000, 0}}, {stream});
    const uint32_t far = 1u << 30;
    std::memcpy(&outside[11 + 8], &far, 4); // stream 0's offset
    o = restore(outside, &restored);
    EXPECT_EQ(restored, 0);
    EXPECT_TRUE(has(o.err, "x.m3d: record 0: stream 0 (")) << o.err;
    EXPECT_TRUE(has(o.err, "lies outside the companion")) << o.err;

    // Empty: no records, nothing said.
    o = restore({}, &restored);
    EXPECT_EQ(restored, 0);
    EXPECT_EQ(o.err, "");
}

// Companions without a stream table name their streams as files in the working directory.
TEST_F(BadCompanion, StreamFilesThatAreFoldersMissingOrTooLargeAreSkipped) {
    WorkingDir cwd(dir.path);
    makeFolder("folder");
    write("huge.mp3", {});
    std::error_code ec;
    std::filesystem::resize_file(path("huge.mp3"), 3ull << 30, ec);
    // Three records without a table, named by the 12 bytes from each record's start; their
    // lengths and offsets are inside the names, so the image must be large enough.
    image.assign(1 << 20, 0);
    std::vector<unsigned char> companion = {3};
    for (const char* name : {".", "folder", "missing"}) {
        unsigned char record[10] = {};
        std::memcpy(record, name, std::strlen(name) < 10 ? std::strlen(name) : 10);
        companion.insert(companion.end(), record, record + 10);
    }
    // Record k's length and offset are bytes 1-4 and 5-8 of its name: zeros for "." make a
    // range of 0 bytes at 0.
    int restored = -1;
    const Outcome o = restore(companion, &restored);
    EXPECT_EQ(restored, 0);
    EXPECT_TRUE(has(o.err, "x.m3d: record 0: stream file \".\" cannot be opened: it is a folder, "
                           "not a file; skipped"))
        << o.err;
    if (!ec) {
        std::vector<unsigned char> big = {1};
        const unsigned char record[10] = {'h', 0, 0, 0, 0, 0, 0, 0, 0, 0};
        big.insert(big.end(), record, record + 10);
        std::filesystem::rename(path("huge.mp3"), path("h"));
        const Outcome huge = restore(big, &restored);
        EXPECT_TRUE(has(huge.err, "stream file \"h\" cannot be opened: it is larger than 2 GiB"))
            << huge.err;
    }
}

TEST_F(BadCompanion, StreamsWithoutAFrameThisDecoderReadsAreSkipped) {
    const std::vector<unsigned char> good = toneStream(6000);
    // Free format, the forbidden bitrate and the reserved sampling frequency, in every header.
    const std::pair<const char*, std::function<void(unsigned char*)>> faults[] = {
        {"free format (bitrate index 0)", [](unsigned char* h) { h[2] &= 0x0F; }},
        {"the forbidden bitrate index 15", [](unsigned char* h) { h[2] |= 0xF0; }},
        {"the reserved sampling-frequency index 3", [](unsigned char* h) { h[2] |= 0x0C; }}};
    for (const auto& [fault, change] : faults) {
        std::vector<unsigned char> stream = good;
        changeHeaders(stream, change);
        int restored = -1;
        const Outcome o = restore(buildCompanion({{0, 4000, 0}}, {stream}), &restored);
        EXPECT_EQ(o.code, wentOn) << fault << ": " << o.err;
        EXPECT_EQ(restored, 0) << fault;
        EXPECT_TRUE(has(o.err, "x.m3d: record 0: its stream holds no frame this decoder reads: "
                               "the frame header at byte 0 (MPEG-1 Layer III) has " +
                                   std::string(fault)))
            << o.err;
        EXPECT_FALSE(has(o.err, "layer2 unsupported")) << o.err;
    }
    // Garbage and an empty stream.
    const std::string words = "no frames in here, only words";
    for (const auto& stream :
         {std::vector<unsigned char>(words.begin(), words.end()), std::vector<unsigned char>{}}) {
        int restored = -1;
        const Outcome o = restore(buildCompanion({{0, 4000, 0}}, {stream}), &restored);
        EXPECT_EQ(restored, 0);
        EXPECT_TRUE(has(o.err, "x.m3d: record 0: its stream holds no frame this decoder reads; "
                               "skipped"))
            << o.err;
    }
    // Truncated: the frames that are there are restored.
    std::vector<unsigned char> cut = good;
    cut.resize(cut.size() / 2);
    int restored = -1;
    const Outcome o = restore(buildCompanion({{0, 4000, 0}}, {cut}), &restored);
    EXPECT_EQ(restored, 1);
    EXPECT_EQ(o.err, "");
}

TEST_F(BadCompanion, OtherMpegVersionsAndLayersAreFatalAndNamed) {
    const std::vector<unsigned char> good = toneStream(6000);
    std::vector<unsigned char> mpeg2 = good, layer2 = good;
    changeHeaders(mpeg2, [](unsigned char* h) { h[1] &= ~0x08; });                 // ID 0
    changeHeaders(layer2, [](unsigned char* h) { h[1] = (h[1] & ~0x06) | 0x04; }); // Layer II
    Outcome o = restore(buildCompanion({{0, 4000, 0}}, {mpeg2}));
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "Error: MPEG2.0 unsupported\nin stream 0 of \"x.m3d\" (record 0)\n"))
        << o.err;
    o = restore(buildCompanion({{0, 4000, 0}}, {layer2}));
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(has(o.err, "Error: layer2 unsupported\nin stream 0 of \"x.m3d\" (record 0)\n"))
        << o.err;
}

// ---------------------------------------------------------------------------------------------
// tirtool on bad paths and on files that are not what the command reads.

int runTool(const std::string& args, const std::string& log) {
    const std::string cmd = std::string(TIR_BIN_DIR) + "/tirtool " + args + " > " + log + " 2>&1";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(BadToolInput, FoldersEmptyFilesAndWrongKindsAreRefusedWithStatus1) {
    ScratchDir dir("tool-bad");
    const std::string d = dir.path.string();
    std::filesystem::create_directories(d + "/folder");
    writeFile(d + "/empty.bin", std::string());
    writeFile(d + "/words.txt", std::string("plain words, no frame, no key line\n"));
    const std::string log = d + "/log";
    const auto logText = [&] {
        const auto bytes = readFile(log);
        return std::string(bytes.begin(), bytes.end());
    };
    const std::string folder = d + "/folder";
    const std::pair<std::string, std::string> cases[] = {
        {"list-samples " + folder, "tirtool: cannot read " + folder + ": is a folder, not a file"},
        {"restore-samples " + folder + " " + folder + " " + d + "/o.xm",
         "tirtool: cannot read " + folder + ": is a folder, not a file"},
        {"compress-samples " + folder + " " + d + "/o.xm " + d + "/o.m3d",
         "tirtool: cannot read " + folder + ": is a folder, not a file"},
        {"pack " + d + "/o.val " + folder, "tirtool: the folder " + folder + " holds no files"},
        {"decode " + folder + " " + d + "/o.wav",
         "tirtool: cannot read " + folder + ": is a folder, not a file"},
        {"decode " + d + "/missing.mp3 " + d + "/o.wav", "missing.mp3: no such file"},
        {"decode " + d + "/empty.bin " + d + "/o.wav",
         "tirtool: " + d + "/empty.bin holds no MPEG-1 Layer III frame; nothing written"},
        {"decode " + d + "/words.txt " + d + "/o.wav", "holds no MPEG-1 Layer III frame"},
        {"scene " + d + "/words.txt", "is not a \".exp\" scene file"},
        {"env " + d + "/words.txt", "holds no key line, so it is no envelope"},
        {"env " + folder, "tirtool: " + folder + " is a folder, not a file"},
        {"list " + folder, "FILE ERROR : No archive file!!! " + folder},
        {"list " + d + "/empty.bin", "the file is empty"},
    };
    for (const auto& [args, said] : cases) {
        EXPECT_EQ(runTool(args, log), 1) << args << "\n" << logText();
        EXPECT_TRUE(has(logText(), said)) << args << "\n" << logText();
    }
    EXPECT_FALSE(std::filesystem::exists(d + "/o.wav"));
}

// A scene whose name is spelled in capitals is shown, with a note that the player tells
// formats apart by lower-case names (and would play it as an empty scene).
TEST(BadToolInput, SceneNamedInCapitalsIsShownWithANote) {
    ScratchDir dir("tool-caps");
    const std::string d = dir.path.string();
    const std::string log = d + "/log";
    ASSERT_EQ(runTool("scene-demo " + d, log), 0);
    std::filesystem::rename(d + "/demo.exp", d + "/DEMO.EXP");
    EXPECT_EQ(runTool("scene " + d + "/DEMO.EXP", log), 0);
    const auto bytes = readFile(log);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_TRUE(has(text, "scene \"DEMO.EXP\"")) << text;
    EXPECT_TRUE(has(text, "would load DEMO.EXP as an empty scene")) << text;
}

} // namespace
