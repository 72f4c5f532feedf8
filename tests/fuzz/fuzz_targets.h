// fuzz_targets.h - one function per reader that takes any byte string through it, shared by the
// libFuzzer harnesses (one program each in tests/fuzz/) and by the regression test that replays
// every input they ever stopped on (tests/data/fuzz/NAME/).
//
// A fatal report is the right answer to a damaged input, so the exit hook turns it into an
// exception and the target returns normally; a crash, a sanitizer report, a leak or a hang is a
// finding. Targets that read files write their input into a scratch folder first and find it
// there through the search path, as the demo finds its data.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/demo_clock.h"
#include "gfx/gl_api.h"
#include "gfx/render_state.h"
#include "music/companion.h"
#include "music/layer3.h"
#include "music/music_player.h"
#include "platform/fsound.h"
#include "platform/platform.h"
#include "resources/search_path.h"
#include "resources/textures.h"
#include "scene/scene.h"
#include "scene/scene_state.h"
#include "scene/track.h"

namespace fuzz {

struct Exit {};

inline void throwingExit(int) {
    throw Exit{};
}

// Turns the process exit into an Exit exception while it lives.
struct ExitTrap {
    ExitTrap() { sys::setExitHook(&throwingExit); }
    ~ExitTrap() { sys::setExitHook(nullptr); }
    ExitTrap(const ExitTrap&) = delete;
    ExitTrap& operator=(const ExitTrap&) = delete;
};

// Runs `f`; an exit through the fatal path ends it early. Returns whether it ran to its end.
template <class F> bool runTrapped(F&& f) {
    ExitTrap trap;
    try {
        f();
    } catch (const Exit&) {
        return false;
    }
    return true;
}

// The folder the file-based targets write into: set by the harness (a fresh temporary folder)
// or by the regression test. Its path ends with a separator.
inline std::string& scratchFolder() {
    static std::string folder;
    return folder;
}

inline void writeScratch(const char* name, const uint8_t* data, size_t size) {
    const std::string path = scratchFolder() + name;
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size) {
            std::fwrite(data, 1, size, f);
        }
        std::fclose(f);
    }
}

inline void removeScratch(const char* name) {
    std::remove((scratchFolder() + name).c_str());
}

// A search path with the scratch folder as its only source, for the targets that load by name.
inline void useScratchSearchPath() {
    static DirectorySource* source = nullptr;
    searchPath.clear();
    delete source;
    source = new DirectorySource(scratchFolder().c_str());
    searchPath.add(source);
}

// Stands in for texture loading while scenes are read: each name gets a fresh positive id.
inline int countingTextureLoader(const char*) {
    static int next = 1;
    next = next < 1000000 ? next + 1 : 1;
    return next;
}

// Little-endian unsigned of `bytes` bytes at `p`.
inline size_t readLength(const uint8_t* p, int bytes) {
    size_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = v << 8 | p[i];
    }
    return v;
}

// ---------------------------------------------------------------------------------------------
// The archive: the directory reader, then every entry loaded through the archive source.
inline int archive(const uint8_t* data, size_t size) {
    writeScratch("fuzz.val", data, size);
    const std::string path = scratchFolder() + "fuzz.val";
    runTrapped([&] {
        ArchiveSource source(path.c_str());
        for (int i = 0; i < source.entryCount(); ++i) {
            if (LoadedFile* file = source.load(source.entry(i).name.c_str(), loadQuiet)) {
                delete file;
            }
        }
    });
    discardFileBuffers();
    return 0;
}

// ---------------------------------------------------------------------------------------------
// The Layer III decoder: any byte string is decoded to its end. Every output value must be a
// finite number.
inline void checkDecodedOutput(int count, const float* left, const float* right) {
    for (int i = 0; i < count; ++i) {
        if (!std::isfinite(left[i]) || (right && !std::isfinite(right[i]))) {
            std::abort();
        }
    }
}

