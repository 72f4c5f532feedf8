// test_damaged_archive_player.cpp - the player program on a damaged copy of the default data
// archive: truncated at several places, and with bits flipped in its directory. Each run must
// end with a message a person can read and a non-zero exit status, or (for a flip in an entry
// the player never reads) play on until it is interrupted; it never crashes and never hangs.
// A run cut short by the interrupt ends with 128 + SIGINT, a crash with the signal that
// killed it.
#include <gtest/gtest.h>

#include <cstring>
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

struct PlayerRun {
    int status; // exit status, or 128 + signal
    std::string log;
};

// An interrupt ends a player that is playing with 128 + SIGINT, through its normal close.
constexpr int interrupted = 128 + 2;

// The player in `folder` for at most `seconds`, then interrupted (it ends with `interrupted`).
PlayerRun runPlayer(const ScratchDir& dir, int seconds) {
    const std::string cmd = "cd " + dir.path.string() +
                            " && ASAN_OPTIONS=detect_leaks=0 SDL_VIDEODRIVER=offscreen "
                            "SDL_AUDIODRIVER=dummy timeout --preserve-status -s INT " +
                            std::to_string(seconds) + " " + std::string(TIR_BIN_DIR) +
                            "/player > log 2>&1";
    const int status = std::system(cmd.c_str());
    const auto log = readFile(dir.file("log"));
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
            std::string(log.begin(), log.end())};
}

bool saysWhatIsWrong(const std::string& log) {
    for (const char* mark : {"FILE ERROR", "FILE NOT FOUND", "damaged", "cannot", "Error:"}) {
        if (log.find(mark) != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST(DamagedArchiveRealTime, PlayerEndsWithAClearMessageAndNeverCrashes) {
    if (forgeTool().empty()) {
        GTEST_SKIP() << "forge is not built";
    }
    ScratchDir forged("damaged-forge");
    ASSERT_EQ(runForge("--out '" + forged.path.string() + "'", forged.file("log")), 0);
    const std::vector<unsigned char> good = readFile(forged.file("tir.val"));
    const std::vector<Header> headers = directoryOf(good);
    ASSERT_GT(headers.size(), 3u);
    const size_t directoryEnd = headers.back().at + 28 + 20;

    struct Damage {
        std::string what;
        std::vector<unsigned char> bytes;
    };
    std::vector<Damage> mustEnd;
    for (const size_t keep : {size_t{20}, directoryEnd / 2, good.size() / 2, good.size() - 1000}) {
        mustEnd.push_back({"cut to " + std::to_string(keep) + " bytes",
                           std::vector<unsigned char>(good.begin(), good.begin() + keep)});
    }
    // Flips in the headers of the three files the player reads first.
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
            mustEnd.push_back({h.name + ": a bit of its " + field, bytes});
        }
        // A companion under another name is just missing, which is no error: the module plays
        // as stored.
        if (h.name != "MYSTIFIED.M3D") {
            std::vector<unsigned char> renamed = good;
            renamed[static_cast<size_t>(get32(good, h.at + 16))] ^= 0x04; // 'M' becomes 'I'
            mustEnd.push_back({h.name + ": a bit of its name", renamed});
        }
    }
    std::vector<unsigned char> loop = good;
    const auto back =
        static_cast<int32_t>(headers[1].at); // the third header leads back to the second
    std::memcpy(&loop[headers[2].at + 20], &back, 4);
    mustEnd.push_back({"a chain that loops", loop});

    ScratchDir folder("damaged-run");
    for (const Damage& d : mustEnd) {
        SCOPED_TRACE(d.what);
        writeFile(folder.file("tir.val"), d.bytes);
        const PlayerRun r = runPlayer(folder, 30);
        EXPECT_NE(r.status, 0) << r.log;
        EXPECT_LT(r.status, 128) << r.log; // no signal: no crash
        EXPECT_TRUE(saysWhatIsWrong(r.log)) << r.log;
        EXPECT_EQ(r.log.find("runtime error"), std::string::npos) << r.log;
        EXPECT_EQ(r.log.find("Sanitizer"), std::string::npos) << r.log;
    }

    // Single bits flipped anywhere in the directory: the player ends with a message, or plays
    // on (the flip hit a file it does not read at start-up) until it is interrupted.
    std::mt19937 random(13);
    for (int i = 0; i < 6; ++i) {
        std::vector<unsigned char> bytes = good;
        const size_t at = random() % directoryEnd;
        bytes[at] ^= static_cast<unsigned char>(1u << (random() % 8));
        SCOPED_TRACE("bit flipped at byte " + std::to_string(at));
        writeFile(folder.file("tir.val"), bytes);
        const PlayerRun r = runPlayer(folder, 5);
        EXPECT_TRUE(r.status < 128 || r.status == interrupted) << r.log;
        if (r.status != interrupted) {
            EXPECT_TRUE(saysWhatIsWrong(r.log)) << r.log;
        }
        EXPECT_EQ(r.log.find("runtime error"), std::string::npos) << r.log;
        EXPECT_EQ(r.log.find("Sanitizer"), std::string::npos) << r.log;
    }
}

} // namespace
