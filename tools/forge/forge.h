// forge.h - the data generator's parts: each makes one family of the demo's files, in memory,
// from fixed seeds. main.cpp runs them in order and packs the results into "tir.val".
#pragma once

#include <string>
#include <vector>

namespace forge {

struct Asset {
    std::string name; // the archive name, exactly as the program asks for it
    std::vector<unsigned char> data;
};
using Assets = std::vector<Asset>;

inline void addAsset(Assets& out, const std::string& name, std::vector<unsigned char> data) {
    out.push_back({name, std::move(data)});
}
inline void addText(Assets& out, const std::string& name, const std::string& text) {
    out.push_back({name, std::vector<unsigned char>(text.begin(), text.end())});
}

// When each order of the module starts, in seconds, as the module player computes it, and
// where each section of the song starts with the length of its beat.
struct MusicTiming {
    struct Section {
        double start = 0;
        double beat = 0.5; // seconds per beat (four rows)
    };
    std::vector<double> orderStarts;
    std::vector<Section> sections;
    double length = 0; // seconds until the song ends
    // The section playing at `time` (the first when earlier than all).
    const Section& sectionAt(double time) const;
};

// Every picture: the fixed-name ones and every texture the scenes name.
bool makePictures(Assets& out, std::string& error);
// The ".exp" scenes.
bool makeScenes(Assets& out, std::string& error);
// "mystified.xm", "mystified.m3d" and the order start times.
bool makeMusic(Assets& out, MusicTiming& timing, std::string& error);
// The ".env" envelopes; "mystified.env" from the order start times.
bool makeEnvelopes(const MusicTiming& timing, Assets& out, std::string& error);

// Texture names the scenes use, so the pictures and the scenes agree.
namespace tex {
inline constexpr const char* stars = "stars.jpg";
inline constexpr const char* ribbon = "ribbon.jpg";
inline constexpr const char* grid = "grid.raw"; // raw 256 x 256 RGB
inline constexpr const char* panels = "panels.jpg";
inline constexpr const char* glow = "glow.jpg";
inline constexpr const char* beam = "beam.jpg";
inline constexpr const char* marble = "marble.jpg";
inline constexpr const char* lattice = "lattice.jpg";
inline constexpr const char* streaks = "streaks.jpg";
inline constexpr const char* bwRings = "bw_rings.jpg";
inline constexpr const char* bwStripes = "bw_stripes.jpg";
inline constexpr const char* clockFace = "clockface.jpg";
inline constexpr const char* brass = "brass.jpg";
inline constexpr const char* bubbleEnv = "bubble_env.jpg";
inline constexpr const char* foam = "foam.jpg";
inline constexpr const char* crystal = "crystal.jpg";
inline constexpr const char* woahSkin = "woah_skin.jpg";
inline constexpr const char* woahBack = "woah_back.jpg";
inline constexpr const char* chrome = "max_t3.jpg";
inline constexpr const char* shiteBands = "max_t5.jpg";
inline constexpr const char* water = "water2.jpg";
// Credit boards credit0.jpg .. credit6.jpg.
inline std::string creditBoard(int i) {
    return "credit" + std::to_string(i) + ".jpg";
}
inline constexpr int creditBoards = 7;
} // namespace tex

} // namespace forge
