// test_tool_command_lines.cpp - the programs agree with each other as a user meets them: every
// one explains every option it has in --help and names itself in --version; forge will not
// replace data it finds; tirtool refuses inputs it cannot use, and outputs that are its own
// inputs, before writing anything; and every refusal names the program first, the path once
// and the reason once. The real programs run from the build's bin folder.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "forge_test_support.h"
#include "test_support.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status;
    std::string out, err;
};

// Runs `program` with `args` in `where`, headless, and keeps both output streams.
Outcome run(const ScratchDir& where, const std::string& program, const std::string& args) {
    const std::string line = "cd '" + where.path.string() +
                             "' && env SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy "
                             "ASAN_OPTIONS=detect_leaks=0 '" +
                             std::string(TIR_BIN_DIR) + "/" + program + "' " + args +
                             " > out.txt 2> err.txt";
    const int raw = std::system(line.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readText(where.file("out.txt")),
            readText(where.file("err.txt"))};
}

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++n;
    }
    return n;
}

// A refusal as the issue asks for it: one line or more on standard error that start with the
// program's name, say `path` exactly once, and hold `reason`; nothing on standard output.
void expectRefusal(const Outcome& r, const std::string& program, const std::string& path,
                   const std::string& reason) {
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err.rfind(program + ": ", 0), 0u) << r.err;
    EXPECT_EQ(count(r.err, path), 1u) << "the path once: " << r.err;
    EXPECT_EQ(count(r.err, reason), 1u) << "the reason once: " << r.err;
    EXPECT_EQ(r.out, "");
}

// The options a help text names in its usage lines ("usage: forge --out DIR ...", the lines
// that go on from it, "  tirtool pack ARCHIVE ..."), and those it explains: an indented line
// that starts with options and their values, two spaces before the explanation
// ("  --data DIR  run from ...", "    --scalar, --vector  read ...").
std::set<std::string> optionsNamed(const std::string& help, const std::string& program) {
    std::set<std::string> names;
    const std::regex usageLine("^(usage: | +" + program + " | +\\[)");
    const std::regex option("--[a-z][a-z-]*");
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);) {
        if (!std::regex_search(line, usageLine)) {
            continue;
        }
        for (auto it = std::sregex_iterator(line.begin(), line.end(), option);
             it != std::sregex_iterator(); ++it) {
            names.insert(it->str());
        }
    }
    return names;
}
std::set<std::string> optionsExplained(const std::string& help) {
    std::set<std::string> names;
    const std::regex option("--[a-z][a-z-]*");
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);) {
        const size_t start = line.find_first_not_of(' ');
        if (start == 0 || start == std::string::npos || line.compare(start, 2, "--") != 0) {
            continue;
        }
        const std::string lead = line.substr(start, line.find("  ", start) - start);
        for (auto it = std::sregex_iterator(lead.begin(), lead.end(), option);
             it != std::sregex_iterator(); ++it) {
            names.insert(it->str());
        }
    }
    return names;
}

const char* const programs[] = {"player", "devplayer", "capture", "tirtool", "forge"};

} // namespace

TEST(ToolCommandLine, EveryProgramExplainsEachOptionAndSaysItsVersion) {
    ScratchDir dir("tool-help");
    for (const char* program : programs) {
        SCOPED_TRACE(program);
        const Outcome help = run(dir, program, "--help");
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.err, "");
        EXPECT_EQ(help.out.rfind(std::string("usage: ") + program + " ", 0), 0u) << help.out;
        const std::set<std::string> named = optionsNamed(help.out, program);
        const std::set<std::string> explained = optionsExplained(help.out);
        EXPECT_TRUE(named.count("--help") && named.count("--version")) << help.out;
        for (const std::string& option : named) {
            EXPECT_TRUE(explained.count(option)) << option << " is not explained:\n" << help.out;
        }

        const Outcome version = run(dir, program, "--version");
        EXPECT_EQ(version.status, 0);
        EXPECT_EQ(version.out, std::string(program) + " (TIR VAL) 1.0.0\n");
        EXPECT_EQ(version.err, "");
    }
    // Each tirtool command has its own help, with its arguments explained.
    const Outcome all = run(dir, "tirtool", "--help");
    const std::regex commandLine("\n  tirtool ([a-z-]+) ");
    int commands = 0;
    for (auto it = std::sregex_iterator(all.out.begin(), all.out.end(), commandLine);
         it != std::sregex_iterator(); ++it, ++commands) {
        const std::string name = (*it)[1].str();
        SCOPED_TRACE(name);
        const Outcome one = run(dir, "tirtool", name + " --help");
        EXPECT_EQ(one.status, 0);
        EXPECT_TRUE(has(one.out, "tirtool " + name + " ")) << one.out;
        EXPECT_TRUE(has(all.out, one.out.substr(one.out.find('\n') + 1)));
        EXPECT_NE(one.out.find("\n    "), std::string::npos) << "no argument explained";
    }
    EXPECT_EQ(commands, 12) << all.out;
}

