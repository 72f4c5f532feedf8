// test_search_path.cpp - the archive format, the search order, locking, and damaged archives.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>

#include "platform/fatal.h"
#include "resources/search_path.h"
#include "test_support.h"
#include "tools/common/archive_writer.h"

using namespace testing_support;

namespace {

std::vector<unsigned char> bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

void put32(std::vector<unsigned char>& image, size_t at, int32_t v) {
    std::memcpy(&image[at], &v, 4);
}

// A search path over a scratch folder: working directory, textures folder, archive.
struct Fixture : ::testing::Test {
    ScratchDir dir{"search"};
    std::unique_ptr<WorkingDir> cwd;
    std::vector<FileSource*> sources;

    void SetUp() override {
        cwd = std::make_unique<WorkingDir>(dir.path);
        std::filesystem::create_directories(dir.path / "textures");
    }
    void TearDown() override {
        searchPath.clear();
        for (FileSource* s : sources) {
            delete s;
        }
        cwd.reset();
    }
    void makeArchive(const std::vector<ArchiveInput>& entries) {
        std::string error;
        ASSERT_TRUE(writeArchive(dir.file("tir.val"), entries, error)) << error;
    }
    void registerAll() {
        sources = {new DirectorySource(""), new DirectorySource(".\\textures\\"),
                   new ArchiveSource("tir.val")};
        for (FileSource* s : sources) {
            searchPath.add(s);
        }
    }
    ArchiveSource& archive() const { return *static_cast<ArchiveSource*>(sources[2]); }
    std::string loadText(const char* name) {
        LoadedFile* f = searchPath.load(name, loadQuiet);
        if (!f) {
            return "<null>";
        }
        std::string s(static_cast<const char*>(f->lock()), static_cast<size_t>(f->size));
        f->unlock();
        delete f;
        return s;
    }
};

} // namespace

TEST_F(Fixture, LookupIgnoresCaseAndArchiveComesFirst) {
    makeArchive({{"Mystified.ENV", bytes("from archive")}, {"b.txt", bytes("bee")}});
    writeFile(dir.file("mystified.env"), std::string("from working directory"));
    writeFile(dir.file("only-here.txt"), std::string("cwd"));
    writeFile((dir.path / "textures" / "only-here.txt").string(), std::string("textures"));
    registerAll();
    EXPECT_EQ(loadText("mystified.env"), "from archive");
    EXPECT_EQ(loadText("MYSTIFIED.env"), "from archive");
    EXPECT_EQ(loadText("mYsTiFiEd.EnV"), "from archive");
    EXPECT_EQ(loadText("only-here.txt"), "textures"); // textures before the working directory
    EXPECT_EQ(loadText("B.TXT"), "bee");
    EXPECT_EQ(archive().entryCount(), 2);
    EXPECT_EQ(archive().entry(0).name, "B.TXT"); // sorted, upper-cased
}

TEST_F(Fixture, ScramblingDependsOnPositionInsideTheEntryOnly) {
    const std::string same(8, 'A');
    makeArchive({{"one.bin", bytes(same)}, {"two.bin", bytes(same)}});
    const auto image = readFile(dir.file("tir.val"));
    // The two entries' data lie at different offsets but are stored with the same bytes.
    const size_t dataStart = image.size() - 16;
    EXPECT_EQ(0, std::memcmp(&image[dataStart], &image[dataStart + 8], 8));
    EXPECT_EQ(image[dataStart], 'A' ^ 181);
    EXPECT_EQ(image[dataStart + 1], 'A' ^ ((181 + 109) & 255));
    EXPECT_NE(image[dataStart], image[dataStart + 1]);
    registerAll();
    EXPECT_EQ(loadText("two.bin"), same);
}

