// data_manifest.cpp - the fixed file names of the demo's parts, row by row of the schedule.
#include "tools/common/data_manifest.h"

#include <algorithm>
#include <cctype>

namespace manifest {

const std::vector<DataFile>& demoFiles() {
    using K = FileKind;
    static const std::vector<DataFile> files = {
        {"mystified.xm", K::Module, "Application"},
        {"mystified.m3d", K::Companion, "Application"},
        {"mystified.env", K::Envelope, "Application"},
        // 1
        {"beginning.exp", K::Scene, "BeginningPart"},
        {"alpha_circle.env", K::Envelope, "BeginningPart"},
        {"koniec_intra.env", K::Envelope, "BeginningPart"},
        {"overtake.jpg", K::Picture, "BeginningPart"},
        {"overtake2.jpg", K::Picture, "BeginningPart"},
        // 2
        {"DarkHorizonOfDreams1__.jpg", K::Picture, "DarkHorizonPart"},
        // 3
        {"D1_Tirval2.jpg", K::Picture, "TitleSpritesPart"},
        {"D1_TirvalAlpha.tga", K::AlphaMap, "TitleSpritesPart"},
        {"D1_Face.jpg", K::Picture, "TitleSpritesPart"},
        {"D1_FaceAlpha.tga", K::AlphaMap, "TitleSpritesPart"},
        {"D1_Circle2.jpg", K::Picture, "TitleSpritesPart"},
        {"D1_CircleAlpha.tga", K::AlphaMap, "TitleSpritesPart"},
        {"tirvaltext_pos.env", K::VectorEnvelope, "TitleSpritesPart"},
        {"alpha_circle.env", K::Envelope, "TitleSpritesPart"},
        {"koniec_intra.env", K::Envelope, "TitleSpritesPart"},
        // 4
        {"boxical.exp", K::Scene, "BoxicalPart"},
        // 5
        {"max_t4.jpg", K::Picture, "PictureTunnelPart"},
        // 6
        {"bubblebath.exp", K::Scene, "BubblebathPart"},
        // 7
        {"introductionpoem1.jpg", K::Picture, "IntroductionPoemPart"},
        // 8
        {"y1.jpg", K::Picture, "BubbleTubePart"},
        {"bubble.env", K::VectorEnvelope, "BubbleTubePart"},
        // 9
        {"shite1.exp", K::Scene, "ShitePart"},
        {"design_bw2.exp", K::Scene, "ShitePart"},
        {"max_t5.jpg", K::Picture, "ShitePart"},
        {"water2.jpg", K::Picture, "ShitePart"},
        {"max_t3.jpg", K::Picture, "ShitePart"},
        // 10
        {"vsz_d2.jpg", K::Picture, "PanoramaPart"},
        // 11
        {"spherical.exp", K::Scene, "SphericalPart"},
        // 12
        {"boxical4.exp", K::Scene, "Boxical4Part"},
        // 13
        {"check.exp", K::Scene, "CheckPart"},
        // 14
        {"backg.jpg", K::Picture, "BackdropPart"},
        // 15
        {"DustOnYourEyes__.jpg", K::Picture, "DustPart"},
        // 16
        {"woah3.exp", K::Scene, "WoahPart"},
        {"napierdalanie.env", K::Envelope, "WoahPart"},
        // 17
        {"credits.exp", K::Scene, "CreditsPart"},
        {"design_bw.exp", K::Scene, "CreditsPart"},
        // 18
        {"clock.exp", K::Scene, "ClockPart"},
        // 19
        {"faceted.exp", K::Scene, "FacetedPart"},
        {"faceted2.exp", K::Scene, "FacetedPart"},
        {"napierdalanie2.env", K::Envelope, "FacetedPart"},
        // 20
        {"NebulaMultiCrater1.jpg", K::Picture, "TunnelPart"},
        {"WaterGreenWorld.jpg", K::Picture, "TunnelPart"},
        {"y3.jpg", K::Picture, "TunnelPart"},
        {"d1.jpg", K::Picture, "TunnelPart"},
        {"d1_.jpg", K::Picture, "TunnelPart"},
        {"Napierdalanie2.env", K::Envelope, "TunnelPart"},
        // 21
        {"bump.jpg", K::Picture, "BumpPart"},
        {"bump.raw", K::AlphaMap, "BumpPart"},
        {"end.exp", K::Scene, "BumpPart"},
        // 22
        {"energy.exp", K::Scene, "EnergyPart"},
    };
    return files;
}

namespace {

std::string lower(const std::string& s) {
    std::string out = s;
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

std::vector<std::string> distinct(bool anyKind, FileKind kind) {
    std::vector<std::string> names, seen;
    for (const DataFile& f : demoFiles()) {
        if (!anyKind && f.kind != kind) {
            continue;
        }
        const std::string key = lower(f.name);
        if (std::find(seen.begin(), seen.end(), key) == seen.end()) {
            seen.push_back(key);
            names.push_back(f.name);
        }
    }
    return names;
}

} // namespace

std::vector<std::string> namesOfKind(FileKind kind) {
    return distinct(false, kind);
}

std::vector<std::string> distinctNames() {
    return distinct(true, FileKind::Scene);
}

} // namespace manifest
