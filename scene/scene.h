// scene.h - the in-memory model of an animated 3-D scene: meshes, one camera with a target,
// dummy nodes, materials and the key tracks that move them; the matrix and quaternion maths
// all scene code shares; and the scene API the effect parts call (loading and drawing).
//
// Matrices are 16 floats with element (row r, column c) at index 4r + c. Points are row vectors
// (p' = p * M), so in A * B the transform A applies first, and the translation sits in
// m[12..14]. GL reads the same 16 floats as column-major, so matrices go to glLoadMatrixf as
// they are. Scene files use a Z-up world.
#pragma once

#include <cstdint>
#include <cstdio>

#include "gfx/render_state.h"
#include "platform/growable_array.h"
#include "scene/materials.h"
#include "scene/track.h"

class LoadedFile;
struct Scene;
struct Motion;
struct Face;
struct Vertex;

// What a mesh calls before it is prepared each frame: render(time) may rewrite the mesh's
// vertices (and recompute its normals). The effects' ObjectModifier is one.
class MeshModifier {
public:
    virtual ~MeshModifier() = default;
    virtual void render(float time) = 0;
};

struct TexVertex {
    float u = 0.0f, v = 0.0f, w = 0.0f;
};

struct Vertex {
    float sourceZ = 0.0f;
    int32_t light = -1;     // 0..255; 255 once loaded, then from lighting
    float envU = 0.0f;      // environment-map coordinates, written by prepare when the
    float envV = 0.0f;      // material has a second texture
    float sourceX = 0.0f;   // the loaded coordinates a second time (sourceZ above);
    float sourceY = 0.0f;   // nothing reads them again
    float position[3] = {}; // object space; what is drawn
    float normal[3] = {};   // unit length (or zero) after loading
    uint8_t facesCamera = 0;
    GrowableArray<Face*> faces;        // every face that uses this vertex, once each
    GrowableArray<Vertex*> neighbours; // every vertex sharing a face with it, once each
    int32_t index = 0;
};

struct Face {
    Vertex* vertex[3] = {};    // corners, first to third
    TexVertex* corner[3] = {}; // texture coordinates of the corners
    float normal[3] = {};
    int32_t attribute = 0; // stored, not interpreted
};

// Everything placed in a scene. The node owns its motion.
class SceneNode {
public:
    SceneNode();
    virtual ~SceneNode();
    SceneNode(const SceneNode&) = delete;
    SceneNode& operator=(const SceneNode&) = delete;

    virtual void setMatrix(const float values[16]);
    // Per-frame work before drawing; the base does nothing.
    virtual void prepare(float time, const float cameraMatrix[16], const float cameraPosition[3]);
    virtual void draw();

    Scene* scene = nullptr;
    Motion* motion = nullptr;
    float matrix[16]; // rewritten from the motion every frame
};

class MeshObject : public SceneNode {
public:
    MeshObject() = default;
    ~MeshObject() override;

    // Evaluates modifiers, the eye matrix, back-facing vertices, lighting and environment
    // coordinates for this frame.
    void prepare(float time, const float cameraMatrix[16], const float cameraPosition[3]) override;
    // Draws the faces through the material inside the caller's open batch.
    void draw() override;
    // As allocateGeometry, and links `motion` with this mesh both ways.
    virtual void allocateGeometryWithMotion(int32_t vertexCount, int32_t texVertexCount,
                                            int32_t faceCount, Motion* motion);
    // Records the counts, clears scene, motion and next, creates the arrays (faces and texture
    // vertices unset until loaded) and resets the matrix to identity. A mesh without texture
    // vertices still gets one at (0, 0) for its corners to refer to.
    virtual void allocateGeometry(int32_t vertexCount, int32_t texVertexCount, int32_t faceCount);

