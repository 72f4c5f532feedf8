// schedule.h - the composition of the demo: every effect part with its interval, built once
// at start-up after the music and the synchronisation envelope are loaded.
#pragma once

struct Timeline;

// Constructs the parts in drawing order, appends them to `timeline` and sets `scheduleReady`
// to 1 as its last step. Part constructors load their scenes, envelopes and textures here.
void buildSchedule(Timeline& timeline, int& scheduleReady);
