// frame_png.h - a fast PNG encoder for captured frames.
//
// A capture writes thousands of full frames, and zlib spends most of a frame's encoding time
// searching for matches that rendered pictures rarely have. This encoder does one thing: every
// row gets the Up filter (the difference from the row above), and the filtered bytes go into
// deflate blocks of Huffman codes fitted to each block, with runs of one repeated byte (the
// still and flat areas, zero after the filter) as length-distance pairs at distance 1. The
// result is an ordinary PNG that any reader decodes to the same pixels.
#pragma once

#include <cstdint>
#include <vector>

// Memory an encoder keeps from one picture to the next, so that a run of frames neither
// allocates nor clears any: one for each thread that encodes.
struct FramePngScratch {
    struct Run { // `length` bytes from `at` that each equal the byte before them
        uint32_t at, length;
    };
    std::vector<unsigned char> filtered, stream;
    std::vector<Run> runs;
};

// Encodes width x height 8-bit RGB pixels into `out` as a whole PNG file's bytes (8-bit RGB,
// not interlaced). `rows` points at the top row and rows are `stride` bytes apart, so a negative
// stride walks a bottom-up picture. width and height are 1 to 16384 (one IDAT chunk holds the
// whole stream, which stays under its 2 GiB limit at that size). `out` is replaced.
void encodeFramePng(int width, int height, const unsigned char* rows, long stride,
                    FramePngScratch& scratch, std::vector<unsigned char>& out);
