// png_writer.h - writes 8-bit RGB or RGBA pictures as PNG files (captures, previews, the
// development player's screenshots) and reads them back.
#pragma once

#include <string>
#include <vector>

// Writes width x height pixels of `channels` bytes each (3 or 4), rows top to bottom.
// Returns false with a message on stderr when the file cannot be written.
bool writePng(const std::string& path, int width, int height, int channels,
              const std::vector<unsigned char>& pixels);
// Reads a PNG into 8-bit RGBA rows, top to bottom. Returns false when it cannot.
bool readPng(const std::string& path, int& width, int& height, std::vector<unsigned char>& rgba);
