// shite.h - the wobbling chrome scene over a sliding striped backdrop, and the vertex modifier
// that makes its meshes breathe.
#pragma once

#include <memory>
#include <vector>

#include "effects/object_modifier.h"
#include "scene/scene.h"
#include "timeline/part.h"

// Stretches a mesh's x and y every frame by factors that ripple with the direction of each
// vertex's rest normal. Every call starts again from the copy taken at construction, so the
// result depends only on that copy and the time.
class VertexWobbleModifier : public ObjectModifier {
public:
    // Copies the mesh's vertices (position and normal) and registers with the mesh.
    explicit VertexWobbleModifier(MeshObject* mesh);
    // x: the time at which the mesh is being prepared. Rewrites the positions from the rest
    // copy and recomputes the mesh's face and vertex normals.
    void render(float x) override;

    struct RestVertex {
        float position[3];
        float normal[3];
    };
    std::vector<RestVertex> rest; // one per vertex of the mesh, as loaded
    MeshObject* object;           // not owned
};

class ShitePart : public Part {
public:
    const char* name() const override { return "Shite"; }
    // Loads "shite1.exp" and "design_bw2.exp", gives the main scene's first two materials their
    // pictures and puts a wobble modifier on each of its first four meshes (fewer when the
    // scene has fewer).
    ShitePart(float start, float end);
    ~ShitePart() override;
    void render(float t) override;

    std::unique_ptr<Scene> scene;         // "shite1.exp"
    std::unique_ptr<Scene> backdropScene; // "design_bw2.exp", frozen at scene time 0
    std::vector<std::unique_ptr<VertexWobbleModifier>> modifiers;
};
