// gl_constants.h - the OpenGL 1.1 enumerants and the extension values the demo uses. They live
// with the platform's GL types (platform/gl_constants.h), which the GL layer shares.
#pragma once

#include "platform/gl_constants.h"
