// test_frame_png.cpp - the capture's PNG encoder, checked by decoding its files with libpng
// (which checks every CRC and the stream's Adler-32) and, for the stream itself, with zlib's
// inflate: sizes from one pixel up, pictures that defeat the runs, pictures that are all runs,
// byte frequencies skewed enough to need the code-length limit, and a scratch reused across
// sizes.
#include <gtest/gtest.h>

#include <png.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tools/common/frame_png.h"

namespace {

// The RGB pixels libpng decodes from a PNG file's bytes; false with libpng's message.
bool decodeWithLibpng(const std::vector<unsigned char>& file, int& width, int& height,
                      std::vector<unsigned char>& rgb, std::string& error) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) {
        error = image.message;
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
        error = image.message;
        return false;
    }
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    return true;
}

uint32_t bigEndian(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// The file's chunk types in order, and the IDAT data inflated by zlib (Z_OK or zlib's error).
struct Inflated {
    std::vector<std::string> chunks;
    std::vector<unsigned char> filtered;
    int result = Z_DATA_ERROR;
};
Inflated inflateIdat(const std::vector<unsigned char>& file, size_t expected) {
    Inflated r;
    std::vector<unsigned char> idat;
    for (size_t at = 8; at + 12 <= file.size();) {
        const uint32_t size = bigEndian(&file[at]);
        r.chunks.emplace_back(reinterpret_cast<const char*>(&file[at + 4]), 4);
        if (r.chunks.back() == "IDAT") {
            idat.insert(idat.end(), &file[at + 8], &file[at + 8] + size);
        }
        at += 12 + size;
    }
    r.filtered.resize(expected + 1);
    uLongf size = static_cast<uLongf>(r.filtered.size());
    r.result = uncompress(r.filtered.data(), &size, idat.data(), static_cast<uLong>(idat.size()));
    r.filtered.resize(size);
    return r;
}

// Encodes the picture and checks that both decoders give it back exactly.
void expectRoundTrip(int width, int height, const std::vector<unsigned char>& rgb,
                     FramePngScratch& scratch, const std::string& what) {
    SCOPED_TRACE(what + " at " + std::to_string(width) + " x " + std::to_string(height));
    std::vector<unsigned char> file;
    encodeFramePng(width, height, rgb.data(), width * 3L, scratch, file);
    int w = 0, h = 0;
    std::vector<unsigned char> back;
    std::string error;
    ASSERT_TRUE(decodeWithLibpng(file, w, h, back, error)) << error;
    EXPECT_EQ(w, width);
    EXPECT_EQ(h, height);
    EXPECT_TRUE(back == rgb) << "the decoded pixels differ";

    const size_t rowBytes = static_cast<size_t>(width) * 3 + 1;
    const Inflated in = inflateIdat(file, rowBytes * static_cast<size_t>(height));
    EXPECT_EQ(in.result, Z_OK) << "zlib's inflate refused the stream";
    ASSERT_EQ(in.filtered.size(), rowBytes * static_cast<size_t>(height));
    EXPECT_EQ(in.chunks, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    for (int y = 0; y < height; ++y) {
        ASSERT_EQ(in.filtered[static_cast<size_t>(y) * rowBytes], 2) << "row " << y << ": Up";
    }
}

std::vector<unsigned char> noise(int width, int height, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
    for (auto& v : rgb) {
        v = static_cast<unsigned char>(rng() >> 24);
    }
    return rgb;
}

} // namespace

TEST(FramePng, EverySizeAndKindOfPictureDecodesToItsPixels) {
    FramePngScratch scratch;
    // From one pixel up, widths that leave part of an eight-byte step over, and heights that
    // span several blocks (a block is about 64 KiB of filtered rows).
    const int sizes[][2] = {{1, 1},   {1, 2},    {2, 1},     {3, 7},    {5, 3},     {17, 9},
                            {80, 60}, {321, 97}, {640, 480}, {1, 3000}, {16384, 1}, {3000, 40}};
    for (const auto& s : sizes) {
        const int w = s[0], h = s[1];
        const size_t bytes = static_cast<size_t>(w) * h * 3;
        expectRoundTrip(w, h, noise(w, h, static_cast<uint32_t>(w * 31 + h)), scratch, "noise");
        expectRoundTrip(w, h, std::vector<unsigned char>(bytes, 0), scratch, "black");
        expectRoundTrip(w, h, std::vector<unsigned char>(bytes, 0xFF), scratch, "white");
        // Flat areas broken by single odd bytes: runs of every length from 1 to past 258.
        std::vector<unsigned char> patches(bytes, 7);
        size_t gap = 1;
        for (size_t at = 0; at < bytes; at += gap, gap = gap % 300 + 1) {
            patches[at] = static_cast<unsigned char>(at * 13);
        }
        expectRoundTrip(w, h, patches, scratch, "patches");
        // A smooth picture: most filtered bytes small, many equal to their neighbour.
        std::vector<unsigned char> gradient(bytes);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                unsigned char* p = &gradient[(static_cast<size_t>(y) * w + x) * 3];
                p[0] = static_cast<unsigned char>(x / 3);
                p[1] = static_cast<unsigned char>(y / 2);
                p[2] = static_cast<unsigned char>((x + y) / 5);
            }
        }
        expectRoundTrip(w, h, gradient, scratch, "gradient");
    }
}

