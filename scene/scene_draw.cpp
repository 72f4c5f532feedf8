// scene_draw.cpp - moving a scene to a point in time and drawing it: node motions from their
// tracks, the camera's view and projection, per-vertex lighting, back-facing vertices,
// environment-map coordinates, and the faces handed to their material's emit routine.
//
// Everything is drawn in immediate mode inside the caller's GL_TRIANGLES batch; state changes
// close and reopen it through the primitive guard.
#include <cmath>
#include <cstring>

#include "gfx/gl_api.h"
#include "gfx/render_state.h"
#include "scene/scene.h"

// ---- track appliers and camera hooks

void applyRotation(RotationTrack& track, float matrix[16], float time) {
    if (track.keyCount <= 0) {
        return;
    }
    evaluate(track, time);
    float r[16];
    fromQuaternion(r, track.value.w, track.value.x, track.value.y, track.value.z);
    multiply(matrix, r, matrix);
}

void applyPosition(VectorTrack& track, float matrix[16], float time) {
    if (track.keyCount <= 0) {
        return;
    }
    evaluate(track, time);
    matrix[12] = track.value[0];
    matrix[13] = track.value[1];
    matrix[14] = track.value[2];
}

void applyScale(VectorTrack& track, float matrix[16], float time) {
    if (track.keyCount <= 0) {
        return;
    }
    evaluate(track, time);
    // S * M with S = diag(sx, sy, sz, 1) scales the first three rows of M.
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) {
            matrix[4 * r + c] *= track.value[r];
        }
    }
}

void updateCameraFov(CameraTrack* data, float time) {
    if (data->track->keyCount <= 0) {
        return;
    }
    data->camera->fov = evaluate(*data->track, time);
    applyProjection(data->camera);
}

void updateCameraRoll(CameraTrack* data, float time) {
    if (data->track->keyCount <= 0) {
        return;
    }
    data->camera->roll = evaluate(*data->track, time);
}

// ---- motions, view and projection

void updateMotion(Motion* motion, float time) {
    if (!motion) {
        return;
    }
    float m[16];
    identity(m);
    if (motion->rotation) {
        motion->rotation->apply(m, time);
    }
    if (motion->position) {
        motion->position->apply(m, time);
    }
    if (motion->scale) {
        motion->scale->apply(m, time);
    }
    for (TrackHook* hook = motion->hooks; hook; hook = hook->next) {
        if (hook->function) {
            hook->function(hook->data, time);
        }
    }
    std::memcpy(motion->localMatrix, m, sizeof m);
    if (motion->owner) {
        const float minusPivot[3] = {-motion->pivot[0], -motion->pivot[1], -motion->pivot[2]};
        float pivot[16];
        translation(pivot, minusPivot);
        multiply(motion->owner->matrix, pivot, m);
    }
}

// The world is Z-up: yaw about Z and pitch about X turn the eye-to-target direction onto +Y,
// and Swap turns +Y into the eye's +Z (the mesh's eye matrix then flips to GL's -Z).
void updateView(Camera* camera) {
    const float* eye = camera->motion ? camera->motion->positionValue() : nullptr;
    const float* target = camera->target && camera->target->motion
                              ? camera->target->motion->positionValue()
                              : nullptr;
    if (!eye || !target) {
        return; // no target: the previous view stays
    }
    float d[3] = {target[0] - eye[0], target[1] - eye[1], target[2] - eye[2]};
    if (d[0] == 0.0f && d[1] == 0.0f && d[2] == 0.0f) {
        return; // the target sits on the eye: no direction, the previous view stays
    }
    normalise3(d);
    std::memcpy(camera->eye, eye, sizeof camera->eye);
    std::memcpy(camera->direction, d, sizeof camera->direction);
    const float h = std::sqrt(d[0] * d[0] + d[1] * d[1]);

    float pitch[16], yaw[16], swap[16], roll[16], move[16];
    axisRotation(pitch, 1, d[2], h);
    if (h != 0.0f) {
        axisRotation(yaw, 3, d[0] / h, d[1] / h);
    } else {
        axisRotation(yaw, 3, 1.0f, 0.0f); // looking straight up or down
    }
    for (float& v : swap) {
        v = 0.0f;
    }
    swap[0] = 1.0f;
    swap[6] = 1.0f;
    swap[9] = -1.0f;
    swap[15] = 1.0f;
    axisRotationAngle(roll, 3, camera->roll);
    const float minusEye[3] = {-eye[0], -eye[1], -eye[2]};
    translation(move, minusEye);

    float view[16];
    multiply(view, move, yaw);
    multiply(view, view, pitch);
    multiply(view, view, swap);
    multiply(view, view, roll);
    std::memcpy(camera->viewMatrix, view, sizeof view);
}

void applyProjection(Camera* camera) {
    PrimitivePause pause;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    const double a = std::tan(static_cast<double>(camera->fov) * 0.5);
    const double v = a * static_cast<double>(camera->aspect);
    glFrustum(-a, a, -v, v, 1.0, 10000.0);
    glMatrixMode(GL_MODELVIEW);
}

// ---- the mesh

