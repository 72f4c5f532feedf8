// scene.cpp - the scene model: construction and destruction, list links and look-ups, vertex
// adjacency, face and vertex normals, and the matrix maths shared by all scene code.
#include "scene/scene.h"

#include <cmath>
#include <cstring>

#include "platform/fatal.h"

// ---- matrix and vector maths

void identity(float m[16]) {
    for (int i = 0; i < 16; ++i) {
        m[i] = 0.0f;
    }
    m[0] = m[5] = m[10] = m[15] = 1.0f;
}

void multiply(float out[16], const float a[16], const float b[16]) {
    float t[16];
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            t[4 * r + c] = a[4 * r] * b[c] + a[4 * r + 1] * b[4 + c] + a[4 * r + 2] * b[8 + c] +
                           a[4 * r + 3] * b[12 + c];
        }
    }
    std::memcpy(out, t, sizeof t);
}

void axisRotation(float m[16], int axis, float s, float c) {
    identity(m);
    switch (axis) {
        case 1:
            m[5] = c;
            m[6] = -s;
            m[9] = s;
            m[10] = c;
            break;
        case 2:
            m[0] = c;
            m[2] = s;
            m[8] = -s;
            m[10] = c;
            break;
        case 3:
            m[0] = c;
            m[1] = s;
            m[4] = -s;
            m[5] = c;
            break;
        default:
            break;
    }
}

void axisRotationAngle(float m[16], int axis, float angle) {
    axisRotation(m, axis, std::sin(angle), std::cos(angle));
}

void translation(float m[16], const float t[3]) {
    identity(m);
    m[12] = t[0];
    m[13] = t[1];
    m[14] = t[2];
}

namespace {

// Determinant of the 3x3 minor of m that leaves out row `row` and column `col`.
float minor3(const float m[16], int row, int col) {
    float e[9];
    int n = 0;
    for (int r = 0; r < 4; ++r) {
        if (r == row) {
            continue;
        }
        for (int c = 0; c < 4; ++c) {
            if (c != col) {
                e[n++] = m[4 * r + c];
            }
        }
    }
    return e[0] * (e[4] * e[8] - e[5] * e[7]) - e[1] * (e[3] * e[8] - e[5] * e[6]) +
           e[2] * (e[3] * e[7] - e[4] * e[6]);
}

} // namespace

// The adjugate (transposed cofactors) over the determinant, expanded along the first column.
bool invert(float out[16], const float m[16]) {
    float cofactor[16];
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            const float sign = ((r + c) & 1) ? -1.0f : 1.0f;
            cofactor[4 * r + c] = sign * minor3(m, r, c);
        }
    }
    const float det =
        m[0] * cofactor[0] + m[4] * cofactor[4] + m[8] * cofactor[8] + m[12] * cofactor[12];
    if (det == 0.0f || !std::isfinite(det)) {
        identity(out);
        return false;
    }
    const float k = 1.0f / det;
    float t[16];
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            t[4 * r + c] = cofactor[4 * c + r] * k;
        }
    }
    for (float v : t) {
        if (!std::isfinite(v)) {
            identity(out);
            return false;
        }
    }
    std::memcpy(out, t, sizeof t);
    return true;
}

void fromQuaternion(float m[16], float w, float x, float y, float z) {
    for (int i = 0; i < 16; ++i) {
        m[i] = 0.0f;
    }
    m[0] = 1 - 2 * y * y - 2 * z * z;
    m[1] = 2 * x * y - 2 * w * z;
    m[2] = 2 * w * y + 2 * x * z;
    m[4] = 2 * x * y + 2 * w * z;
    m[5] = 1 - 2 * x * x - 2 * z * z;
    m[6] = 2 * y * z - 2 * w * x;
    m[8] = 2 * x * z - 2 * w * y;
    m[9] = 2 * y * z + 2 * w * x;
    m[10] = 1 - 2 * x * x - 2 * y * y;
    m[15] = 1;
}

void normalise3(float v[3]) {
    const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length > 0.0f) {
        v[0] /= length;
        v[1] /= length;
        v[2] /= length;
    }
}

void transformPoint(float out[3], const float p[3], const float m[16]) {
    float t[3];
    for (int c = 0; c < 3; ++c) {
        t[c] = p[0] * m[c] + p[1] * m[4 + c] + p[2] * m[8 + c] + m[12 + c];
    }
    out[0] = t[0];
    out[1] = t[1];
    out[2] = t[2];
}

// ---- nodes

SceneNode::SceneNode() {
    identity(matrix);
}

SceneNode::~SceneNode() {
    delete motion;
}

void SceneNode::setMatrix(const float values[16]) {
    std::memcpy(matrix, values, sizeof matrix);
}

void SceneNode::prepare(float, const float[16], const float[3]) {}

void SceneNode::draw() {}

MeshObject::~MeshObject() {
    delete[] vertices;
    delete[] texVertices;
    delete[] faces;
}

void MeshObject::allocateGeometryWithMotion(int32_t vertices, int32_t texVertices, int32_t faces,
                                            Motion* newMotion) {
    allocateGeometry(vertices, texVertices, faces);
    linkMotion(newMotion, this);
}

void MeshObject::allocateGeometry(int32_t newVertexCount, int32_t newTexVertexCount,
                                  int32_t newFaceCount) {
    vertexCount = newVertexCount > 0 ? newVertexCount : 0;
    texVertexCount = newTexVertexCount > 0 ? newTexVertexCount : 0;
    faceCount = newFaceCount > 0 ? newFaceCount : 0;
    scene = nullptr;
    delete motion;
    motion = nullptr;
    next = nullptr;
    delete[] vertices;
    delete[] texVertices;
    delete[] faces;
    vertices = new Vertex[static_cast<size_t>(vertexCount)];
    // Corners of a mesh without texture vertices refer to texture vertex 0, which is (0, 0).
    texVertices = new TexVertex[static_cast<size_t>(texVertexCount > 0 ? texVertexCount : 1)];
    faces = new Face[static_cast<size_t>(faceCount)];
    identity(matrix);
}

