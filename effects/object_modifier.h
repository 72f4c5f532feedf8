// object_modifier.h - a mesh modifier that is also a Part: the scene engine calls its render(time)
// with the time at which the mesh is being prepared, before the mesh is drawn. The base changes
// nothing; VertexWobbleModifier is the one that deforms meshes.
#pragma once

#include "scene/scene.h"
#include "timeline/part.h"

class ObjectModifier : public Part, public MeshModifier {
public:
    // One render serves both bases: as a Part it would draw, as a modifier it moves vertices.
    void render(float time) override {}
};