void MeshObject::prepare(float time, const float cameraMatrix[16], const float cameraPosition[3]) {
    if (modifiers.count > 0) {
        modifiers.items[0]->render(time);
    }

    // Columns 1 and 2 change sign: the eye's +Z (forward) becomes GL's -Z, and +Y stays up
    // once both are flipped.
    multiply(eyeMatrix, matrix, cameraMatrix);
    for (int i : {1, 2, 5, 6, 9, 10, 13, 14}) {
        eyeMatrix[i] = -eyeMatrix[i];
    }

    // The camera in object space. A node scaled to nothing has no inverse: then every vertex
    // counts as facing the camera and the light stays in world space.
    float inverse[16];
    const bool invertible = invert(inverse, matrix);
    float c[3];
    transformPoint(c, cameraPosition, inverse);
    for (int32_t i = 0; i < vertexCount; ++i) {
        Vertex& v = vertices[i];
        const float dot = (v.position[0] - c[0]) * v.normal[0] +
                          (v.position[1] - c[1]) * v.normal[1] +
                          (v.position[2] - c[2]) * v.normal[2];
        v.facesCamera = (!invertible || dot < 0.0f) ? 1 : 0;
    }

    if (unlit != 0) {
        for (int32_t i = 0; i < vertexCount; ++i) {
            vertices[i].light = 255;
        }
    } else {
        float lightPosition[3] = {1.0f, 0.0f, 0.0f};
        if (scene && scene->light && scene->light->motion) {
            if (const float* p = scene->light->motion->positionValue()) {
                std::memcpy(lightPosition, p, sizeof lightPosition);
            }
        }
        float lo[3];
        transformPoint(lo, lightPosition, inverse);
        for (int32_t i = 0; i < vertexCount; ++i) {
            Vertex& v = vertices[i];
            float d[3] = {lo[0] - v.position[0], lo[1] - v.position[1], lo[2] - v.position[2]};
            normalise3(d);
            const float k = d[0] * v.normal[0] + d[1] * v.normal[1] + d[2] * v.normal[2];
            // k squared: a light behind the surface lights it as much as one in front.
            const float level = k * k * 255.0f;
            v.light = level >= 255.0f ? 255 : (level > 0.0f ? static_cast<int32_t>(level) : 0);
        }
    }

    if (material && material->texture1 != -1) {
        float e[16];
        std::memcpy(e, eyeMatrix, sizeof e);
        float s[3] = {1.0f, 1.0f, 1.0f};
        if (motion && motion->scale && motion->scale->track->keyCount > 0) {
            std::memcpy(s, motion->scale->track->value, sizeof s);
        }
        // Undo the node's scale so the normals map onto a sphere of radius 1/2 around (1/2,
        // 1/2); an axis scaled to nothing contributes nothing.
        for (int axis = 0; axis < 3; ++axis) {
            const float divisor = 2.0f * s[axis];
            for (int col = 0; col < 2; ++col) {
                float& el = e[4 * axis + col];
                el = divisor != 0.0f ? el / divisor : 0.0f;
            }
        }
        for (int32_t i = 0; i < vertexCount; ++i) {
            Vertex& v = vertices[i];
            const float* n = v.normal;
            v.envU = n[0] * e[0] + n[1] * e[4] + n[2] * e[8] + 0.5f;
            v.envV = -(n[0] * e[1] + n[1] * e[5] + n[2] * e[9] + 0.5f);
        }
    }
}

void MeshObject::draw() {
    {
        PrimitivePause pause;
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(eyeMatrix);
        glDisable(GL_CULL_FACE);
    }
    beginMaterial(material);
    // A material without an emit routine (mode 0 or above 4, or only a second texture with
    // mode 1) draws nothing for its faces.
    if (material && material->emit) {
        const EmitRoutine emit = material->emit;
        const bool twoSided = material->twoSided != 0;
        for (int32_t i = 0; i < faceCount; ++i) {
            const Face& f = faces[i];
            if (twoSided || f.vertex[0]->facesCamera || f.vertex[1]->facesCamera ||
                f.vertex[2]->facesCamera) {
                renderState.countFaces(1);
                emit(f);
            }
        }
    }
    // Texturing off on both units. Inside an open batch GL refuses these state changes with
    // GL_INVALID_OPERATION and keeps texturing as the material set it, so the calls are made
    // only when no batch is open: the same picture either way, and no error left behind for the
    // next GL call to trip over.
    if (currentPrimitive == 0) {
        glActiveTextureARB(GL_TEXTURE1_ARB);
        glDisable(GL_TEXTURE_2D);
        glActiveTextureARB(GL_TEXTURE0_ARB);
        glDisable(GL_TEXTURE_2D);
    }
}

// ---- the scene

void updateCamera(Scene* scene, float time) {
    Camera* camera = scene->camera;
    if (!scene->hasCamera || !camera) {
        return;
    }
    if (camera->target) {
        updateMotion(camera->target->motion, time);
    }
    updateMotion(camera->motion, time);
    updateView(camera);
    applyProjection(camera);
}

void updateLight(Scene* scene, float time) {
    if (scene->light) {
        updateMotion(scene->light->motion, time);
    }
}

void prepareMeshes(Scene* scene, float time) {
    Camera* camera = scene->hasCamera ? scene->camera : nullptr;
    for (MeshObject* mesh = scene->firstMesh; mesh; mesh = mesh->next) {
        updateMotion(mesh->motion, time);
        if (camera) {
            mesh->prepare(time, camera->viewMatrix, camera->eye);
        }
    }
}

void drawScene(Scene* scene, float time) {
    updateCamera(scene, time);
    updateLight(scene, time);
    Camera* camera = scene->hasCamera ? scene->camera : nullptr;
    for (MeshObject* mesh = scene->firstMesh; mesh; mesh = mesh->next) {
        updateMotion(mesh->motion, time);
        if (camera) {
            mesh->prepare(time, camera->viewMatrix, camera->eye);
            mesh->draw();
        }
    }
}

void drawMeshesNamed(Scene* scene, const char* text) {
    for (MeshObject* mesh = scene->firstMesh; mesh; mesh = mesh->next) {
        if (std::strstr(mesh->name, text)) {
            mesh->draw();
        }
    }
}
