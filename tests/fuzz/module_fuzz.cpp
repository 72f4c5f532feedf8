// module_fuzz.cpp - libFuzzer harness for module loading: the music player reads the module and
// its companion through the search path and hands the image to the sound-library layer, opened
// here on SDL's dummy audio driver (fuzz_targets.h).
#include "tests/fuzz/fuzz_setup.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpHarness();
    FSOUND_SetOutput(FSOUND_OUTPUT_NOSOUND);
    if (!FSOUND_Init(44100, 32)) {
        std::abort(); // nothing would be loaded: the harness would test nothing
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz::module(data, size);
}
