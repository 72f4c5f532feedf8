// archive_writer.cpp - building the archive image.
#include "tools/common/archive_writer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>

#include "resources/search_path.h"
#include "tools/common/file_bytes.h"

namespace {

void put32(std::vector<unsigned char>& out, size_t at, int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) {
        out[at + static_cast<size_t>(i)] = static_cast<unsigned char>(u >> (8 * i));
    }
}

std::string upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return s;
}

} // namespace

bool archiveStoresPlain(const std::string& name) {
    return isJpegName(name.c_str());
}

bool buildArchive(const std::vector<ArchiveInput>& entries, std::vector<unsigned char>& image,
                  std::string& error) {
    if (entries.empty()) {
        error = "an archive needs at least one entry";
        return false;
    }
    if (entries.size() > archiveMaxEntries) {
        error = "more than 1000 entries";
        return false;
    }
    std::set<std::string> seen;
    size_t directorySize = 0;
    for (const ArchiveInput& e : entries) {
        if (e.name.empty() || e.name.size() + 1 > archiveMaxName) {
            error = "entry name \"" + e.name.substr(0, 60) +
                    "\" is empty or longer than 254 characters";
            return false;
        }
        if (!seen.insert(upper(e.name)).second) {
            error = "two entries are both named \"" + upper(e.name) + "\" (names ignore case)";
            return false;
        }
        directorySize += archiveHeaderSize + e.name.size() + 1;
    }
    size_t dataSize = 0;
    for (const ArchiveInput& e : entries) {
        dataSize += e.data.size();
    }
    if (directorySize + dataSize > 0x7FFFFFFF) {
        error = "the archive would be larger than 2 GiB";
        return false;
    }
    image.assign(directorySize + dataSize, 0);
    size_t header = 0;
    size_t data = directorySize;
    for (size_t i = 0; i < entries.size(); ++i) {
        const ArchiveInput& e = entries[i];
        const std::string name = upper(e.name);
        const int32_t nameLength = static_cast<int32_t>(name.size() + 1);
        put32(image, header + 0, static_cast<int32_t>(e.data.size()));
        put32(image, header + 4, static_cast<int32_t>(e.data.size()));
        put32(image, header + 8, nameLength);
        put32(image, header + 12, static_cast<int32_t>(data));
        put32(image, header + 16, static_cast<int32_t>(header + archiveHeaderSize));
        put32(image, header + 20, i + 1 == entries.size() ? -1 : 0);
        image[header + 24] = '0';
        std::memcpy(&image[header + archiveHeaderSize], name.c_str(),
                    static_cast<size_t>(nameLength));
        if (!e.data.empty()) {
            std::memcpy(&image[data], e.data.data(), e.data.size());
            if (!archiveStoresPlain(e.name)) {
                scrambleArchiveBytes(&image[data], static_cast<int64_t>(e.data.size()));
            }
        }
        header += archiveHeaderSize + static_cast<size_t>(nameLength);
        data += e.data.size();
    }
    return true;
}

bool writeArchive(const std::string& path, const std::vector<ArchiveInput>& entries,
                  std::string& error) {
    std::vector<unsigned char> image;
    if (!buildArchive(entries, image, error)) {
        error = path + ": " + error;
        return false;
    }
    return writeFileBytes(path, image, error);
}
