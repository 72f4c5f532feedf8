// archive_fuzz.cpp - libFuzzer harness for the archive directory reader and the envelope
// parser. A fatal report is the correct answer to a damaged input, so the exit hook turns it
// into an exception and the harness goes on; anything else (a crash, an out-of-bounds access
// under AddressSanitizer) is a finding.
// Build with clang: cmake -DTIR_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ ..., then run
//   build-fuzz/bin/fuzz_archive_fuzz -max_total_time=60 CORPUS_DIR
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "resources/search_path.h"
#include "scene/track.h"

namespace {
struct Exit {};
void throwingExit(int) {
    throw Exit{};
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sys::setExitHook(&throwingExit);
    const std::string path = "/tmp/tirval-fuzz-archive.val";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    try {
        ArchiveSource source(path.c_str());
        for (int i = 0; i < archive.entryCount; ++i) {
            if (LoadedFile* file = source.load(archive.entries[i]->name, loadQuiet)) {
                delete file;
            }
        }
    } catch (const Exit&) {
        resetArchive();
    }
    // The same bytes as envelope text, scalar and vector.
    std::string text(reinterpret_cast<const char*>(data), size);
    ScalarTrack scalar;
    parseEnvelope(scalar, text.c_str());
    evaluate(scalar, 1.0f);
    VectorTrack vector;
    parseVectorEnvelope(vector, text.c_str());
    evaluate(vector, 1.0f);
    sys::setExitHook(nullptr);
    return 0;
}
