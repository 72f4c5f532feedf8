// search_path.cpp - directory and archive sources, the search path and loaded-file locking.
#include "resources/search_path.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/fatal.h"
#include "platform/platform.h"

SearchPath searchPath;
std::string archiveAdvice;

namespace {

// Set once a report about the archive has been shown: a file that then cannot be found is the
// same cause, and is said on standard error without a second box.
bool archiveReported = false;

// The runtime's upper-casing in the C locale: a-z to A-Z, every other byte unchanged.
void upperCase(char* s) {
    for (; *s; ++s) {
        if (*s >= 'a' && *s <= 'z') {
            *s = static_cast<char>(*s - 'a' + 'A');
        }
    }
}

std::vector<std::unique_ptr<unsigned char[]>>& fileBuffers() {
    static std::vector<std::unique_ptr<unsigned char[]>> buffers;
    return buffers;
}

// Reports a problem with the archive itself. Nothing is read after this, and the quit request
// carries a failure code so the run does not end as a success.
void reportArchiveError(const char* what, const char* detail, const char* why = nullptr) {
    char text[800];
    std::snprintf(text, sizeof text, "FILE ERROR : %s%s\n%s%s", what, detail, why ? why : "",
                  why ? "\n" : "");
    sys::messageBox(text, "File systema error", sys::MB_ICONERROR);
    archiveReported = true;
    sys::postQuitMessage(sys::fatalExitCode);
}

// A damaged directory: report it with the archive's name and what is wrong, then end. When not
// even the first header reads as one (`foreign`), the file is no archive of ours at all (a wrong
// file put there), and the report says how to get the right one; an archive cut short after its
// first header is damaged.
[[noreturn]] void corruptArchive(const char* path, bool foreign, const char* what,
                                 long long where) {
    if (foreign) {
        sys::fatalf("File systema error",
                    "FILE ERROR : %s is not a TIR VAL archive (%s at byte %lld)\n%s", path, what,
                    where, archiveAdvice.c_str());
    }
    sys::fatalf("File systema error", "FILE ERROR : the archive %s is damaged: %s (at byte %lld)\n",
                path, what, where);
}

void checkNameLength(const char* name) {
    if (std::strlen(name) > archiveMaxName) {
        sys::fatalf("file not found",
                    "FILE NOT FOUND\n %.60s...\n(a name of %zu characters; at most %d fit)", name,
                    std::strlen(name), archiveMaxName);
    }
}

int64_t fileLength(FILE* f) {
    if (std::fseek(f, 0, SEEK_END) != 0) {
        return -1;
    }
    const long length = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    return length;
}

// What a path names, asked of the file system rather than of a stream: a folder opens as a
// stream too, reads nothing and can report a length of 2^63.
enum class PathKind { missing, file, folder, other };

PathKind pathKind(const std::string& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status)) {
        return PathKind::missing;
    }
    if (std::filesystem::is_directory(status)) {
        return PathKind::folder;
    }
    return std::filesystem::is_regular_file(status) ? PathKind::file : PathKind::other;
}

// A file the program cannot hold: sizes are 32-bit signed all through the loaders.
[[noreturn]] void fileTooLarge(const std::string& path, int64_t size) {
    sys::fatalf("file error",
                "The file \"%s\" has %lld bytes; a data file can have at most 2 GiB "
                "(2,147,483,647 bytes).",
                path.c_str(), static_cast<long long>(size));
}

} // namespace

unsigned char* allocateFileBuffer(int64_t size) {
    // One byte more than asked for, zeroed, so that text readers always find a terminator.
    auto buffer =
        std::make_unique<unsigned char[]>(static_cast<size_t>(std::max<int64_t>(size, 0)) + 1);
    unsigned char* p = buffer.get();
    fileBuffers().push_back(std::move(buffer));
    return p;
}

bool isJpegName(const char* name) {
    for (const char* p = name; *p; ++p) {
        if (p[0] == '.' && (p[1] | 0x20) == 'j' && (p[2] | 0x20) == 'p' && (p[3] | 0x20) == 'g') {
            return true;
        }
    }
    return false;
}

