// demo_scene.h - a small example scene written with the scene writer: a textured cube that
// turns and bobs above a coloured floor, watched by a moving camera aimed at a target node.
// People making scenes start from it, and the tests draw it. Also a JPEG writer for the
// example's texture and for tests that need JPEG files of their own.
#pragma once

#include <string>
#include <vector>

#include "tools/common/scene_writer.h"

// The example scene. Its cube's material (index 0) names "demo_checker.jpg"; the floor's
// (index 1) is untextured. Key times run from 0 to 100.
scenefile::SceneFile demoSceneFile();
// The cube's texture: 64 x 64 orange and white squares under a dark blue band along the top
// edge, so a picture drawn upside down shows at once.
std::vector<unsigned char> demoCheckerPixels(int& width, int& height);
// Writes "demo.exp" and "demo_checker.jpg" into `folder` (which must exist).
bool writeDemoScene(const std::string& folder, std::string& error);

// Writes width x height pixels of `components` bytes each (1 greyscale, 3 RGB, 4 CMYK), rows
// top to bottom, as a baseline JPEG file.
bool writeJpegFile(const std::string& path, int width, int height, int components,
                   const std::vector<unsigned char>& pixels, int quality, std::string& error);
