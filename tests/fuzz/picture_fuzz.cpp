// picture_fuzz.cpp - libFuzzer harness for the JPEG, raw-picture and alpha loaders; the first
// byte of an input picks the loader (fuzz_targets.h).
#include "tests/fuzz/fuzz_setup.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpHarness();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz::picture(data, size);
}
