// envelope.cpp - reading ".env" envelope files into scalar and vector tracks.
//
// Line 1 names the envelope (its first word). Every further line is a key: a word, the time, a
// word, the value (one number or x y z) and optionally tension, continuity and bias. The list
// ends at the first line on which no number converts.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "gfx/debug_channel.h"
#include "platform/platform.h"
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
    // Only the first word matters; a window keeps sscanf from measuring the whole text.
    char word[32] = {};
    size_t n = 0;
    const char* q = p;
    while (*q && std::isspace(static_cast<unsigned char>(*q))) {
        ++q;
    }
    while (q[n] && !std::isspace(static_cast<unsigned char>(q[n])) && n < sizeof word - 1) {
        word[n] = q[n];
        ++n;
    }
    std::sscanf(word, "%31s", name);
    p = nextLine(p);
}

bool isSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// Reads key lines with sscanf, in time linear in the length of the text.
//
// sscanf measures the whole remaining text before it converts anything, so calling it at every
// line start costs the square of the text's length (160,000 keys took 9 s). Yet one call can
// only reach as far as its conversions do: each conversion starts a new blank-delimited word or
// continues the one the previous conversion stopped in, so a format with k conversions never
// looks past the k-th word after the line start. The scanner cuts the text there with a
// temporary zero and hands sscanf that window: the same conversions, the same results.
//
// Two more things keep it linear when lines are blank. A line start inside a run of blanks
// converts exactly as the first word after the run does (the format starts by skipping
// blanks), so the end of the last run skipped is remembered, and so is the result of the last
// window: a run of a million empty lines costs one conversion.
class KeyLineScanner {
public:
    KeyLineScanner(const char* text, int conversions)
        : text(text, text + std::strlen(text) + 1), conversions(conversions) {}

    // The line starts of the caller's text map one to one onto this copy.
    const char* copyOf(const char* original, const char* base) const {
        return text.data() + (original - base);
    }

    // sscanf(line, format, ...) as if on the whole text; `store` receives the converted values
    // (up to 9 floats) and the call returns sscanf's result.
    int scan(const char* line, const char* format, float (&values)[9]) {
        const char* start = skipBlanks(line);
        if (start == lastStart) {
            std::copy(std::begin(lastValues), std::end(lastValues), std::begin(values));
            return lastResult;
        }
        char* end = const_cast<char*>(windowEnd(start));
        const char saved = *end;
        *end = '\0';
        float v[9] = {};
        const int n = std::sscanf(start, format, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6],
                                  &v[7], &v[8]);
        *end = saved;
        lastStart = start;
        lastResult = n;
        std::copy(std::begin(v), std::end(v), std::begin(lastValues));
        std::copy(std::begin(v), std::end(v), std::begin(values));
        return n;
    }

private:
    const char* skipBlanks(const char* p) {
        if (p >= runStart && p < runEnd) {
            return runEnd;
        }
        runStart = p;
        while (*p && isSpace(*p)) {
            ++p;
        }
        runEnd = p;
        return p;
    }

    // Just past the `conversions`-th word from `p` (which is not a blank), or the text's end.
    const char* windowEnd(const char* p) const {
        for (int word = 0; *p; ++word) {
            while (*p && !isSpace(*p)) {
                ++p;
            }
            if (word + 1 == conversions) {
                break;
            }
            while (*p && isSpace(*p)) {
                ++p;
            }
        }
        return p;
    }

    std::vector<char> text;
    int conversions;
    const char* runStart = nullptr;
    const char* runEnd = nullptr;
    const char* lastStart = nullptr;
    int lastResult = 0;
    float lastValues[9] = {};
};

} // namespace

// The conversions read from the start of the line and may run on into the next line for the
// optional numbers; a key line always starts with a word, so they stop there when the optional
// numbers are absent. This is sscanf's own behaviour, which the file format was written for.
void parseEnvelope(ScalarTrack& track, const char* text) {
    const char* p = text;
    readName(track.name, p);
    // Two words and five numbers.
    KeyLineScanner scanner(text, 7);
    std::vector<ScalarKey> keys;
    keys.reserve(64);
    while (*p) {
        float v[9];
        const int n = scanner.scan(scanner.copyOf(p, text), "%*s %f %*s %f %f %f %f\n", v);
        if (n <= 0) {
            break;
        }
        if (n == 2 || n == 5) {
            ScalarKey k{};
            k.time = v[0];
            k.value = v[1];
            if (n == 5) {
                k.tension = v[2];
                k.continuity = v[3];
                k.bias = v[4];
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
    // Two words and seven numbers.
    KeyLineScanner scanner(text, 9);
    std::vector<VectorKey> keys;
    keys.reserve(64);
    while (*p) {
        float v[9];
        const int n = scanner.scan(scanner.copyOf(p, text), "%*s %f %*s %f %f %f %f %f %f\n", v);
        if (n <= 0) {
            break;
        }
        if (n == 4 || n == 7) {
            VectorKey k{};
            k.time = v[0];
            k.value[0] = v[1];
            k.value[1] = v[2];
            k.value[2] = v[3];
            if (n == 7) {
                k.tension = v[4];
                k.continuity = v[5];
                k.bias = v[6];
            }
            keys.push_back(k);
        }
        p = nextLine(p);
    }
    track.allocate(static_cast<int>(keys.size()));
    std::copy(keys.begin(), keys.end(), track.keys);
    computeTangents(track);
}

namespace {

// An envelope without keys loads (its users get 0 from it), but not without a word: it is most
// likely a damaged or wrong file.
void reportNoKeys(const char* fileName, const char* kind) {
    char line[400];
    std::snprintf(line, sizeof line,
                  "The envelope \"%s\" has no %s key lines; it gives 0 at every time.\n", fileName,
                  kind);
    debugPrint("%s", line);
}

} // namespace

// The loaded text is NUL-terminated: file buffers carry one zero byte past their contents.
void loadEnvelope(ScalarTrack& track, const char* fileName) {
    LoadedFile* file = searchPath.load(fileName, loadFatal);
    parseEnvelope(track, static_cast<const char*>(file->lock()));
    file->unlock();
    delete file;
    if (track.keyCount == 0) {
        reportNoKeys(fileName, "scalar");
    }
}

void loadVectorEnvelope(VectorTrack& track, const char* fileName) {
    LoadedFile* file = searchPath.load(fileName, loadFatal);
    parseVectorEnvelope(track, static_cast<const char*>(file->lock()));
    file->unlock();
    delete file;
    if (track.keyCount == 0) {
        reportNoKeys(fileName, "vector");
    }
}