void discardFileBuffers() {
    fileBuffers().clear();
    fileBuffers().shrink_to_fit();
}

void scrambleArchiveBytes(unsigned char* data, int64_t count) {
    unsigned char key = 181;
    for (int64_t i = 0; i < count; ++i) {
        data[i] ^= key;
        key = static_cast<unsigned char>(key + 109);
    }
}

// ---------------------------------------------------------------------------------------------
// LoadedFile

void* LoadedFile::lock() {
    if (size < 0) {
        std::printf("Memory Exception:\nno memory\n");
        sys::exitProcess(1);
    }
    ++lockCount;
    return data;
}

void LoadedFile::unlock() {
    if (lockCount < 1) {
        std::printf("Memory Exception:\ndata isn't locked\n");
        sys::exitProcess(1);
    }
    --lockCount;
}

// ---------------------------------------------------------------------------------------------
// DirectorySource

struct DirectorySource::FolderListing {
    std::string folder;
    std::map<std::string, std::string> names; // lower-case name -> the first name in byte order
    bool listed = false;
};

DirectorySource::DirectorySource(const char* prefix) : prefix(strdup(prefix ? prefix : "")) {}

DirectorySource::~DirectorySource() {
    std::free(prefix);
    for (FolderListing* listing : listings) {
        delete listing;
    }
}

std::string lowerCase(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return s;
}

std::string DirectorySource::resolve(const char* name) {
    const std::string path = pathOf(name);
    const PathKind kind = pathKind(path);
    if (kind == PathKind::file) {
        return path;
    }
    if (kind != PathKind::missing) {
        return {}; // a folder or device of exactly this name: not a file, and not a miss either
    }
    namespace fs = std::filesystem;
    const fs::path full(path);
    const std::string folder = full.has_parent_path() ? full.parent_path().string() : ".";
    FolderListing* listing = nullptr;
    for (FolderListing* l : listings) {
        if (l->folder == folder) {
            listing = l;
        }
    }
    if (!listing) {
        listing = listings.emplace_back(new FolderListing{folder, {}, false});
    }
    const std::string key = lowerCase(full.filename().string());
    auto list = [&] {
        listing->names.clear();
        listing->listed = true;
        std::error_code error;
        for (fs::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            const std::string entry = it->path().filename().string();
            auto [slot, added] = listing->names.emplace(lowerCase(entry), entry);
            if (!added && entry < slot->second) {
                slot->second = entry;
            }
        }
    };
    auto find = [&]() -> std::string {
        const auto found = listing->names.find(key);
        if (found == listing->names.end()) {
            return {};
        }
        const std::string other = (fs::path(folder) / found->second).string();
        return pathKind(other) == PathKind::file ? other : std::string();
    };
    // The listing is kept; a name it lacks, or one whose file has gone, lists the folder again
    // once, so files added or renamed since are found too.
    const bool fresh = !listing->listed;
    if (fresh) {
        list();
    }
    std::string found = find();
    if (found.empty() && !fresh) {
        list();
        found = find();
    }
    return found;
}

std::string DirectorySource::pathOf(const char* name) const {
    return sys::nativePath((std::string(prefix) + name).c_str());
}

bool DirectorySource::hasFolder(const char* name) const {
    return pathKind(pathOf(name)) == PathKind::folder;
}

FILE* DirectorySource::openStream(const char* name, int mode) {
    // Only plain files count: a folder of that name is not the file asked for.
    const std::string path = resolve(name);
    return path.empty() ? nullptr : std::fopen(path.c_str(), "rb");
}