    int32_t id = 0;
    MeshObject* next = nullptr;
    char name[32] = {};
    GrowableArray<MeshModifier*> modifiers; // not owned; render of the first runs in prepare
    Vertex* vertices = nullptr;
    TexVertex* texVertices = nullptr;
    Face* faces = nullptr;
    float eyeMatrix[16] = {};
    int32_t unlit = 1; // 1: every vertex at full light; 0: lit per vertex
    int32_t vertexCount = 0;
    int32_t texVertexCount = 0;
    int32_t faceCount = 0;
    Material* material = nullptr;
    int32_t materialIndex = 0;
};

class DummyNode;

class Camera : public SceneNode {
public:
    Camera();
    ~Camera() override = default;

    char name[32] = {};
    char targetName[32] = {};
    float fov = 32.546875f; // horizontal field of view, radians; the track replaces it
    float aspect = 0.75f;   // vertical extent of the frustum over its horizontal extent
    float roll = 0.0f;
    float viewMatrix[16]; // world to eye
    float direction[3] = {};
    float eye[3] = {};
    Camera* next = nullptr;
    DummyNode* target = nullptr;
};

class DummyNode : public SceneNode {
public:
    char name[32] = {};
    DummyNode* next = nullptr;
};

// Drives one track into a node's matrix. A binding owns its track.
struct TrackBinding {
    virtual ~TrackBinding() = default;
    virtual void apply(float matrix[16], float time) = 0;
};

template <class TrackType> struct BoundTrack : TrackBinding {
    using Function = void (*)(TrackType& track, float matrix[16], float time);
    TrackType* track;
    Function function;

    BoundTrack(TrackType* track, Function function) : track(track), function(function) {}
    ~BoundTrack() override { delete track; }
    void apply(float matrix[16], float time) override {
        if (function) {
            function(*track, matrix, time);
        }
    }
};
using VectorBinding = BoundTrack<VectorTrack>;
using RotationBinding = BoundTrack<RotationTrack>;

// The appliers updateMotion runs. Each leaves the matrix alone when its track has no keys.
void applyRotation(RotationTrack& track, float matrix[16], float time); // M = R * M
void applyPosition(VectorTrack& track, float matrix[16], float time);   // M[12..14] = p
void applyScale(VectorTrack& track, float matrix[16], float time);      // M = S * M

// The data of a camera's field-of-view or roll hook.
struct CameraTrack {
    ScalarTrack* track;
    Camera* camera;
};

struct TrackHook {
    void (*function)(CameraTrack* data, float time);
    CameraTrack* data; // owned, with its track
    TrackHook* next = nullptr;
};

// The hooks the reader installs on a camera: each evaluates its track and stores the value;
// the field-of-view hook also reloads the projection. A track without keys changes nothing.
void updateCameraFov(CameraTrack* data, float time);
void updateCameraRoll(CameraTrack* data, float time);

// The animation controller of one node. It owns its bindings, hooks and tracks.
struct Motion {
    Motion();
    ~Motion();
    Motion(const Motion&) = delete;
    Motion& operator=(const Motion&) = delete;

    // The value of the position (or scale) track as last evaluated; null without a binding.
    const float* positionValue() const;
    const float* scaleValue() const;
    // Appends a hook at the tail of the list.
    void appendHook(TrackHook* hook);

    Motion* parent = nullptr; // recorded only: transforms do not compose through it
    SceneNode* owner = nullptr;
    char name[32] = {};
    int32_t id = 0;
    float pivot[3] = {};
    float localMatrix[16];
    VectorBinding* position = nullptr;
    RotationBinding* rotation = nullptr;
    VectorBinding* scale = nullptr;
    TrackHook* hooks = nullptr;
};

// Scene file kinds, found from the file name.
enum SceneFormat : int32_t {
    formatNone = 0,
    formatAsc = 1,
    formatAse = 2,
    formatExp = 3,
    formatLwv = 4,
};

