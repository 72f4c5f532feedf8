// envelope_fuzz.cpp - libFuzzer harness for envelope text on its own: the scalar and vector
// readers, evaluation, and the synchronisation envelope's check (fuzz_targets.h).
#include "tests/fuzz/fuzz_setup.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpHarness();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzz::envelopeText(data, size);
}