// forge twice on one folder: the second run is refused and leaves the first archive as it was;
// with --force it writes again and reports the size the file has. A folder that cannot be made
// is said with the reason.
TEST(ToolCommandLine, ForgeKeepsDataItFindsAndSaysWhyAFolderCannotBeMade) {
    const ForgedDataSet& forged = forgedDataSet();
    if (!forged.made) {
        GTEST_SKIP() << "no forged data: " << forged.log;
    }
    ScratchDir dir("tool-forge");
    fs::create_directory(dir.path / "data");
    writeFile(dir.file("data/tir.val"), std::string("made by hand"));

    expectRefusal(run(dir, "forge", "--out data"), "forge", "data/tir.val", "--force replaces it");
    EXPECT_EQ(readText(dir.file("data/tir.val")), "made by hand");

    const Outcome forced = run(dir, "forge", "--out data --force");
    ASSERT_EQ(forced.status, 0) << forced.err;
    const uintmax_t size = fs::file_size(dir.path / "data/tir.val");
    EXPECT_TRUE(
        has(forced.out, "forge: wrote data/tir.val: 75 files, " + std::to_string(size) + " bytes"))
        << forced.out;
    EXPECT_TRUE(readFile(dir.file("data/tir.val")) == readFile(forged.dir->file("tir.val")));

    writeFile(dir.file("plain"), std::string("a file"));
    expectRefusal(run(dir, "forge", "--out plain"), "forge", "plain",
                  "a file of that name is there");
    expectRefusal(run(dir, "forge", "--out plain/sub"), "forge", "plain/sub", "Not a directory");

    const Outcome noFolder = run(dir, "forge", "--out --force");
    EXPECT_EQ(noFolder.status, 2);
    EXPECT_EQ(noFolder.err.rfind("forge: --out needs a folder", 0), 0u) << noFolder.err;
}

