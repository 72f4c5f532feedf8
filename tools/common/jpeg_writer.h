// jpeg_writer.h - encodes 8-bit RGB pictures as baseline JPEG files (libjpeg-turbo), in memory.
// The data generator stores its pictures with it; the encoder is deterministic, so the same
// pixels always give the same bytes.
#pragma once

#include <string>
#include <vector>

// Encodes width x height pixels of `components` bytes each (1 grey, 3 RGB, 4 CMYK; rows top to
// bottom) at `quality` (1-100). Returns false with a message in `error` when the sizes do not
// match or the encoder fails.
bool encodeJpeg(int width, int height, int components, const std::vector<unsigned char>& pixels,
                int quality, std::vector<unsigned char>& out, std::string& error);
// The RGB case.
inline bool encodeJpeg(int width, int height, const std::vector<unsigned char>& rgb, int quality,
                       std::vector<unsigned char>& out, std::string& error) {
    return encodeJpeg(width, height, 3, rgb, quality, out, error);
}