TEST_F(Fixture, JpegEntriesAreStoredPlainForTheStreamPath) {
    const std::string jpeg = "\xFF\xD8 pretend jpeg";
    makeArchive({{"Pic.JPG", bytes(jpeg)}, {"raw.rgb", bytes("xyz")}});
    EXPECT_TRUE(archiveStoresPlain("Pic.JPG"));
    EXPECT_FALSE(archiveStoresPlain("raw.rgb"));
    registerAll();
    FILE* f = searchPath.openStream("pic.jpg", 0);
    ASSERT_NE(f, nullptr);
    char buffer[32] = {};
    ASSERT_EQ(std::fread(buffer, 1, jpeg.size(), f), jpeg.size());
    EXPECT_EQ(std::string(buffer, jpeg.size()), jpeg);
    EXPECT_FALSE(archive().holdsStream()); // the stream now belongs to the caller
    // The next lookup reopens the archive; the earlier stream stays with its caller.
    EXPECT_EQ(loadText("raw.rgb"), "xyz");
    EXPECT_TRUE(archive().holdsStream());
    std::fseek(f, 0, SEEK_SET);
    EXPECT_EQ(std::fgetc(f),
              static_cast<int>(jpeg.size())); // still readable: the first header's size
    std::fclose(f);
}

TEST_F(Fixture, NextOffsetZeroMeansTheHeaderFollowsTheName) {
    makeArchive({{"a", bytes("1")}, {"bb", bytes("22")}, {"ccc", bytes("333")}});
    const auto image = readFile(dir.file("tir.val"));
    int32_t next;
    std::memcpy(&next, &image[20], 4);
    EXPECT_EQ(next, 0);
    registerAll();
    EXPECT_EQ(loadText("ccc"), "333");
    EXPECT_EQ(archive().entryCount(), 3);
}

TEST_F(Fixture, MissingFilesAreQuietInMode1977AndFatalOtherwise) {
    makeArchive({{"a", bytes("1")}});
    registerAll();
    EXPECT_EQ(searchPath.load("nothing.here", loadQuiet), nullptr);
    ::testing::internal::CaptureStderr();
    const int code = exitCodeOf([] { searchPath.load("nothing.here", loadFatal); });
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(code, 0);
    EXPECT_NE(err.find("FILE NOT FOUND\n nothing.here"), std::string::npos) << err;
    EXPECT_NE(err.find("file not found"), std::string::npos);
}

TEST_F(Fixture, StreamMissInArchiveNeverHandsOutAWrongStream) {
    makeArchive({{"a", bytes("1")}});
    writeFile((dir.path / "textures" / "x.jpg").string(), std::string("dir jpeg"));
    registerAll();
    ::testing::internal::CaptureStderr();
    FILE* f = searchPath.openStream("x.jpg", 0);
    const std::string err = ::testing::internal::GetCapturedStderr();
    // The archive reports its miss; the next source serves the file from its own start.
    EXPECT_NE(err.find("FILE ERROR : File not found : X.JPG"), std::string::npos) << err;
    ASSERT_NE(f, nullptr);
    char buffer[9] = {};
    ASSERT_EQ(std::fread(buffer, 1, 8, f), 8u);
    EXPECT_STREQ(buffer, "dir jpeg");
    std::fclose(f);
    sys::Message m;
    bool quit = false;
    while (sys::peekMessage(m)) {
        quit |= m.message == sys::WM_QUIT;
    }
    EXPECT_TRUE(quit);
}

TEST_F(Fixture, UnopenableArchiveIsReportedAndLookupsFallThrough) {
    writeFile(dir.file("plain.txt"), std::string("cwd"));
    ::testing::internal::CaptureStderr();
    registerAll(); // there is no tir.val
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("FILE ERROR : No archive file!!! tir.val"), std::string::npos) << err;
    EXPECT_NE(err.find("File systema error"), std::string::npos);
    EXPECT_EQ(loadText("plain.txt"), "cwd");
    sys::Message m;
    int quitCode = -1;
    while (sys::peekMessage(m)) {
        if (m.message == sys::WM_QUIT) {
            quitCode = static_cast<int>(m.wParam);
        }
    }
    EXPECT_NE(quitCode, 0); // the quit request carries a failure
    EXPECT_NE(quitCode, -1);
}

TEST_F(Fixture, LockingNeedsOneUnlockPerLock) {
    unsigned char data[4] = {1, 2, 3, 4};
    LoadedFile f(data, 4, 0);
    EXPECT_EQ(f.lock(), data);
    EXPECT_EQ(f.lock(), data);
    f.unlock();
    f.unlock();
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(exitCodeOf([&] { f.unlock(); }), 1);
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("Memory Exception:\ndata isn't locked"),
              std::string::npos);
    LoadedFile negative(data, -1, 0);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(exitCodeOf([&] { negative.lock(); }), 1);
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("Memory Exception:\nno memory"),
              std::string::npos);
}

