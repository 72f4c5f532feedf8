// png_writer.h - writes 8-bit RGB or RGBA pictures as PNG files (captures, previews, the
// development player's screenshots) and reads them back.
#pragma once

#include <string>
#include <vector>

// Writes width x height pixels of `channels` bytes each (3 or 4), rows top to bottom.
// `fast` trades file size for speed (several times faster, for long runs of frames).
// Returns false with a message on stderr when the file cannot be written.
bool writePng(const std::string& path, int width, int height, int channels,
              const std::vector<unsigned char>& pixels, bool fast = false);
// How a picture is compressed: zlib's level (1 fastest .. 9 smallest), the PNG row filter and
// whether zlib looks only for runs of repeated bytes (its RLE strategy) instead of matches.
struct PngCompression {
    enum class Filter { none, sub, up, paeth, adaptive };
    int level = 6;
    Filter filter = Filter::adaptive;
    bool runLengthOnly = false;
};
// Encodes width x height RGB pixels (`rows` points at the top row, rows `stride` bytes apart,
// so a negative stride walks a bottom-up picture) into `out` as a PNG file's bytes. False with
// the reason in `error`.
bool encodePng(int width, int height, const unsigned char* rows, long stride,
               const PngCompression& compression, std::vector<unsigned char>& out,
               std::string& error);
// Reads a PNG into 8-bit RGBA rows, top to bottom. Returns false when it cannot.
bool readPng(const std::string& path, int& width, int& height, std::vector<unsigned char>& rgba);
