// drawing_state_support.h - the drawing layers' process-wide state put back as a fresh process
// has it, for tests that start over.
#pragma once

#include "gfx/render_state.h"
#include "resources/textures.h"
#include "scene/scene_state.h"

namespace testing_support {

// The render state, the texture catalogue, and the scene engine's magic, current material and
// texture loader.
inline void resetDrawingState() {
    renderState.reset();
    resourceState.reset();
    sceneState.reset();
}

} // namespace testing_support
