// materials.cpp - material texture set-up, render-routine selection and the begin / emit
// routines. Every emitted colour carries the material's alpha times the shared fade factor.
#include "scene/materials.h"

#include <cstring>

#include "gfx/gl_api.h"
#include "resources/textures.h"
#include "gfx/render_state.h"
#include "scene/scene_state.h"
#include "scene/scene.h"

MaterialList::~MaterialList() {
    for (int32_t i = 0; i < count; ++i) {
        delete items[i];
    }
}

void addMaterial(MaterialList* list, Material* material) {
    list->append(material);

    if (material->blendType == 0) {
        material->blendSrc = GL_SRC_ALPHA;
        material->blendDst = GL_ONE_MINUS_SRC_ALPHA;
    } else if (material->blendType == 1) {
        material->blendSrc = GL_SRC_ALPHA;
        material->blendDst = GL_ONE;
    }
    // A name of a single character stands for "no texture" in the exported files.
    const SceneState::TextureLoader load =
        sceneState.textureLoader() ? sceneState.textureLoader() : &loadTexture;
    if (std::strlen(material->textureName0) > 1) {
        material->texture0 = load(material->textureName0);
    }
    if (std::strlen(material->textureName1) > 1) {
        material->texture1 = load(material->textureName1);
    }
}

void selectRenderMode(Material* material) {
    int key = 0;
    if (material->mode == 1) {
        key = 1;
    } else if (material->mode >= 2 && material->mode <= 4) {
        key = 2;
    }
    if (material->texture0 > 0) {
        key += 16;
    }
    if (material->texture1 > 0) {
        key += 32;
    }
    BeginRoutine begin = nullptr;
    EmitRoutine emit = nullptr;
    switch (key) {
        case 1:
        case 2:
            begin = beginUntextured;
            emit = emitUntextured;
            break;
        case 17:
            begin = beginTexturedSum;
            emit = emitTexturedSum;
            break;
        case 18:
            begin = beginTextured;
            emit = emitTextured;
            break;
        case 34:
            begin = beginSecondTexture;
            emit = emitVertexMapped;
            break;
        case 49:
            begin = beginTwoTexturesNicest;
            emit = emitTwoTextures;
            break;
        case 50:
            begin = beginTwoTextures;
            emit = emitTwoTextures;
            break;
        default:
            break; // no routines: the mesh renderer draws nothing for such a material
    }
    material->begin = begin;
    material->emit = emit;
}

void beginMaterial(Material* material) {
    if (material && material->begin) {
        material->begin(material);
    }
}

namespace {

// The frame every begin routine shares: record the material, suspend the open batch, set the
// state, apply the blend rule, resume the batch.
template <class SetState> void beginWith(Material* material, SetState setState) {
    sceneState.setCurrentMaterial(material);
    if (currentPrimitive != 0) {
        glEnd();
    }
    setState();
    if (material->alpha >= 1.0f) {
        glDisable(GL_BLEND);
    } else {
        glEnable(GL_BLEND);
        glBlendFunc(material->blendSrc, material->blendDst);
    }
    if (currentPrimitive != 0) {
        glBegin(static_cast<GLenum>(currentPrimitive));
    }
}

void bindUnit(GLenum unit, int texture) {
    glActiveTextureARB(unit);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texture));
}

float faceAlpha() {
    return fadeFactor * sceneState.currentMaterial()->alpha;
}

} // namespace

void beginUntextured(Material* material) {
    beginWith(material, [] {
        glDisable(GL_TEXTURE_2D);
        glShadeModel(GL_FLAT);
    });
}

void beginTexturedSum(Material* material) {
    beginWith(material, [material] {
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(material->texture0));
        glShadeModel(GL_FLAT);
    });
}

void beginTextured(Material* material) {
    beginWith(material, [material] {
        glActiveTextureARB(GL_TEXTURE1_ARB);
        glDisable(GL_TEXTURE_2D);
        bindUnit(GL_TEXTURE0_ARB, material->texture0);
    });
}

void beginSecondTexture(Material* material) {
    beginWith(material, [material] {
        glActiveTextureARB(GL_TEXTURE1_ARB);
        glDisable(GL_TEXTURE_2D);
        bindUnit(GL_TEXTURE0_ARB, material->texture1);
    });
}

void beginTwoTextures(Material* material) {
    beginWith(material, [material] {
        bindUnit(GL_TEXTURE1_ARB, material->texture1);
        bindUnit(GL_TEXTURE0_ARB, material->texture0);
    });
}