struct Scene {
    // Stores the name (at most 35 characters: a longer one is fatal) and starts empty.
    explicit Scene(const char* fileName);
    // Releases the nodes, their motions and tracks, and the materials.
    ~Scene();
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    MeshObject* firstMesh = nullptr;
    Camera* camera = nullptr; // the first camera; later ones are linked behind it, unused
    DummyNode* firstDummy = nullptr;
    SceneNode* light = nullptr; // not owned; its position lights the meshes
    int32_t format = formatNone;
    int32_t hasMeshes = 0;
    int32_t hasCamera = 0;
    int32_t hasDummies = 0;
    char fileName[36] = {};
    MaterialList* materials = nullptr;
};

// ---- building and searching a scene

void linkMesh(Scene* scene, MeshObject* mesh);
void linkCamera(Scene* scene, Camera* camera);
void linkDummy(Scene* scene, DummyNode* node);
void linkMotion(Motion* motion, SceneNode* node);
// The first dummy node whose name equals `name` exactly, or null.
DummyNode* findDummy(Scene* scene, const char* name);
// Only the first mesh is checked: its motion when its id equals `id`, else null (-1: null).
Motion* findMotionById(Scene* scene, int32_t id);
// Appends a modifier (not owned) to the mesh.
void addModifier(MeshObject* mesh, MeshModifier* modifier);
// Face normals, then unweighted vertex normals; a degenerate face gets a zero normal.
void computeNormals(MeshObject* mesh);
// Each vertex's faces and neighbours, from the face list.
void buildAdjacency(MeshObject* mesh);

// ---- loading (scene files: magic "KEXP" or "QUOR")

// Finds the format from the file name, opens the file (a missing one is fatal) and reads it
// when it is a ".exp" scene. Returns the format. A damaged file is fatal with a message that
// names the file, the byte offset and the fault.
int32_t loadScene(Scene* scene);
// The format code loadScene gives a file name: the first of ".asc", ".ase", ".exp" or "lwv"
// (no dot needed) from the left, case-sensitive; formatNone when there is none.
int32_t sceneFormatOf(const char* fileName);
// Reads a scene file's data into `scene` and releases the record. A file that starts with
// neither magic is refused like a damaged one.
void readKexp(Scene* scene, LoadedFile* file);

// ---- animation and drawing

// Moves the whole scene to `time` (in its key-time unit) and draws it through its camera.
void drawScene(Scene* scene, float time);
void updateCamera(Scene* scene, float time);
void updateLight(Scene* scene, float time);
// Updates every mesh's motion and, with a camera, prepares it; draws nothing.
void prepareMeshes(Scene* scene, float time);
// Draws every mesh whose name contains `text` (case-sensitive); updates nothing.
void drawMeshesNamed(Scene* scene, const char* text);
void updateMotion(Motion* motion, float time);
// Builds the camera's view from its current track values. A camera without a target, or with
// its target on its eye, keeps its previous view.
void updateView(Camera* camera);
// Loads the camera's perspective projection (suspending an open batch).
void applyProjection(Camera* camera);

// ---- matrix and vector maths

void identity(float m[16]);
// out = a * b; out may be a or b.
void multiply(float out[16], const float a[16], const float b[16]);
// Rotation about axis 1 (X), 2 (Y) or 3 (Z) from a given sine and cosine.
void axisRotation(float m[16], int axis, float s, float c);
void axisRotationAngle(float m[16], int axis, float angle);
void translation(float m[16], const float t[3]);
// General inverse. Returns false and writes the identity when the matrix is singular, so no
// infinity or NaN comes out of a node scaled to nothing.
bool invert(float out[16], const float m[16]);
// Rotation matrix of a quaternion as it is (not normalised first).
void fromQuaternion(float m[16], float w, float x, float y, float z);
// Scales v to unit length; a zero vector stays zero.
void normalise3(float v[3]);
// p * M for a point (w = 1), first three components.
void transformPoint(float out[3], const float p[3], const float m[16]);
