// scene_state.cpp - the scene engine's process-wide state.
#include "scene/scene_state.h"

#include <cstring>

SceneState sceneState;

int materialRecordBytes(const char* magic) {
    return std::strcmp(magic, "QUOR") == 0 ? quorMaterialBytes : kexpMaterialBytes;
}

void SceneState::setFileMagic(const char* fileMagic) {
    std::memcpy(magic, fileMagic, 4);
    magic[4] = '\0';
}