void beginTwoTexturesNicest(Material* material) {
    beginWith(material, [material] {
        bindUnit(GL_TEXTURE0_ARB, material->texture0);
        glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
        glDisable(GL_BLEND);
        bindUnit(GL_TEXTURE1_ARB, material->texture1);
        glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
        glDisable(GL_BLEND);
        glShadeModel(GL_FLAT);
        glActiveTextureARB(GL_TEXTURE0_ARB);
    });
}

void emitUntextured(const Face& face) {
    const unsigned sum = static_cast<unsigned>(face.vertex[0]->light) +
                         static_cast<unsigned>(face.vertex[1]->light) +
                         static_cast<unsigned>(face.vertex[2]->light);
    const float k = static_cast<float>(sum / 3) * (1.0f / 255.0f);
    const Material* m = sceneState.currentMaterial();
    glColor4f(k * m->red, k * m->green, k * m->blue, faceAlpha());
    for (const Vertex* v : face.vertex) {
        glVertex3fv(v->position);
    }
}

// The light sum is not scaled to 0..1: GL clamps it, so any lit face is drawn at full colour.
// Kept: the stored scenes' materials were lit and tuned with it.
void emitTexturedSum(const Face& face) {
    const float g =
        static_cast<float>(face.vertex[0]->light + face.vertex[1]->light + face.vertex[2]->light);
    glColor4f(g, g, g, faceAlpha());
    for (int k = 0; k < 3; ++k) {
        glTexCoord2fv(&face.corner[k]->u);
        glVertex3fv(face.vertex[k]->position);
    }
}

void emitTextured(const Face& face) {
    const float g = static_cast<float>(face.vertex[0]->light) / 255.0f;
    const Material* m = sceneState.currentMaterial();
    glColor4f(g, g, g, faceAlpha());
    for (int k = 0; k < 3; ++k) {
        glTexCoord2f(face.corner[k]->u + m->uOffset, face.corner[k]->v + m->vOffset);
        glVertex3fv(face.vertex[k]->position);
    }
}

void emitVertexMapped(const Face& face) {
    const float g = static_cast<float>(face.vertex[0]->light) / 255.0f;
    const Material* m = sceneState.currentMaterial();
    glColor4f(g, g, g, faceAlpha());
    for (const Vertex* v : face.vertex) {
        glTexCoord2f(v->envU + m->uOffset, v->envV + m->vOffset);
        glVertex3fv(v->position);
    }
}

// The first vertex's light is not scaled either (GL clamps it). Kept for the same reason.
void emitTwoTextures(const Face& face) {
    const float g = static_cast<float>(face.vertex[0]->light);
    const Material* m = sceneState.currentMaterial();
    glColor4f(g, g, g, faceAlpha());
    for (int k = 0; k < 3; ++k) {
        const Vertex* v = face.vertex[k];
        glMultiTexCoord2fARB(GL_TEXTURE0_ARB, face.corner[k]->u + m->uOffset,
                             face.corner[k]->v + m->vOffset);
        glMultiTexCoord2fARB(GL_TEXTURE1_ARB, v->envU, v->envV);
        glVertex3fv(v->position);
    }
}

const char* beginRoutineName(BeginRoutine routine) {
    struct Named {
        BeginRoutine routine;
        const char* name;
    };
    static const Named names[] = {
        {beginUntextured, "beginUntextured"},   {beginTexturedSum, "beginTexturedSum"},
        {beginTextured, "beginTextured"},       {beginSecondTexture, "beginSecondTexture"},
        {beginTwoTextures, "beginTwoTextures"}, {beginTwoTexturesNicest, "beginTwoTexturesNicest"}};
    if (!routine) {
        return "none";
    }
    for (const Named& n : names) {
        if (n.routine == routine) {
            return n.name;
        }
    }
    return "unknown";
}

const char* emitRoutineName(EmitRoutine routine) {
    struct Named {
        EmitRoutine routine;
        const char* name;
    };
    static const Named names[] = {{emitUntextured, "emitUntextured"},
                                  {emitTexturedSum, "emitTexturedSum"},
                                  {emitTextured, "emitTextured"},
                                  {emitVertexMapped, "emitVertexMapped"},
                                  {emitTwoTextures, "emitTwoTextures"}};
    if (!routine) {
        return "none";
    }
    for (const Named& n : names) {
        if (n.routine == routine) {
            return n.name;
        }
    }
    return "unknown";
}
