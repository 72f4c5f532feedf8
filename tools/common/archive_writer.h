// archive_writer.h - writes "tir.val" data archives.
//
// Layout written: the chain of 28-byte entry headers, each followed directly by its name (so
// every header but the last links on with nextOffset 0), then the entries' data. An entry is
// stored plain when its lower-cased name contains ".jpg", because JPEG images are read through
// the stream path, which does not unscramble; every other entry is stored scrambled.
#pragma once

#include <string>
#include <vector>

struct ArchiveInput {
    std::string name; // the name callers will look up (stored upper-cased)
    std::vector<unsigned char> data;
};

// Whether `name` is stored unscrambled.
bool archiveStoresPlain(const std::string& name);
// The archive image. Names longer than 255 characters, more than 1000 entries, or two entries
// whose names differ only in case are refused with a message in `error`.
bool buildArchive(const std::vector<ArchiveInput>& entries, std::vector<unsigned char>& image,
                  std::string& error);
// Builds the image and writes it to `path`; false with `error` set to "PATH: why".
bool writeArchive(const std::string& path, const std::vector<ArchiveInput>& entries,
                  std::string& error);
