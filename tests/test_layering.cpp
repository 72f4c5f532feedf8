// test_layering.cpp - the folders stay in their layers: every project include in a source file
// must name a folder its own folder may use. The layers, bottom up: platform/ (the operating
// system and the fatal path), gfx/ (GL, render state), resources/ (files, textures), scene/
// (the scene engine and its materials), timeline/ (parts), music/, effects/ (the parts and the
// schedule), app/ (the two players' shell). Effects get time only through render(localTime),
// so they never see app/ and its clock.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace {

const std::map<std::string, std::set<std::string>> allowed = {
    {"platform", {"platform"}},
    {"gfx", {"platform", "gfx"}},
    {"resources", {"platform", "gfx", "resources"}},
    {"scene", {"platform", "gfx", "resources", "scene"}},
    {"timeline", {"platform", "timeline"}},
    {"music", {"platform", "resources", "music"}},
    {"effects", {"platform", "gfx", "resources", "scene", "timeline", "effects"}},
    {"app", {"platform", "gfx", "resources", "scene", "timeline", "music", "effects", "app"}},
};

} // namespace

TEST(Layering, EveryFolderIncludesOnlyTheLayersBelowIt) {
    const std::regex include("^\\s*#\\s*include\\s+\"([a-z_]+)/[^\"]+\"");
    int files = 0;
    for (const auto& [folder, may] : allowed) {
        for (const auto& entry :
             fs::recursive_directory_iterator(fs::path(TIR_SOURCE_DIR) / folder)) {
            const std::string ext = entry.path().extension().string();
            if (ext != ".cpp" && ext != ".h" && ext != ".inc") {
                continue;
            }
            ++files;
            std::ifstream in(entry.path());
            std::string line;
            int number = 0;
            while (std::getline(in, line)) {
                ++number;
                std::smatch m;
                if (std::regex_search(line, m, include) && allowed.count(m[1]) &&
                    !may.count(m[1])) {
                    ADD_FAILURE() << fs::relative(entry.path(), TIR_SOURCE_DIR).string() << ":"
                                  << number << " includes " << m[1] << "/, which " << folder
                                  << "/ must not use: " << line;
                }
            }
        }
    }
    EXPECT_GT(files, 50); // the scan found the tree
}