TEST(FramePng, SkewedBytesGetCodesNoLongerThanDeflateAllows) {
    // Byte k appears Fibonacci(k + 2) times (1, 2, 3, 5, ...), the end-of-block code once: an
    // optimal code is a chain, and would give the rarest a 19-bit code, past deflate's 15, so
    // the lengths must be folded back and the code kept complete. The commonest byte is the
    // Up filter's type byte, so that its one appearance does not add a symbol. The bytes are
    // laid out with no two alike side by side, so no run changes the counts: the commonest
    // first, on every other place, then on the places between.
    std::vector<unsigned char> sorted;
    uint32_t a = 1, b = 2;
    for (int k = 0; k < 20; ++k) {
        const auto value = static_cast<unsigned char>(k == 19 ? 2 : 50 + k * 11);
        sorted.insert(sorted.begin(), a, value);
        const uint32_t c = a + b;
        a = b;
        b = c;
    }
    std::vector<unsigned char> row(sorted.size());
    for (size_t i = 0, place = 0; i < sorted.size(); ++i, place += 2) {
        if (place >= row.size()) {
            place = 1;
        }
        row[place] = sorted[i];
    }
    const int width = static_cast<int>(row.size() / 3);
    row.resize(static_cast<size_t>(width) * 3);
    FramePngScratch scratch;
    expectRoundTrip(width, 1, row, scratch, "one skewed row");
    // Two rows: the second is filtered against the first, so it is all zeros, one long run.
    std::vector<unsigned char> twice = row;
    twice.insert(twice.end(), row.begin(), row.end());
    expectRoundTrip(width, 2, twice, scratch, "the row twice");
}

TEST(FramePng, BottomUpRowsAndAReusedScratchGiveTheSameFile) {
    const int w = 123, h = 45;
    const std::vector<unsigned char> rgb = noise(w, h, 9);
    std::vector<unsigned char> flipped(rgb.size());
    for (int y = 0; y < h; ++y) {
        std::memcpy(&flipped[static_cast<size_t>(h - 1 - y) * w * 3],
                    &rgb[static_cast<size_t>(y) * w * 3], static_cast<size_t>(w) * 3);
    }
    FramePngScratch fresh, used;
    std::vector<unsigned char> expected, fromFlipped, afterLarger;
    encodeFramePng(w, h, rgb.data(), w * 3L, fresh, expected);
    // The last row first with a negative stride reads the flipped rows top to bottom.
    encodeFramePng(w, h, flipped.data() + static_cast<size_t>(h - 1) * w * 3, -w * 3L, fresh,
                   fromFlipped);
    EXPECT_EQ(fromFlipped, expected);
    // A scratch that held a larger picture leaves nothing of it in the next file.
    const std::vector<unsigned char> large = noise(700, 500, 3);
    std::vector<unsigned char> ignored;
    encodeFramePng(700, 500, large.data(), 700 * 3L, used, ignored);
    encodeFramePng(w, h, rgb.data(), w * 3L, used, afterLarger);
    EXPECT_EQ(afterLarger, expected);
}

TEST(FramePng, FlatPicturesCompressToAlmostNothingAndNoiseHardlyGrows) {
    FramePngScratch scratch;
    std::vector<unsigned char> file;
    const std::vector<unsigned char> black(640 * 480 * 3, 0);
    encodeFramePng(640, 480, black.data(), 640 * 3L, scratch, file);
    // 921,600 bytes of runs: a few bits for every 258 bytes, and a block header each 64 KiB.
    EXPECT_LT(file.size(), 5000u);
    const std::vector<unsigned char> random = noise(640, 480, 1);
    encodeFramePng(640, 480, random.data(), 640 * 3L, scratch, file);
    // Incompressible bytes cost at most a little over their own size (8 bits each and the
    // blocks' headers), never the 15 bits a code may take.
    EXPECT_LT(file.size(), random.size() + random.size() / 50);
}
