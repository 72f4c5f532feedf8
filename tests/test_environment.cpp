// test_environment.cpp - what every test process runs under, however it was started: SDL with
// an offscreen video driver and the dummy audio driver unless the caller named others, and in
// sanitizer builds the leak suppressions for what the GL driver and the audio back ends keep
// until the process ends.
#include <cstdlib>

#include "platform/sanitizer.h"

namespace {

// Before main, and so before any test initialises SDL; a caller's own choice is kept.
struct HeadlessSdl {
    HeadlessSdl() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
    }
} headlessSdl;

} // namespace

#if TIR_ADDRESS_SANITIZER
// LeakSanitizer reads its options from here before the program starts.
extern "C" const char* __lsan_default_options() {
    return "suppressions=" TIR_SOURCE_DIR "/tests/lsan.supp:print_suppressions=0";
}
#endif
