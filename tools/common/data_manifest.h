// data_manifest.h - the one list of data files the demo loads by fixed name: every file the
// schedule's parts and the music load, with the part (or the application) that loads it.
// Textures named inside scene files are not listed here; they come from the scenes.
#pragma once

#include <string>
#include <vector>

namespace manifest {

enum class FileKind {
    Scene,          // ".exp" scene file
    Envelope,       // scalar ".env"
    VectorEnvelope, // vector ".env"
    Picture,        // JPEG loaded as a texture
    AlphaMap,       // raw alpha bytes for a colour picture (one byte per pixel)
    Module,         // the XM module
    Companion,      // the module's compressed-sample companion
};

struct DataFile {
    const char* name; // exactly as the program asks for it (the archive ignores case)
    FileKind kind;
    const char* loadedBy; // class name of the loading part, or "Application"
};

// Every fixed-name file in load order: the application's music files first, then the
// schedule's rows in construction order. A file that several parts load appears once per part.
const std::vector<DataFile>& demoFiles();

// The distinct names of demoFiles() of one kind, compared without case, in first-use order.
std::vector<std::string> namesOfKind(FileKind kind);
// Every distinct name of demoFiles(), compared without case, in first-use order.
std::vector<std::string> distinctNames();

} // namespace manifest
