// file_bytes.cpp - whole-file reads and writes for the tools.
#include "tools/common/file_bytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

bool readFileBytes(const std::string& path, std::vector<unsigned char>& out, std::string& error) {
    // The kind and size come from the file system: a folder opens as a stream too, and then
    // fails only when it is read (or claims a length of 2^63).
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) {
        error = path + ": no such file";
        return false;
    }
    if (fs::is_directory(status)) {
        error = path + ": is a folder, not a file";
        return false;
    }
    if (!fs::is_regular_file(status)) {
        error = path + ": is not a plain file";
        return false;
    }
    const uintmax_t size = fs::file_size(path, ec);
    if (ec) {
        error = path + ": its size cannot be read (" + ec.message() + ")";
        return false;
    }
    if (size > maxToolFileBytes) {
        error = path + ": is " + std::to_string(size) + " bytes; at most 2 GiB can be read";
        return false;
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = path + ": cannot be opened (" + std::strerror(errno) + ")";
        return false;
    }
    out.resize(static_cast<size_t>(size));
    const size_t got = size ? std::fread(out.data(), 1, out.size(), f) : 0;
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed || got != out.size()) {
        error = path + ": cannot be read to its end";
        return false;
    }
    return true;
}

bool writeFileBytes(const std::string& path, const std::vector<unsigned char>& data,
                    std::string& error) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        error = path + ": is a folder, not a file";
        return false;
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = path + ": cannot be written (" + std::strerror(errno) + ")";
        return false;
    }
    const size_t put = data.empty() ? 0 : std::fwrite(data.data(), 1, data.size(), f);
    const bool closed = std::fclose(f) == 0;
    if (put != data.size() || !closed) {
        error = path + ": cannot be written to its end";
        return false;
    }
    return true;
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    const bool same = std::filesystem::equivalent(a, b, ec);
    return !ec && same;
}
