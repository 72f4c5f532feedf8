// scene_fuzz.cpp - libFuzzer harness for ".exp" scene files: read, animated and drawn through a
// GL table that does nothing (fuzz_targets.h).
#include "tests/fuzz/fuzz_setup.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpHarness();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz::sceneFile(data, size);
}
