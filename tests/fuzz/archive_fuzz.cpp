// archive_fuzz.cpp - libFuzzer harness for the archive: the directory reader and every entry
// loaded through the archive source (fuzz_targets.h).
#include "tests/fuzz/fuzz_setup.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpHarness();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz::archive(data, size);
}
