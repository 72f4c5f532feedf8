// test_damaged_archive_player.cpp - the player program on a damaged copy of the default data
// archive: truncated at several places, and with bits flipped in its directory. Each run must
// end with a message that names what is damaged and a non-zero exit status, or (for a flip in
// an entry the player never reads) play on until it is interrupted; it never crashes and never
// hangs.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <random>

#include "forge_test_support.h"

using namespace testing_support;

namespace {

struct Header {
    size_t at;        // offset of the 28-byte header
    std::string name; // as stored (upper case)
};

int32_t get32(const std::vector<unsigned char>& b, size_t at) {
    int32_t v;
    std::memcpy(&v, &b[at], 4);
    return v;
}

// The chain of entry headers of a well-formed archive.
std::vector<Header> directoryOf(const std::vector<unsigned char>& archive) {
    std::vector<Header> headers;
    size_t at = 0;
    for (;;) {
        const int32_t nameLength = get32(archive, at + 8);
        const int32_t nameOffset = get32(archive, at + 16);
        const int32_t next = get32(archive, at + 20);
        headers.push_back({at, std::string(reinterpret_cast<const char*>(&archive[nameOffset]))});
        if (next == -1) {
            break;
        }
        at = next == 0 ? static_cast<size_t>(nameOffset + nameLength) : static_cast<size_t>(next);
    }
    return headers;
}

// The player in `dir`: a run that ends by itself, or that is interrupted once its start-up is
// over, which the sound shows: the music starts only after every file of the start-up was read
// (an interrupt before then would end the player at once, before it met the damage).
ProgramRun runPlayer(const ScratchDir& dir) {
    // The last run's files, which would count as this one's.
    std::filesystem::remove(dir.file("log"));
    std::filesystem::remove(dir.file("out.raw"));
    const std::string cmd = "env ASAN_OPTIONS=detect_leaks=0 SDL_VIDEODRIVER=offscreen "
                            "SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=out.raw '" +
                            std::string(TIR_BIN_DIR) + "/player' > log 2>&1";
    return runUntil(dir.path.string(), cmd,
                    [&] { return soundingFramesIn(dir.file("out.raw")) > 0; });
}

// The message names what is damaged: the archive, or the entry that cannot be used. The
// archive's own reports upper-case entry names.
bool namesTheDamage(const std::string& log, const std::string& entry) {
    std::string lower = entry;
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return log.find("tir.val") != std::string::npos || log.find(entry) != std::string::npos ||
           log.find(lower) != std::string::npos;
}

// Cut at several places, and bits flipped in the headers and names of the three files the
// player reads first: each run ends by itself with a message that names the archive or the
// damaged file, and a failure code; none crashes.
TEST(DamagedArchive, PlayerEndsWithAMessageNamingTheDamage) {
    const ForgedDataSet& forged = forgedDataSet();
    if (!forged.made && forgeTool().empty()) {
        GTEST_SKIP() << "forge is not built";
    }
    ASSERT_TRUE(forged.made) << forged.log;
    const std::vector<unsigned char> good = readFile(forged.dir->file("tir.val"));
    const std::vector<Header> headers = directoryOf(good);
    ASSERT_GT(headers.size(), 3u);
    const size_t directoryEnd = headers.back().at + 28 + 20;

    struct Damage {
        std::string what;
        std::string entry; // the entry damaged, or "" for the archive as a whole
        std::vector<unsigned char> bytes;
    };
    std::vector<Damage> mustEnd;
    for (const size_t keep : {size_t{20}, directoryEnd / 2, good.size() / 2, good.size() - 1000}) {
        mustEnd.push_back({"cut to " + std::to_string(keep) + " bytes", "",
                           std::vector<unsigned char>(good.begin(), good.begin() + keep)});
    }
    for (const Header& h : headers) {
        if (h.name.rfind("MYSTIFIED.", 0) != 0) {
            continue;
        }
        const std::pair<const char*, size_t> fields[] = {{"size", 3},
                                                         {"stored size", 3},
                                                         {"name length", 10},
                                                         {"data offset", 15},
                                                         {"name offset", 19}};
        for (const auto& [field, byte] : fields) {
            std::vector<unsigned char> bytes = good;
            bytes[h.at + byte] ^= 0x40;
            mustEnd.push_back({h.name + ": a bit of its " + field, h.name, bytes});
        }
        // A companion under another name is just missing, which is no error: the module plays
        // as stored.
        if (h.name != "MYSTIFIED.M3D") {
            std::vector<unsigned char> renamed = good;
            renamed[static_cast<size_t>(get32(good, h.at + 16))] ^= 0x04; // 'M' becomes 'I'
            mustEnd.push_back({h.name + ": a bit of its name", h.name, renamed});
        }
    }
    std::vector<unsigned char> loop = good;
    const auto back =
        static_cast<int32_t>(headers[1].at); // the third header leads back to the second
    std::memcpy(&loop[headers[2].at + 20], &back, 4);
    mustEnd.push_back({"a chain that loops", "", loop});

    ScratchDir folder("damaged-run");
    for (const Damage& d : mustEnd) {
        SCOPED_TRACE(d.what);
        writeFile(folder.file("tir.val"), d.bytes);
        const ProgramRun r = runPlayer(folder);
        const std::string log = readText(folder.file("log"));
        EXPECT_NE(r.status, 0) << log;
        EXPECT_LT(r.status, 128) << log; // no signal: no crash
        EXPECT_TRUE(namesTheDamage(log, d.entry)) << log;
        EXPECT_EQ(log.find("runtime error"), std::string::npos) << log;
        EXPECT_EQ(log.find("Sanitizer"), std::string::npos) << log;
    }

    // Single bits flipped anywhere in the directory: the player ends with a message, or plays
    // on (the flip hit a file it does not read at start-up, or one it reads unharmed) until it
    // is interrupted; it never crashes.
    std::mt19937 random(13);
    for (int i = 0; i < 6; ++i) {
        std::vector<unsigned char> bytes = good;
        const size_t at = random() % directoryEnd;
        bytes[at] ^= static_cast<unsigned char>(1u << (random() % 8));
        SCOPED_TRACE("bit flipped at byte " + std::to_string(at));
        writeFile(folder.file("tir.val"), bytes);
        const ProgramRun r = runPlayer(folder);
        const std::string log = readText(folder.file("log"));
        // Interrupted while playing: 128 + SIGINT through the normal close; any other signal is
        // a crash.
        EXPECT_TRUE(r.status < 128 || (r.reached && r.status == 128 + SIGINT)) << log;
        if (r.status != 0 && !(r.reached && r.status == 128 + SIGINT)) {
            EXPECT_TRUE(log.find("FILE ERROR") != std::string::npos ||
                        log.find("FILE NOT FOUND") != std::string::npos ||
                        log.find("damaged") != std::string::npos)
                << log;
        }
        EXPECT_EQ(log.find("runtime error"), std::string::npos) << log;
        EXPECT_EQ(log.find("Sanitizer"), std::string::npos) << log;
    }
}

} // namespace
