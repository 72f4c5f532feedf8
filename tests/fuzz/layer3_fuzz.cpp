// layer3_fuzz.cpp - libFuzzer harness for the Layer III decoder: any byte string is decoded to
// its end (fuzz_targets.h). The conformance streams make a good starting corpus.
#include "tests/fuzz/fuzz_setup.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpHarness();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz::layer3Stream(data, size);
}