inline int layer3Stream(const uint8_t* data, size_t size) {
    static const bool tablesBuilt = (initDecoderTables(), true);
    (void)tablesBuilt;
    setOutputRoutine(&checkDecodedOutput);
    resetSynthesisState();
    Decoder* d = nullptr;
    runTrapped([&] {
        d = openDecoderMemory(data, size, "the fuzz input");
        // Every call either consumes at least one byte or reports the end.
        while (d && decodeFrame(d) > 0) {
        }
        if (d) {
            decoderProblem(d);
        }
    });
    closeDecoder(d);
    setOutputRoutine(nullptr);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Scene files: read, then animated and drawn at a few times (through whatever GL table is
// installed) so that the tracks, normals and materials the reader built are used as the demo
// uses them.
inline int sceneFile(const uint8_t* data, size_t size) {
    if (size > 0x7FFFFFFF) {
        return 0;
    }
    // A copy with the zero byte every loaded file carries after its contents.
    std::vector<unsigned char> bytes(data, data + size);
    bytes.push_back(0);
    auto* scene = new Scene("fuzz.exp");
    scene->format = formatExp;
    const bool read = runTrapped(
        [&] { readKexp(scene, new LoadedFile(bytes.data(), static_cast<int>(size), loadFatal)); });
    if (read) {
        runTrapped([&] {
            for (const float t : {0.0f, 0.5f, 7.25f, 1.0e6f}) {
                renderState.setFadeFactor(1.0f);
                beginPrimitive(GL_TRIANGLES);
                drawScene(scene, t);
                endPrimitive();
            }
        });
    }
    delete scene;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Pictures. The first byte picks the loader: 0 a JPEG texture, 1 a raw 256 x 256 texture,
// 2 a colour picture with an alpha file. For 2, byte 1 picks a JPEG (odd) or raw (even) colour
// picture, bytes 2-4 give the colour file's length and the rest is the alpha file.
inline int picture(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    useScratchSearchPath();
    const int kind = data[0] % 3;
    if (kind == 0) {
        writeScratch("fuzz.jpg", data + 1, size - 1);
        runTrapped([] { loadTexture("fuzz.jpg"); });
    } else if (kind == 1) {
        writeScratch("fuzz.raw", data + 1, size - 1);
        runTrapped([] { loadTexture("fuzz.raw"); });
    } else if (size >= 5) {
        const bool jpeg = data[1] & 1;
        const size_t colour = std::min(readLength(data + 2, 3), size - 5);
        const char* colourName = jpeg ? "colour.jpg" : "colour.raw";
        writeScratch(colourName, data + 5, colour);
        writeScratch("fuzz.tga", data + 5 + colour, size - 5 - colour);
        runTrapped([&] { loadTextureWithAlpha(colourName, "fuzz.tga"); });
    }
    discardFileBuffers();
    return 0;
}

// ---------------------------------------------------------------------------------------------
// The companion restore over a module image of 1 MiB. Records in the old form name files in
// the working directory, which the harness makes an empty scratch folder.
inline int companion(const uint8_t* data, size_t size) {
    static std::vector<unsigned char> image(1 << 20);
    std::fill(image.begin(), image.end(), 0);
    runTrapped([&] { restoreSamplesInto(image.data(), image.size(), data, size, "fuzz.m3d"); });
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Module loading through the music player and the sound-library layer: bytes 0-3 give the
// module's length, the module follows, and the rest (when there is any) is its companion.
// The sound library must be initialised (the harness opens it on SDL's dummy audio driver).
inline int module(const uint8_t* data, size_t size) {
    if (size < 4) {
        return 0;
    }
    useScratchSearchPath();
    const size_t length = std::min(readLength(data, 4), size - 4);
    writeScratch("mystified.xm", data + 4, length);
    if (size - 4 > length) {
        writeScratch("mystified.m3d", data + 4 + length, size - 4 - length);
    } else {
        removeScratch("mystified.m3d");
    }
    static MusicPlayer player;
    player.initialised = 1;
    runTrapped([&] {
        if (player.load("mystified.xm") && player.song) {
            const int order = FMUSIC_GetOrder(player.song);
            FMUSIC_SetOrder(player.song, order + 1);
            FMUSIC_GetOrder(player.song);
        }
    });
    if (player.song) {
        FMUSIC_FreeSong(player.song);
        player.song = nullptr;
    }
    player.moduleImage = nullptr;
    discardFileBuffers();
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Envelope text on its own: both readers, evaluation at a few times, and the synchronisation
// envelope's check.
inline int envelopeText(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ScalarTrack scalar;
    parseEnvelope(scalar, text.c_str());
    VectorTrack vector;
    parseVectorEnvelope(vector, text.c_str());
    for (const float t : {-1.0f, 0.0f, 0.5f, 3.0f, 186.5f, 1.0e9f}) {
        evaluate(scalar, t);
        evaluate(vector, t);
    }
    if (scalar.keyCount > 0) {
        runTrapped([&] {
            checkSyncEnvelope(scalar, "fuzz.env", 186.5f);
            DemoClock clock;
            clock.replaceSyncEnvelope(&scalar);
            for (const int order : {-1, 0, 1, scalar.lastIndex, scalar.keyCount + 5}) {
                clock.syncToOrder(order, 0);
                if (!std::isfinite(clock.update(1000, 1000))) {
                    std::abort(); // a checked envelope never gives a demo time that is no number
                }
            }
        });
    }
    return 0;
}

} // namespace fuzz
