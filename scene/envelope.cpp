// envelope.cpp - reading ".env" envelope files into scalar and vector tracks.
//
// Line 1 names the envelope (its first word). Every further line is a key: a word, the time, a
// word, the value (one number or x y z) and optionally tension, continuity and bias. The list
// ends at the first line on which no number converts.
#include <cstdio>
#include <cstring>
#include <vector>

#include "resources/search_path.h"
#include "scene/track.h"

namespace {

// Moves to the start of the next line, or stays at the end of the text.
const char* nextLine(const char* p) {
    const char* nl = std::strchr(p, '\n');
    return nl ? nl + 1 : p + std::strlen(p);
}

void readName(char (&name)[32], const char*& p) {
    std::memset(name, 0, sizeof name);
    std::sscanf(p, "%31s", name);
    p = nextLine(p);
}

} // namespace

// The conversions read from the start of the line and may run on into the next line for the
// optional numbers; a key line always starts with a word, so they stop there when the optional
// numbers are absent. This is sscanf's own behaviour, which the file format was written for.
void parseEnvelope(ScalarTrack& track, const char* text) {
    const char* p = text;
    readName(track.name, p);
    std::vector<ScalarKey> keys;
    keys.reserve(64);
    while (*p) {
        float time = 0, value = 0, t = 0, c = 0, b = 0;
        const int n = std::sscanf(p, "%*s %f %*s %f %f %f %f\n", &time, &value, &t, &c, &b);
        if (n <= 0) {
            break;
        }
        if (n == 2 || n == 5) {
            ScalarKey k{};
            k.time = time;
            k.value = value;
            if (n == 5) {
                k.tension = t;
                k.continuity = c;
                k.bias = b;
            }
            keys.push_back(k);
        }
        p = nextLine(p);
    }
    track.allocate(static_cast<int>(keys.size()));
    std::copy(keys.begin(), keys.end(), track.keys);
    track.value = 0.0f;
    computeTangents(track);
}

void parseVectorEnvelope(VectorTrack& track, const char* text) {
    const char* p = text;
    track.value[0] = track.value[1] = track.value[2] = 0.0f;
    readName(track.name, p);
    std::vector<VectorKey> keys;
    keys.reserve(64);
    while (*p) {
        float time = 0, x = 0, y = 0, z = 0, t = 0, c = 0, b = 0;
        const int n =
            std::sscanf(p, "%*s %f %*s %f %f %f %f %f %f\n", &time, &x, &y, &z, &t, &c, &b);
        if (n <= 0) {
            break;
        }
        if (n == 4 || n == 7) {
            VectorKey k{};
            k.time = time;
            k.value[0] = x;
            k.value[1] = y;
            k.value[2] = z;
            if (n == 7) {
                k.tension = t;
                k.continuity = c;
                k.bias = b;
            }
            keys.push_back(k);
        }
        p = nextLine(p);
    }
    track.allocate(static_cast<int>(keys.size()));
    std::copy(keys.begin(), keys.end(), track.keys);
    computeTangents(track);
}

// The loaded text is NUL-terminated: file buffers carry one zero byte past their contents.
void loadEnvelope(ScalarTrack& track, const char* fileName) {
    LoadedFile* file = searchPath.load(fileName, loadFatal);
    parseEnvelope(track, static_cast<const char*>(file->lock()));
    file->unlock();
    delete file;
}

void loadVectorEnvelope(VectorTrack& track, const char* fileName) {
    LoadedFile* file = searchPath.load(fileName, loadFatal);
    parseVectorEnvelope(track, static_cast<const char*>(file->lock()));
    file->unlock();
    delete file;
}