void* DirectorySource::loadInto(const char* name, void* buffer) {
    FILE* f = openStream(name, 0);
    if (!f) {
        return nullptr;
    }
    const int64_t size = fileLength(f);
    if (size > 0x7FFFFFFF) {
        std::fclose(f);
        fileTooLarge(pathOf(name), size);
    }
    if (size < 0) {
        std::fclose(f);
        return nullptr;
    }
    if (!buffer) {
        buffer = allocateFileBuffer(size);
    }
    const size_t got = std::fread(buffer, 1, static_cast<size_t>(size), f);
    std::fclose(f);
    if (got != static_cast<size_t>(size)) {
        return nullptr;
    }
    return buffer;
}

LoadedFile* DirectorySource::load(const char* name, int mode) {
    FILE* f = openStream(name, mode);
    if (!f) {
        return nullptr;
    }
    const int64_t size = fileLength(f);
    if (size > 0x7FFFFFFF) {
        std::fclose(f);
        fileTooLarge(pathOf(name), size);
    }
    if (size < 0) {
        std::fclose(f);
        return nullptr;
    }
    unsigned char* data = allocateFileBuffer(size);
    const size_t got = std::fread(data, 1, static_cast<size_t>(size), f);
    std::fclose(f);
    if (got != static_cast<size_t>(size)) {
        return nullptr;
    }
    return new LoadedFile(data, static_cast<int>(size), mode);
}

// ---------------------------------------------------------------------------------------------
// ArchiveSource

namespace {

int32_t get32(const unsigned char* p) {
    int32_t v;
    std::memcpy(&v, p, 4); // little-endian on every platform the program runs on
    return v;
}

} // namespace

ArchiveSource::ArchiveSource(const char* path) {
    archiveReported = false; // a new archive: nothing said about it yet
    const size_t pathLength = std::strlen(path);
    if (pathLength > archiveMaxPath) {
        sys::fatalf("File systema error",
                    "FILE ERROR : archive path too long (%zu characters, at most %d): %.80s...\n",
                    pathLength, archiveMaxPath, path);
    }
    archivePath = path;
    const std::string native = sys::nativePath(path);
    // A folder or a device opens as a stream too, but holds no directory to read: it counts as
    // an archive that cannot be opened.
    const PathKind kind = pathKind(native);
    stream.reset(kind == PathKind::file ? std::fopen(native.c_str(), "rb") : nullptr);
    if (!stream) {
        // Reported, and the directory is never read: every lookup falls through to the other
        // sources.
        reportArchiveError("No archive file!!! ", path,
                           kind == PathKind::folder  ? "(it is a folder, not a file)"
                           : kind == PathKind::other ? "(it is not a plain file)"
                                                     : nullptr);
        return;
    }
    // A damaged directory is fatal; when the fatal path unwinds (a test, a reload) the members
    // give back the stream and the entries read so far.
    readDirectory();
    directoryRead = true;
}

