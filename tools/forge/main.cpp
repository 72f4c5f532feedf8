// main.cpp - forge: generates the demo's complete default data set, "tir.val", from fixed
// seeds. The same build always writes the same bytes.
//
//   forge --out DIR [--keep-files] [--force]
//
// --keep-files also writes every generated file loose into DIR/files/ for inspection. An
// existing DIR/tir.val is replaced only with --force: it may be data someone made by hand.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>

#include "app/command_line.h"
#include "tools/common/archive_writer.h"
#include "tools/common/file_bytes.h"
#include "tools/forge/forge.h"

namespace fs = std::filesystem;

namespace {

const char usageText[] =
    "usage: forge --out DIR [--keep-files] [--force]\n"
    "       forge --help | --version\n"
    "Writes the TIR VAL demo's default data set, DIR/tir.val, from fixed seeds: the music,\n"
    "its compressed samples, the envelopes, the pictures and the scenes. The same build\n"
    "always writes the same bytes. The players play it with `player --data DIR`.\n"
    "\n"
    "  --out DIR     the folder to write tir.val into; it is made when missing\n"
    "  --keep-files  also write every generated file loose into DIR/files/\n"
    "  --force       replace a tir.val that DIR already holds (refused without it)\n"
    "  --help        print this help and exit\n"
    "  --version     print the version and exit\n";

// A wrong command line: what was wrong, then the usage, on standard error.
int usage(const std::string& problem) {
    std::fprintf(stderr, "forge: %s\n%s", problem.c_str(), usageText);
    return 2;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool writeLoose(const fs::path& dir, const forge::Assets& assets) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    for (const forge::Asset& a : assets) {
        std::string error;
        if (!writeFileBytes((dir / a.name).string(), a.data, error)) {
            std::fprintf(stderr, "forge: %s\n", error.c_str());
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::string outDir;
    bool keepFiles = false;
    bool force = false;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
            std::fputs(usageText, stdout);
            return 0;
        }
        if (std::strcmp(a, "--version") == 0) {
            std::printf("forge (TIR VAL) %s\n", tirVersion());
            return 0;
        }
        if (std::strcmp(a, "--out") == 0) {
            if (i + 1 >= argc || std::strncmp(argv[i + 1], "--", 2) == 0 || !*argv[i + 1]) {
                return usage("--out needs a folder: --out DIR");
            }
            outDir = argv[++i];
        } else if (std::strcmp(a, "--keep-files") == 0) {
            keepFiles = true;
        } else if (std::strcmp(a, "--force") == 0) {
            force = true;
        } else {
            return usage(std::string("unknown option \"") + a + "\"");
        }
    }
    if (outDir.empty()) {
        return usage("--out DIR is missing");
    }
    std::error_code ec;
    if (fs::exists(outDir, ec) && !fs::is_directory(outDir, ec)) {
        std::fprintf(stderr, "forge: cannot make the folder %s: a file of that name is there\n",
                     outDir.c_str());
        return 1;
    }
    fs::create_directories(outDir, ec);
    if (ec || !fs::is_directory(outDir)) {
        std::fprintf(stderr, "forge: cannot make the folder %s: %s\n", outDir.c_str(),
                     ec ? ec.message().c_str() : "it is not there afterwards");
        return 1;
    }
    const fs::path archivePath = fs::path(outDir) / "tir.val";
    if (fs::exists(fs::symlink_status(archivePath, ec)) && !force) {
        std::fprintf(stderr,
                     "forge: %s is there already; --force replaces it, or choose another "
                     "--out folder\n",
                     archivePath.string().c_str());
        return 1;
    }

    const auto start = std::chrono::steady_clock::now();
    forge::Assets assets;
    std::string error;
    forge::MusicTiming timing;
    struct Step {
        const char* what;
        std::function<bool()> run;
    };
    const Step steps[] = {
        {"music", [&] { return forge::makeMusic(assets, timing, error); }},
        {"envelopes", [&] { return forge::makeEnvelopes(timing, assets, error); }},
        {"pictures", [&] { return forge::makePictures(assets, error); }},
        {"scenes", [&] { return forge::makeScenes(assets, error); }},
    };
    for (const Step& step : steps) {
        const size_t before = assets.size();
        const auto stepStart = std::chrono::steady_clock::now();
        if (!step.run()) {
            std::fprintf(stderr, "forge: %s: %s\n", step.what, error.c_str());
            return 1;
        }
        std::printf("forge: %-9s %3zu files  %5.1f s\n", step.what, assets.size() - before,
                    secondsSince(stepStart));
        std::fflush(stdout);
    }

    std::vector<ArchiveInput> entries;
    for (const forge::Asset& a : assets) {
        entries.push_back({a.name, a.data});
    }
    if (!writeArchive(archivePath.string(), entries, error)) {
        std::fprintf(stderr, "forge: %s\n", error.c_str());
        return 1;
    }
    if (keepFiles && !writeLoose(fs::path(outDir) / "files", assets)) {
        return 1;
    }
    // The size on disk, headers and names included, as the archive now is.
    const uintmax_t written = fs::file_size(archivePath, ec);
    std::printf("forge: wrote %s: %zu files, %ju bytes, in %.1f s\n", archivePath.string().c_str(),
                entries.size(), ec ? uintmax_t{0} : written, secondsSince(start));
    return 0;
}
