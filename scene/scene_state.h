// scene_state.h - the scene engine's process-wide state: the magic of the last scene file read,
// the material the last begin routine set up, and how materials turn texture names into ids.
//
// One SceneState object owns it; each value has one writer, named below, and reset() puts it
// back as a fresh process has it.
#pragma once

struct Material;

// Material records of a scene file: 173 bytes in a "KEXP" file, 174 in a "QUOR" file (one byte
// more: the blend type).
constexpr int kexpMaterialBytes = 173;
constexpr int quorMaterialBytes = 174;
// The material record length that goes with `magic` ("QUOR" or anything else, read as "KEXP").
int materialRecordBytes(const char* magic);

class SceneState {
public:
    using TextureLoader = int (*)(const char* name);

    // The scene reader, once it has read a file's magic: it decides the material record length
    // of the next file that carries no magic of its own. `magic` is 4 characters.
    void setFileMagic(const char* magic);
    const char* fileMagic() const { return magic; }
    // The begin routines: the material whose colour and alpha the emit routines then use.
    void setCurrentMaterial(Material* material) { current = material; }
    Material* currentMaterial() const { return current; }
    // How a material turns a texture name into a texture id: null means loadTexture; a tool
    // that only inspects scene files (no GL context, no textures) puts a stand-in here.
    void useTextureLoader(TextureLoader textureLoader) { loader = textureLoader; }
    TextureLoader textureLoader() const { return loader; }
    // Back to the state of a fresh process.
    void reset() { *this = SceneState{}; }

private:
    char magic[5] = {'K', 'E', 'X', 'P', 0};
    Material* current = nullptr;
    TextureLoader loader = nullptr;
};
extern SceneState sceneState;