TEST_F(Fixture, OverlongNamesAreRejectedNotOverflowed) {
    makeArchive({{"a", bytes("1")}});
    registerAll();
    const std::string longName(300, 'n');
    ::testing::internal::CaptureStderr();
    EXPECT_NE(exitCodeOf([&] { searchPath.load(longName.c_str(), loadQuiet); }), -1000);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("300 characters"), std::string::npos);
    ::testing::internal::CaptureStderr();
    const std::string longPath(250, 'p');
    EXPECT_NE(exitCodeOf([&] { ArchiveSource s(longPath.c_str()); }), -1000);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("archive path too long"),
              std::string::npos);
    std::string error;
    std::vector<unsigned char> image;
    EXPECT_FALSE(buildArchive({{std::string(255, 'x'), {}}}, image, error));
    EXPECT_FALSE(buildArchive({{"Same", {}}, {"SAME", {}}}, image, error));
}

// Each damaged directory ends with a report that names the archive and the fault.
TEST_F(Fixture, DamagedDirectoriesAreReportedNeverReadOutOfBounds) {
    std::vector<unsigned char> good;
    std::string error;
    ASSERT_TRUE(buildArchive({{"first", bytes("11")}, {"second", bytes("2222")}}, good, error));
    const size_t second = 28 + 6; // header + "FIRST\0"
    struct Case {
        const char* what;
        std::function<void(std::vector<unsigned char>&)> damage;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"data past the end", [](auto& im) { put32(im, 12, 1 << 20); }, "data lies past the end"},
        {"size past the end",
         [](auto& im) {
             put32(im, 4, 1 << 20);
             put32(im, 0, 1 << 20);
         },
         "data lies past the end"},
        {"size beyond the archive", [](auto& im) { put32(im, 0, 1 << 30); },
         "size is larger than the archive"},
        {"stored more than size", [](auto& im) { put32(im, 4, 3); }, "more bytes than its size"},
        {"name offset past the end", [](auto& im) { put32(im, 16, 1 << 20); },
         "name lies past the end"},
        {"name length 0", [](auto& im) { put32(im, 8, 0); }, "name length of 0 or over 255"},
        {"name length 256", [](auto& im) { put32(im, 8, 256); }, "name length of 0 or over 255"},
        {"negative size", [](auto& im) { put32(im, 0, -5); }, "negative size"},
        {"loop onto itself",
         [](auto& im) {
             put32(im, 20, 0);
             put32(im, second + 20, 0x7FFFFFFF);
         },
         "past the end"},
        {"chain goes backwards",
         [second](auto& im) {
             put32(im, second + 20, 0);
             put32(im, second + 16, 4);
         },
         "loops or goes backwards"},
        {"chain loops",
         [second](auto& im) { put32(im, second + 20, static_cast<int32_t>(second)); },
         "loops or goes backwards"},
        {"truncated header", [](auto& im) { im.resize(20); }, "past the end"},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> image = good;
        c.damage(image);
        writeFile(dir.file("tir.val"), image);
        ::testing::internal::CaptureStderr();
        const int code = exitCodeOf([] { ArchiveSource s("tir.val"); });
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(code, 0) << c.what;
        EXPECT_NE(code, -1000) << c.what;
        EXPECT_NE(err.find("tir.val"), std::string::npos) << c.what << ": " << err;
        EXPECT_NE(err.find(c.expected), std::string::npos) << c.what << ": " << err;
    }
}

TEST_F(Fixture, MoreThan1000EntriesAreReported) {
    // 1001 headers chained by hand: the writer itself refuses to make such an archive.
    std::vector<unsigned char> image;
    for (int i = 0; i < 1001; ++i) {
        const size_t at = image.size();
        image.resize(at + 28 + 2);
        put32(image, at + 0, 0);
        put32(image, at + 4, 0);
        put32(image, at + 8, 2);
        put32(image, at + 12, 0);
        put32(image, at + 16, static_cast<int32_t>(at + 28));
        put32(image, at + 20, i == 1000 ? -1 : 0);
        image[at + 24] = '0';
        image[at + 28] = static_cast<unsigned char>('A' + i % 26);
        image[at + 29] = 0;
    }
    writeFile(dir.file("tir.val"), image);
    ::testing::internal::CaptureStderr();
    const int code = exitCodeOf([] { ArchiveSource s("tir.val"); });
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(code, 0);
    EXPECT_NE(err.find("more than 1000 entries"), std::string::npos) << err;
}