void ArchiveSource::readDirectory() {
    const char* name = archivePath.c_str();
    FILE* f = stream.get();
    const int64_t fileSize = fileLength(f);
    archiveSize = fileSize;
    if (fileSize == 0) {
        corruptArchive(name, entries.empty(),
                       "the file is empty (an archive starts with a 28-byte entry header)", 0);
    }

    int64_t position = 0;
    for (;;) {
        if (entries.size() >= static_cast<size_t>(archiveMaxEntries)) {
            corruptArchive(name, false, "more than 1000 entries", position);
        }
        if (position < 0 || position + archiveHeaderSize > fileSize) {
            corruptArchive(name, entries.empty(), "an entry header lies past the end of the file",
                           position);
        }
        unsigned char header[archiveHeaderSize];
        std::fseek(f, static_cast<long>(position), SEEK_SET);
        if (std::fread(header, 1, archiveHeaderSize, f) != archiveHeaderSize) {
            corruptArchive(name, entries.empty(), "an entry header cannot be read", position);
        }
        ArchiveEntry entry;
        entry.size = get32(header);
        entry.storedSize = get32(header + 4);
        entry.nameLength = get32(header + 8);
        entry.dataOffset = get32(header + 12);
        entry.nameOffset = get32(header + 16);
        entry.nextOffset = get32(header + 20);
        entry.method = header[24];
        if (entry.nameLength <= 0 || entry.nameLength > archiveMaxName) {
            corruptArchive(name, entries.empty(), "a name length of 0 or over 255", position + 8);
        }
        if (entry.nameOffset < 0 ||
            static_cast<int64_t>(entry.nameOffset) + entry.nameLength > fileSize) {
            corruptArchive(name, entries.empty(), "a name lies past the end of the file",
                           position + 16);
        }
        if (entry.size < 0 || entry.storedSize < 0) {
            corruptArchive(name, entries.empty(), "a negative size", position);
        }
        if (entry.method == '0' &&
            (entry.dataOffset < 0 ||
             static_cast<int64_t>(entry.dataOffset) + entry.storedSize > fileSize)) {
            corruptArchive(name, false, "an entry's data lies past the end of the file",
                           position + 12);
        }
        if (entry.method == '0' && entry.storedSize > entry.size) {
            corruptArchive(name, false, "an entry stores more bytes than its size", position + 4);
        }
        // The in-memory size of stored data cannot exceed the archive itself; this also keeps a
        // damaged size from asking for gigabytes.
        if (entry.size > fileSize) {
            corruptArchive(name, false, "an entry's size is larger than the archive", position);
        }
        char stored[archiveMaxName + 1] = {};
        std::fseek(f, entry.nameOffset, SEEK_SET);
        if (std::fread(stored, 1, static_cast<size_t>(entry.nameLength), f) !=
            static_cast<size_t>(entry.nameLength)) {
            corruptArchive(name, false, "a name cannot be read", entry.nameOffset);
        }
        upperCase(stored); // the name ends at its first zero byte
        entry.name = stored;
        const int32_t nextOffset = entry.nextOffset;
        const int64_t next = nextOffset == 0
                                 ? static_cast<int64_t>(entry.nameOffset) + entry.nameLength
                                 : nextOffset;
        entries.push_back(std::move(entry));
        if (nextOffset == -1) {
            break;
        }
        // Headers must move forwards, which also rules out a chain that loops.
        if (next <= position) {
            corruptArchive(name, false, "the chain of entries loops or goes backwards",
                           position + 20);
        }
        position = next;
    }

    std::sort(entries.begin(), entries.end(), [](const ArchiveEntry& a, const ArchiveEntry& b) {
        return std::strcmp(a.name.c_str(), b.name.c_str()) < 0;
    });
}

ArchiveSource::~ArchiveSource() = default;

const ArchiveEntry* ArchiveSource::lookup(const char* name, bool quiet) {
    char key[256];
    checkNameLength(name);
    std::strcpy(key, name);
    upperCase(key);
    if (entries.empty()) {
        return nullptr; // no archive, or an archive that could not be opened
    }
    if (!stream) {
        stream.reset(std::fopen(sys::nativePath(archivePath.c_str()).c_str(), "rb"));
        if (!stream) {
            return nullptr;
        }
    }
    int lo = 0, hi = entryCount() - 1;
    while (lo <= hi) {
        const int mid = (lo + hi) / 2;
        const int c = std::strcmp(key, entries[static_cast<size_t>(mid)].name.c_str());
        if (c == 0) {
            return &entries[static_cast<size_t>(mid)];
        }
        if (c < 0) {
            hi = mid - 1;
        } else {
            lo = mid + 1;
        }
    }
    if (!quiet) {
        reportArchiveError("File not found : ", key);
    }
    return nullptr;
}

void* ArchiveSource::loadInto(const char* name, void* buffer) {
    const ArchiveEntry* entry = lookup(name, true);
    if (!entry) {
        return nullptr;
    }
    if (!buffer) {
        buffer = allocateFileBuffer(entry->size);
    }
    std::fseek(stream.get(), entry->dataOffset, SEEK_SET);
    if (entry->method == '0') {
        const size_t got =
            std::fread(buffer, 1, static_cast<size_t>(entry->storedSize), stream.get());
        if (got != static_cast<size_t>(entry->storedSize)) {
            return nullptr;
        }
    }
    scrambleArchiveBytes(static_cast<unsigned char*>(buffer), entry->size);
    return buffer;
}