Camera::Camera() {
    identity(viewMatrix);
}

// ---- motions

Motion::Motion() {
    identity(localMatrix);
}

Motion::~Motion() {
    delete position;
    delete rotation;
    delete scale;
    while (hooks) {
        TrackHook* next = hooks->next;
        if (hooks->data) {
            delete hooks->data->track;
            delete hooks->data;
        }
        delete hooks;
        hooks = next;
    }
}

const float* Motion::positionValue() const {
    return position ? position->track->value : nullptr;
}

const float* Motion::scaleValue() const {
    return scale ? scale->track->value : nullptr;
}

void Motion::appendHook(TrackHook* hook) {
    hook->next = nullptr;
    TrackHook** tail = &hooks;
    while (*tail) {
        tail = &(*tail)->next;
    }
    *tail = hook;
}

// ---- the scene

Scene::Scene(const char* name) {
    const size_t length = std::strlen(name);
    if (length >= sizeof fileName) {
        sys::fatalf("file error",
                    "The scene name \"%s\" has %zu characters; a scene name holds at most %zu.",
                    name, length, sizeof fileName - 1);
    }
    std::memcpy(fileName, name, length + 1);
    materials = new MaterialList;
}

Scene::~Scene() {
    while (firstMesh) {
        MeshObject* next = firstMesh->next;
        delete firstMesh;
        firstMesh = next;
    }
    while (camera) {
        Camera* next = camera->next;
        delete camera;
        camera = next;
    }
    while (firstDummy) {
        DummyNode* next = firstDummy->next;
        delete firstDummy;
        firstDummy = next;
    }
    delete materials;
}

void linkMesh(Scene* scene, MeshObject* mesh) {
    mesh->scene = scene;
    mesh->next = nullptr;
    if (!scene->hasMeshes) {
        scene->firstMesh = mesh;
        scene->hasMeshes = 1;
        return;
    }
    MeshObject* tail = scene->firstMesh;
    while (tail->next) {
        tail = tail->next;
    }
    tail->next = mesh;
}

void linkCamera(Scene* scene, Camera* camera) {
    camera->scene = scene;
    camera->next = nullptr;
    if (!scene->hasCamera) {
        scene->camera = camera;
        scene->hasCamera = 1;
        return;
    }
    Camera* tail = scene->camera;
    while (tail->next) {
        tail = tail->next;
    }
    tail->next = camera;
}

void linkDummy(Scene* scene, DummyNode* node) {
    node->scene = scene;
    node->next = nullptr;
    if (!scene->hasDummies) {
        scene->firstDummy = node;
        scene->hasDummies = 1;
        return;
    }
    DummyNode* tail = scene->firstDummy;
    while (tail->next) {
        tail = tail->next;
    }
    tail->next = node;
}

void linkMotion(Motion* motion, SceneNode* node) {
    motion->owner = node;
    node->motion = motion;
}

DummyNode* findDummy(Scene* scene, const char* name) {
    for (DummyNode* d = scene->firstDummy; d; d = d->next) {
        if (std::strcmp(d->name, name) == 0) {
            return d;
        }
    }
    return nullptr;
}

// Only the first mesh is looked at: the stored scenes name no other parent, and parents are
// recorded, never used.
Motion* findMotionById(Scene* scene, int32_t id) {
    if (id == -1 || !scene->hasMeshes || !scene->firstMesh) {
        return nullptr;
    }
    return scene->firstMesh->id == id ? scene->firstMesh->motion : nullptr;
}

void addModifier(MeshObject* mesh, MeshModifier* modifier) {
    mesh->modifiers.append(modifier);
}

void buildAdjacency(MeshObject* mesh) {
    for (int32_t i = 0; i < mesh->faceCount; ++i) {
        Face& f = mesh->faces[i];
        for (Vertex* v : f.vertex) {
            v->faces.add(&f);
        }
        Vertex* a = f.vertex[0];
        Vertex* b = f.vertex[1];
        Vertex* c = f.vertex[2];
        a->neighbours.add(b);
        a->neighbours.add(c);
        b->neighbours.add(a);
        b->neighbours.add(c);
        c->neighbours.add(a);
        c->neighbours.add(b);
    }
}

void computeNormals(MeshObject* mesh) {
    for (int32_t i = 0; i < mesh->faceCount; ++i) {
        Face& f = mesh->faces[i];
        const float* p0 = f.vertex[0]->position;
        const float* p1 = f.vertex[1]->position;
        const float* p2 = f.vertex[2]->position;
        const float e1[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
        const float e2[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
        const float n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                            e1[0] * e2[1] - e1[1] * e2[0]};
        float g = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (g == 0.0f) {
            g = 1e-6f; // a degenerate face: its normal stays (0, 0, 0)
        }
        for (int k = 0; k < 3; ++k) {
            f.normal[k] = n[k] / g;
        }
    }
    for (int32_t i = 0; i < mesh->vertexCount; ++i) {
        float* n = mesh->vertices[i].normal;
        n[0] = n[1] = n[2] = 0.0f;
    }
    for (int32_t i = 0; i < mesh->faceCount; ++i) {
        const Face& f = mesh->faces[i];
        for (Vertex* v : f.vertex) {
            for (int k = 0; k < 3; ++k) {
                v->normal[k] += f.normal[k];
            }
        }
    }
    for (int32_t i = 0; i < mesh->vertexCount; ++i) {
        normalise3(mesh->vertices[i].normal);
    }
}
