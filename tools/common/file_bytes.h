// file_bytes.h - whole-file reads and writes for the tools, with a refusal in words for every
// path that is not a readable plain file (a folder, a device, a missing file, one over 2 GiB).
#pragma once

#include <string>
#include <vector>

// The largest file the tools read: the demo's own loaders take no more.
constexpr unsigned long long maxToolFileBytes = 0x7FFFFFFFull;

// Reads all of `path` into `out`. False with `error` set to "PATH: why" when it is not a
// readable plain file of at most maxToolFileBytes.
bool readFileBytes(const std::string& path, std::vector<unsigned char>& out, std::string& error);
// Writes `data` to `path`, replacing it. False with `error` set to "PATH: why".
bool writeFileBytes(const std::string& path, const std::vector<unsigned char>& data,
                    std::string& error);
// Whether `a` and `b` name one existing file, through links or different spellings of its path.
// False when either is missing: a file about to be made is no other file.
bool sameFile(const std::string& a, const std::string& b);