// A file that is no archive at all (its first header does not read as one) is said to be that,
// with the line the players give on how to make the right one; an archive that goes wrong
// further in is damaged.
TEST_F(Fixture, ForeignFilesAreNoArchivesAndLaterFaultsAreDamage) {
    archiveAdvice = "Make the default data.";
    std::mt19937 random(7);
    std::vector<unsigned char> noise(5000);
    for (unsigned char& b : noise) {
        b = static_cast<unsigned char>(random());
    }
    std::vector<unsigned char> good;
    std::string error;
    ASSERT_TRUE(buildArchive({{"first", bytes("11")}, {"second", bytes("2222")}}, good, error));
    std::vector<unsigned char> damaged = good;
    put32(damaged, 28 + 6 + 8, 0); // the second entry's name length
    const struct {
        const char* what;
        std::vector<unsigned char> image;
        const char* expected;
    } cases[] = {
        {"random bytes", noise, "FILE ERROR : tir.val is not a TIR VAL archive ("},
        {"an empty file", {}, "FILE ERROR : tir.val is not a TIR VAL archive (the file is empty"},
        {"text", bytes("hello, this is not an archive at all"), "is not a TIR VAL archive"},
        {"a damaged second entry", damaged, "FILE ERROR : the archive tir.val is damaged: a name"},
    };
    for (const auto& c : cases) {
        writeFile(dir.file("tir.val"), c.image);
        ::testing::internal::CaptureStderr();
        const int code = exitCodeOf([] { ArchiveSource s("tir.val"); });
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, sys::fatalExitCode) << c.what;
        EXPECT_NE(err.find(c.expected), std::string::npos) << c.what << ": " << err;
        const bool foreign = std::string(c.expected).find("not a TIR VAL") != std::string::npos;
        EXPECT_EQ(err.find("Make the default data.") != std::string::npos, foreign) << err;
        EXPECT_EQ(err.find("damaged") != std::string::npos, !foreign) << err;
    }
    archiveAdvice.clear();
}

// Loose files: a name that misses exactly finds the file whose name differs only in case, in
// the working directory and in textures/, for whole-file loads and streams alike. An exact
// match wins over other spellings; of several other spellings the first in byte order serves;
// a file added after the folder was first listed is found too; a folder never counts.
TEST_F(Fixture, FolderSourcesFindNamesRegardlessOfCase) {
    writeFile(dir.file("MYSTIFIED.ENV"), std::string("upper"));
    writeFile((dir.path / "textures" / "Credit0.JPG").string(), std::string("jpeg"));
    writeFile(dir.file("a.txt"), std::string("exact"));
    writeFile(dir.file("A.TXT"), std::string("other"));
    writeFile(dir.file("b.TXT"), std::string("lower b"));
    writeFile(dir.file("B.txt"), std::string("upper B"));
    std::filesystem::create_directory(dir.path / "Scene.EXP");
    sources = {new DirectorySource(""), new DirectorySource(".\\textures\\")};
    for (FileSource* s : sources) {
        searchPath.add(s);
    }
    EXPECT_EQ(loadText("mystified.env"), "upper");
    EXPECT_EQ(loadText("a.txt"), "exact");
    EXPECT_EQ(loadText("A.TXT"), "other");
    EXPECT_EQ(loadText("b.txt"), "upper B"); // "B.txt" < "b.TXT" in byte order
    EXPECT_EQ(loadText("scene.exp"), "<null>");
    FILE* f = searchPath.openStream("CREDIT0.jpg", 0);
    ASSERT_NE(f, nullptr);
    char text[5] = {};
    EXPECT_EQ(std::fread(text, 1, 4, f), 4u);
    std::fclose(f);
    EXPECT_STREQ(text, "jpeg");
    EXPECT_EQ(loadText("late.env"), "<null>");
    // A name the listing lacks lists the folder again: a file added since is found.
    writeFile(dir.file("LATE.ENV"), std::string("late"));
    EXPECT_EQ(loadText("late.env"), "late");
}
