// data_reload.h - reading the demo's data again while it runs: a complete new search path, the
// synchronisation envelope and every part of the schedule, built aside and put in place whole.
#pragma once

#include <string>

struct Timeline;

struct ReloadResult {
    bool loaded = false; // the new data is in use
    std::string reason;  // when it is not: what failed, one report a line
};

// Builds a new search path (the working directory, .\textures\ and "tir.val"), reads
// "mystified.env" and builds the whole schedule through it. Only when all of that loaded are the
// new path, envelope (into the demo clock) and parts (into `timeline`, which keeps its row
// selection) put in place, and the old ones destroyed. When anything fails (a fatal report, a
// quit request from the archive), the new pieces are destroyed and the old ones stay in use,
// untouched. Nothing is shown in a message box and the process does not end.
ReloadResult reloadDemoData(Timeline& timeline);
