// data_folder.h - where the players find their data: the archive "tir.val" in the folder they
// start in (the working directory, or the folder --data names); the development player also
// plays a folder of loose files that has no archive; and when the folder holds neither, the data
// installed with the programs.
#pragma once

#include <string>
#include <vector>

// The archive the search path opens: "tir.val" (in the working directory) until locateData
// chooses; empty when the player plays loose files only.
extern std::string dataArchivePath;
// A folder of loose files searched before the archive (the development player's --loose DIR,
// ending in a separator): a file saved there replaces the archive's copy. Empty for none, so
// the players' own order stays the archive first.
extern std::string looseFolder;

struct DataChoices {
    // A folder of loose files without an archive may be played (the development player). It
    // counts as data when it holds the synchronisation envelope "mystified.env" (any case).
    bool looseFiles = false;
    // Folders that may hold installed data, in order; the first that holds a tir.val wins.
    std::vector<std::string> installedFolders;
};

// The installed data's folders, in order: share/tirval beside the program's own folder (an
// installation anywhere, or one unpacked into a folder), then the folder the build installs to.
std::vector<std::string> installedDataFolders();

// Sets dataArchivePath from the working directory, and says on standard error and the debug
// channel when the data comes from anywhere but the folder's own tir.val. Where no archive is
// found, a looseFolder that holds "mystified.env" is played alone. When tir.val here is not a
// file, or nothing holds data, ends through the fatal path with one report: the archive's
// message and how to make the default data.
void locateData(const DataChoices& choices);
