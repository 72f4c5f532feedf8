// materials.h - scene materials: their texture set-up, the choice of render routines, and the
// eleven routines that set a material's GL state (begin) and draw one triangle with it (emit).
//
// The mesh renderer calls beginMaterial once per mesh and the material's emit routine once per
// visible face, all inside one long GL_TRIANGLES batch: a begin routine closes the open batch,
// changes the state and reopens it with the same mode.
#pragma once

#include <cstdint>

#include "gfx/gl_constants.h"
#include "gfx/render_state.h"
#include "platform/growable_array.h"

struct Face;
struct Material;

using BeginRoutine = void (*)(Material* material);
using EmitRoutine = void (*)(const Face& face);

struct Material {
    int32_t texture0 = -1; // GL texture ids, -1 when the material has none
    int32_t texture1 = -1;
    uint32_t blendSrc = GL_SRC_ALPHA; // GL blend factors
    uint32_t blendDst = GL_ONE_MINUS_SRC_ALPHA;
    char name[32] = {};
    char textureName0[32] = {};
    char unusedName[32] = {}; // stored from the file, read by nothing
    char textureName1[32] = {};
    int32_t mode = 0; // shading mode: 1, 2, 3 or 4 are meaningful
    uint8_t twoSided = 0;
    int32_t blendType = 0; // 0 alpha blend, 1 additive
    float alpha = 1.0f;
    float uOffset = 0.0f; // added to corner texture coordinates
    float vOffset = 0.0f;
    // Nine colour floats as three RGB triples; only the second, the colour of untextured
    // faces, is used.
    float colour0[3] = {0, 0, 0};
    float red = 0.0f, green = 0.0f, blue = 0.0f;
    float colour2[3] = {0, 0, 0};
    EmitRoutine emit = nullptr;
    BeginRoutine begin = nullptr;
};

// A scene's materials in file order (a mesh's material is items[materialIndex]). The list owns
// its materials: destroying it deletes them, though not their texture objects.
struct MaterialList : GrowableArray<Material*> {
    MaterialList() = default;
    ~MaterialList();
};

// Appends `material` to `list` (taking ownership), sets its blend factors from its blend type
// and loads the textures it names (a name of one character or none means no texture).
void addMaterial(MaterialList* list, Material* material);
// Chooses the material's begin / emit pair from its mode and textures.
void selectRenderMode(Material* material);
// Calls the material's begin routine if it has one.
void beginMaterial(Material* material);

// The routines selectRenderMode chooses from.
void beginUntextured(Material* material);
void beginTexturedSum(Material* material);
void beginTextured(Material* material);
void beginSecondTexture(Material* material);
void beginTwoTextures(Material* material);
void beginTwoTexturesNicest(Material* material);
void emitUntextured(const Face& face);
void emitTexturedSum(const Face& face);
void emitTextured(const Face& face);
void emitVertexMapped(const Face& face);
void emitTwoTextures(const Face& face);

// The routine's name ("beginTextured"), "none" for null, "unknown" for anything else.
const char* beginRoutineName(BeginRoutine routine);
const char* emitRoutineName(EmitRoutine routine);
