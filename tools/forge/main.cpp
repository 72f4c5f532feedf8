// main.cpp - forge: generates the demo's complete default data set, "tir.val", from fixed
// seeds. The same build always writes the same bytes.
//
//   forge --out DIR [--keep-files]
//
// --keep-files also writes every generated file loose into DIR/files/ for inspection.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "tools/common/archive_writer.h"
#include "tools/forge/forge.h"

namespace fs = std::filesystem;

namespace {

int usage() {
    std::fprintf(stderr, "usage: forge --out DIR [--keep-files]\n");
    return 2;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool writeLoose(const fs::path& dir, const forge::Assets& assets) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    for (const forge::Asset& a : assets) {
        std::ofstream f(dir / a.name, std::ios::binary);
        f.write(reinterpret_cast<const char*>(a.data.data()),
                static_cast<std::streamsize>(a.data.size()));
        if (!f) {
            std::fprintf(stderr, "forge: cannot write %s\n", (dir / a.name).string().c_str());
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::string outDir;
    bool keepFiles = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
            outDir = argv[++i];
        } else if (std::strcmp(argv[i], "--keep-files") == 0) {
            keepFiles = true;
        } else {
            return usage();
        }
    }
    if (outDir.empty()) {
        return usage();
    }
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (!fs::is_directory(outDir)) {
        std::fprintf(stderr, "forge: cannot make folder %s\n", outDir.c_str());
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
    size_t bytes = 0;
    for (const forge::Asset& a : assets) {
        entries.push_back({a.name, a.data});
        bytes += a.data.size();
    }
    const std::string archivePath = (fs::path(outDir) / "tir.val").string();
    if (!writeArchive(archivePath, entries, error)) {
        std::fprintf(stderr, "forge: %s: %s\n", archivePath.c_str(), error.c_str());
        return 1;
    }
    if (keepFiles && !writeLoose(fs::path(outDir) / "files", assets)) {
        return 1;
    }
    std::printf("forge: wrote %s: %zu files, %zu bytes, in %.1f s\n", archivePath.c_str(),
                entries.size(), bytes, secondsSince(start));
    return 0;
}
