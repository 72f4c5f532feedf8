// companion_fuzz.cpp - libFuzzer harness for the compressed-sample companion: records, stream
// table and the streams themselves, restored into a module image (fuzz_targets.h).
#include "tests/fuzz/fuzz_setup.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpHarness();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz::companion(data, size);
}
