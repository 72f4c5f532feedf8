// fuzz_setup.h - the start of every libFuzzer harness: a fresh scratch folder that is also the
// working directory (the targets write their inputs there, and old-form companion records name
// files relative to it), headless SDL drivers, a GL table that does nothing, and texture loading
// stubbed out while scenes are read.
//
// Build and run (see `make fuzz`):
//   cmake -S . -B build-fuzz -DTIR_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
//   cmake --build build-fuzz --target fuzzers
//   build-fuzz/bin/fuzz_NAME -max_total_time=60 CORPUS_DIR
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/fuzz/fuzz_targets.h"
#include "tools/common/offscreen_gl.h"

namespace fuzz {

inline void setUpHarness() {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    std::string folder = (std::filesystem::temp_directory_path() / "tirval-fuzz-XXXXXX").string();
    if (!mkdtemp(folder.data())) {
        std::abort();
    }
    std::filesystem::current_path(folder);
    scratchFolder() = folder + "/";
    installNullGl();
    sceneState.useTextureLoader(&countingTextureLoader);
}

} // namespace fuzz
