// test_layering.cpp - the folders stay in their layers. The layers, bottom up: platform/ (the
// operating system and the fatal path), gfx/ (GL, render state), resources/ (files, textures),
// scene/ (the scene engine and its materials), timeline/ (parts), music/, effects/ (the parts
// and the schedule), app/ (the two players' shell). Effects get time only through
// render(localTime), so they never see app/ and its clock.
//
// A file may reach another folder's code only when its own folder may use that folder, and that
// holds for every way C++ has of reaching it: an include by folder name, an include through
// "../", a forward declaration of a type the other folder defines, and an `extern` declaration
// of a variable the other folder defines. A checker of this kind is only as good as what it
// notices, so it is run on a small tree with one planted crossing of each kind too.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "test_support.h"

namespace fs = std::filesystem;

namespace {

using Layers = std::map<std::string, std::set<std::string>>;

const Layers allowed = {
    {"platform", {"platform"}},
    {"gfx", {"platform", "gfx"}},
    {"resources", {"platform", "gfx", "resources"}},
    {"scene", {"platform", "gfx", "resources", "scene"}},
    {"timeline", {"platform", "timeline"}},
    // music reads its files through resources and reports through gfx's debug channel, both
    // below it.
    {"music", {"platform", "gfx", "resources", "music"}},
    {"effects", {"platform", "gfx", "resources", "scene", "timeline", "effects"}},
    {"app", {"platform", "gfx", "resources", "scene", "timeline", "music", "effects", "app"}},
};

struct SourceFile {
    std::string layer;
    fs::path path;
    std::vector<std::string> lines;
};

std::vector<SourceFile> readTree(const fs::path& root) {
    std::vector<SourceFile> files;
    for (const auto& [layer, may] : allowed) {
        if (!fs::exists(root / layer)) {
            continue;
        }
        for (const auto& entry : fs::recursive_directory_iterator(root / layer)) {
            const std::string ext = entry.path().extension().string();
            if (ext != ".cpp" && ext != ".h" && ext != ".inc") {
                continue;
            }
            SourceFile f{layer, entry.path(), {}};
            std::ifstream in(entry.path());
            for (std::string line; std::getline(in, line);) {
                f.lines.push_back(line);
            }
            files.push_back(std::move(f));
        }
    }
    return files;
}

bool isHeader(const fs::path& p) {
    return p.extension() == ".h";
}

// Every crossing of a layer the wrong way under `root`, one line each: "file:line what".
std::vector<std::string> wrongWayCrossings(const fs::path& root, int* filesRead = nullptr) {
    const std::vector<SourceFile> files = readTree(root);
    if (filesRead) {
        *filesRead = static_cast<int>(files.size());
    }

    // Where each type is defined (in a header) and each process-wide variable (at the top level
    // of a source file, not indented, not extern).
    const std::regex typeDefinition(
        R"(^\s*(?:class|struct)\s+(\w+)\b[^;()]*(?:\{|:[^:])|^\s*using\s+(\w+)\s*=)");
    const std::regex variableDefinition(
        R"(^[A-Za-z_][\w:<>,*&\s]*?[\s*&](\w+)\s*(?:\[[^\]]*\])?\s*(?:=|;|\{))");
    std::map<std::string, std::string> typeLayer, variableLayer;
    for (const SourceFile& f : files) {
        for (const std::string& line : f.lines) {
            std::smatch m;
            if (isHeader(f.path) && std::regex_search(line, m, typeDefinition)) {
                typeLayer.emplace(m[1].matched ? m[1].str() : m[2].str(), f.layer);
            }
            if (f.path.extension() == ".cpp" && line.rfind("extern", 0) != 0 &&
                line.rfind("static", 0) != 0 && line.rfind("return", 0) != 0 &&
                line.rfind("using", 0) != 0 && line.find('(') == std::string::npos &&
                std::regex_search(line, m, variableDefinition)) {
                variableLayer.emplace(m[1].str(), f.layer);
            }
        }
    }

    const std::regex include(R"re(^\s*#\s*include\s+"([^"]+)")re");
    const std::regex forward(R"(^\s*(?:class|struct)\s+(\w+)\s*;)");
    const std::regex externDeclaration(R"(^\s*extern\s+(?!"C")[^;(]*?(\w+)\s*(?:\[[^\]]*\])?\s*;)");
    std::vector<std::string> found;
    for (const SourceFile& f : files) {
        const std::set<std::string>& may = allowed.at(f.layer);
        auto wrongWay = [&](const std::string& layer) {
            return allowed.count(layer) && !may.count(layer);
        };
        for (size_t i = 0; i < f.lines.size(); ++i) {
            const std::string& line = f.lines[i];
            const std::string where =
                fs::relative(f.path, root).string() + ":" + std::to_string(i + 1) + " ";
            std::smatch m;
            if (std::regex_search(line, m, include)) {
                const std::string target = m[1].str();
                // "folder/file.h" from the source root, or a path relative to this file.
                const fs::path resolved =
                    target.rfind("../", 0) == 0 || target.rfind("./", 0) == 0
                        ? fs::relative((f.path.parent_path() / target).lexically_normal(), root)
                        : fs::path(target);
                const std::string layer = resolved.begin()->string();
                if (wrongWay(layer)) {
                    found.push_back(where + "includes " + layer + "/: " + line);
                }
            } else if (std::regex_search(line, m, forward)) {
                const auto t = typeLayer.find(m[1].str());
                if (t != typeLayer.end() && wrongWay(t->second)) {
                    found.push_back(where + "declares " + t->first + " of " + t->second +
                                    "/: " + line);
                }
            } else if (std::regex_search(line, m, externDeclaration)) {
                const auto v = variableLayer.find(m[1].str());
                if (v != variableLayer.end() && wrongWay(v->second)) {
                    found.push_back(where + "declares " + v->first + " of " + v->second +
                                    "/ extern: " + line);
                }
            }
        }
    }
    return found;
}

} // namespace

TEST(Layering, EveryFolderReachesOnlyTheLayersBelowIt) {
    int files = 0;
    for (const std::string& crossing : wrongWayCrossings(TIR_SOURCE_DIR, &files)) {
        ADD_FAILURE() << crossing;
    }
    EXPECT_GT(files, 50); // the scan found the tree
}

// A tree with the definitions the crossings need and one crossing of each kind from gfx/, the
// layer below resources/ and scene/; a use in the right direction is not reported.
TEST(Layering, EachKindOfCrossingIsFound) {
    using testing_support::ScratchDir;
    using testing_support::writeFile;
    ScratchDir root("layering");
    for (const char* folder : {"gfx", "resources", "scene"}) {
        fs::create_directories(root.path / folder);
    }
    writeFile(root.file("scene/scene.h"), std::string("struct Material {\n    int mode;\n};\n"));
    writeFile(root.file("resources/textures.h"),
              std::string("#include \"gfx/gl_api.h\"\nstruct Catalogue;\n"));
    writeFile(root.file("resources/textures.cpp"),
              std::string("#include \"resources/textures.h\"\nint textureCount = 0;\n"));
    writeFile(root.file("gfx/gl_api.h"), std::string("struct GlTable {\n};\n"));
    writeFile(root.file("gfx/state.h"), std::string("#include \"../resources/textures.h\"\n"
                                                    "struct Material;\n"
                                                    "extern int textureCount;\n"
                                                    "struct GlTable;\n"));
    const std::vector<std::string> found = wrongWayCrossings(root.path);
    ASSERT_EQ(found.size(), 3u) << ::testing::PrintToString(found);
    EXPECT_NE(found[0].find("gfx/state.h:1 includes resources/"), std::string::npos) << found[0];
    EXPECT_NE(found[1].find("gfx/state.h:2 declares Material of scene/"), std::string::npos)
        << found[1];
    EXPECT_NE(found[2].find("gfx/state.h:3 declares textureCount of resources/ extern"),
              std::string::npos)
        << found[2];
}
