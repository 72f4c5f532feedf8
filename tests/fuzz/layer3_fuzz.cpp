// layer3_fuzz.cpp - libFuzzer harness for the Layer III decoder: any byte string is decoded
// to its end. "MPEG2.0 unsupported" and "layer2 unsupported" are the correct answers to some
// inputs, so the exit hook turns them into an exception and the harness goes on; anything else
// (a crash, an out-of-bounds access under AddressSanitizer, undefined behaviour) is a finding.
// Build with clang: cmake -DTIR_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ ..., then run
//   build-fuzz/bin/fuzz_layer3_fuzz -max_total_time=60 CORPUS_DIR
// (the conformance streams and a few encoded frames make a good starting corpus).
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "music/layer3.h"
#include "platform/platform.h"

namespace {

struct Exit {};

void throwingExit(int) {
    throw Exit{};
}

void checkOutput(int count, const float* left, const float* right) {
    for (int i = 0; i < count; ++i) {
        if (!std::isfinite(left[i]) || (right && !std::isfinite(right[i]))) {
            std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool tablesBuilt = (initDecoderTables(), true);
    (void)tablesBuilt;
    sys::setExitHook(&throwingExit);
    setOutputRoutine(checkOutput);
    resetSynthesisState();
    Decoder* d = nullptr;
    try {
        d = openDecoderMemory(data, size);
        // Every call either consumes at least one byte or reports the end.
        while (d && decodeFrame(d) > 0) {
        }
    } catch (const Exit&) {
    }
    closeDecoder(d);
    sys::setExitHook(nullptr);
    return 0;
}