LoadedFile* ArchiveSource::load(const char* name, int mode) {
    void* data = loadInto(name, nullptr);
    if (!data) {
        return nullptr;
    }
    const ArchiveEntry* entry = lookup(name, true);
    return new LoadedFile(static_cast<unsigned char*>(data), entry->size, mode);
}

FILE* ArchiveSource::openStream(const char* name, int mode) {
    const ArchiveEntry* entry = lookup(name, false);
    if (!entry) {
        // Reported by the lookup; the caller never gets a stream that is not at its file.
        return nullptr;
    }
    std::fseek(stream.get(), entry->dataOffset, SEEK_SET);
    // The stream now belongs to the caller, who closes it; the next lookup reopens the archive.
    return stream.release();
}

// ---------------------------------------------------------------------------------------------
// SearchPath

void SearchPath::add(FileSource* source) {
    head = new Node{source, head, nullptr};
}

void SearchPath::add(std::unique_ptr<FileSource> source) {
    FileSource* s = source.get();
    head = new Node{s, head, std::move(source)};
}

void SearchPath::clear() {
    while (head) {
        Node* next = head->next;
        delete head; // and the source, when the path owns it
        head = next;
    }
    asked.clear();
}

void SearchPath::note(const char* name) {
    std::string file = name;
    const size_t slash = file.find_last_of("/\\");
    if (slash != std::string::npos) {
        file.erase(0, slash + 1);
    }
    for (char& c : file) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    asked.insert(file);
}

ArchiveSource* SearchPath::archive() const {
    for (const Node* n = head; n; n = n->next) {
        if (auto* a = dynamic_cast<ArchiveSource*>(n->source)) {
            return a;
        }
    }
    return nullptr;
}

// The message of a search that found nothing. When a folder source holds a folder of that
// name, a second line says so: the name is there, but it is not a file.
[[noreturn]] static void fileNotFound(const SearchPath& path, const char* name) {
    static char message[1200];
    int length = std::snprintf(message, sizeof message, "FILE NOT FOUND\n %s", name);
    for (const SearchPath::Node* n = path.head; n; n = n->next) {
        const auto* folder = dynamic_cast<const DirectorySource*>(n->source);
        if (folder && folder->hasFolder(name) && length > 0 &&
            static_cast<size_t>(length) < sizeof message) {
            std::snprintf(message + length, sizeof message - static_cast<size_t>(length),
                          "\n(\"%s\" is a folder, not a file)", folder->pathOf(name).c_str());
            break;
        }
    }
    sys::messageBox(message, "file not found", archiveReported ? sys::MB_NOBOX : sys::MB_OK);
    sys::exitProcess(sys::fatalExitCode);
}

LoadedFile* SearchPath::load(const char* name, int mode) {
    checkNameLength(name);
    note(name);
    for (Node* n = head; n; n = n->next) {
        if (LoadedFile* f = n->source->load(name, mode)) {
            return f;
        }
    }
    if (mode == loadQuiet) {
        return nullptr;
    }
    fileNotFound(*this, name);
}

void* SearchPath::loadInto(const char* name, void* buffer) {
    checkNameLength(name);
    note(name);
    for (Node* n = head; n; n = n->next) {
        if (void* p = n->source->loadInto(name, buffer)) {
            return p;
        }
    }
    fileNotFound(*this, name);
}

FILE* SearchPath::openStream(const char* name, int mode) {
    checkNameLength(name);
    note(name);
    for (Node* n = head; n; n = n->next) {
        if (FILE* f = n->source->openStream(name, mode)) {
            return f;
        }
    }
    fileNotFound(*this, name);
}

void SearchPath::touch() {
    for (Node* n = head; n; n = n->next) {
        n->source->touch();
    }
}