// tirtool's refusals: each before anything is written, so no output file appears and every
// input keeps its bytes.
TEST(ToolCommandLine, TirtoolRefusesWhatItCannotUseAndNeverWritesOverItsInputs) {
    const ForgedDataSet& forged = forgedDataSet();
    if (!forged.made) {
        GTEST_SKIP() << "no forged data: " << forged.log;
    }
    ScratchDir dir("tool-tirtool");
    fs::copy_file(forged.dir->file("tir.val"), dir.file("tir.val"));
    ASSERT_EQ(run(dir, "tirtool", "unpack tir.val loose").status, 0);
    const std::vector<unsigned char> module = readFile(dir.file("loose/MYSTIFIED.XM"));
    ASSERT_GT(module.size(), 1000u);
    fs::copy_file(dir.file("loose/MYSTIFIED.XM"), dir.file("x.xm"));
    fs::copy_file(dir.file("loose/MYSTIFIED.M3D"), dir.file("x.m3d"));
    fs::create_symlink("x.xm", dir.file("link.xm"));
    writeFile(dir.file("empty.m3d"), std::string());
    writeFile(dir.file("words.txt"), std::string("plain words, no frame\n"));
    writeFile(dir.file("cut.m3d"), std::string("\x05short", 6));
    writeFile(dir.file("none.m3d"), std::string("\0no records", 11));

    // Outputs that are inputs, by the same name or through a link.
    expectRefusal(run(dir, "tirtool", "compress-samples x.xm x.xm c.m3d"), "tirtool", "x.xm",
                  "is both read and written");
    expectRefusal(run(dir, "tirtool", "compress-samples x.xm c.xm x.xm"), "tirtool", "x.xm",
                  "is both read and written");
    expectRefusal(run(dir, "tirtool", "compress-samples x.xm link.xm c.m3d"), "tirtool", "link.xm",
                  "is the same file as x.xm");
    expectRefusal(run(dir, "tirtool", "restore-samples x.xm x.m3d x.m3d"), "tirtool", "x.m3d",
                  "is both read and written");
    expectRefusal(run(dir, "tirtool", "decode x.m3d x.m3d"), "tirtool", "x.m3d",
                  "is both read and written");
    expectRefusal(run(dir, "tirtool", "pack tir.val tir.val"), "tirtool", "tir.val",
                  "is both read and written");
    EXPECT_TRUE(readFile(dir.file("x.xm")) == module);
    EXPECT_TRUE(readFile(dir.file("tir.val")) == readFile(forged.dir->file("tir.val")));
    EXPECT_FALSE(fs::exists(dir.file("c.m3d")));
    EXPECT_FALSE(fs::exists(dir.file("c.xm")));

    // Companions that restore nothing, and a module that is not an XM: nothing written.
    expectRefusal(run(dir, "tirtool", "restore-samples x.xm empty.m3d out.xm"), "tirtool",
                  "empty.m3d", "is empty");
    expectRefusal(run(dir, "tirtool", "restore-samples x.xm cut.m3d out.xm"), "tirtool", "cut.m3d",
                  "is cut short: 5 records need 51 bytes");
    expectRefusal(run(dir, "tirtool", "restore-samples x.xm none.m3d out.xm"), "tirtool",
                  "none.m3d", "holds no records");
    expectRefusal(run(dir, "tirtool", "restore-samples words.txt x.m3d out.xm"), "tirtool",
                  "words.txt", "not an XM module");
    EXPECT_FALSE(fs::exists(dir.file("out.xm")));
    const Outcome restored = run(dir, "tirtool", "restore-samples x.xm x.m3d out.xm");
    EXPECT_EQ(restored.status, 0) << restored.err;
    EXPECT_TRUE(has(restored.out, "restored 3 of 3 records into out.xm")) << restored.out;

    // A stream without MPEG audio frames, a backward range, a folder given as a scene.
    expectRefusal(run(dir, "tirtool", "decode words.txt o.wav"), "tirtool", "words.txt",
                  "holds no MPEG-1 Layer III frame");
    EXPECT_FALSE(fs::exists(dir.file("o.wav")));
    expectRefusal(run(dir, "tirtool", "env loose/MYSTIFIED.ENV --from 5 --to 1"), "tirtool",
                  "--from 5 is after --to 1", "--from 5 is after --to 1");
    expectRefusal(run(dir, "tirtool", "scene loose"), "tirtool", "loose", "is a folder");
    expectRefusal(run(dir, "tirtool", "env loose"), "tirtool", "loose", "is a folder");
}

// pack ARCHIVE DIR packs the folder's files, the archive itself left out when it lies there:
// packing the same folder again gives the same archive.
TEST(ToolCommandLine, PackTakesAFoldersFiles) {
    ScratchDir dir("tool-pack");
    fs::create_directories(dir.path / "set/sub");
    writeFile(dir.file("set/one.env"), std::string("one\nkey 0 value 1\n"));
    writeFile(dir.file("set/two.env"), std::string("two\nkey 0 value 2\n"));
    writeFile(dir.file("set/sub/deeper.env"), std::string("not packed\n"));
    writeFile(dir.file("extra.env"), std::string("extra\nkey 0 value 3\n"));

    const Outcome first = run(dir, "tirtool", "pack set/tir.val set extra.env");
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out, "packed 3 files into set/tir.val\n");
    const std::vector<unsigned char> archive = readFile(dir.file("set/tir.val"));
    const Outcome again = run(dir, "tirtool", "pack set/tir.val set extra.env");
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(readFile(dir.file("set/tir.val")) == archive);

    const Outcome list = run(dir, "tirtool", "list set/tir.val");
    EXPECT_TRUE(has(list.out, "ONE.ENV")) << list.out;
    EXPECT_TRUE(has(list.out, "TWO.ENV"));
    EXPECT_TRUE(has(list.out, "EXTRA.ENV"));
    EXPECT_FALSE(has(list.out, "DEEPER")) << "subfolders are not packed";
    EXPECT_TRUE(has(list.out, "3 entries"));

    fs::create_directory(dir.path / "nothing");
    expectRefusal(run(dir, "tirtool", "pack n.val nothing"), "tirtool", "nothing",
                  "holds no files to pack");
    EXPECT_FALSE(fs::exists(dir.file("n.val")));
}
