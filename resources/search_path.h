// search_path.h - the file system every data file is read through.
//
// A process-wide SearchPath holds an ordered list of sources: plain directories, read with
// stdio, and the one archive "tir.val", whose directory is read into memory once and whose
// entries are stored XOR-scrambled. A caller asks for a file by name and gets either the whole
// file in a LoadedFile (lock / use / unlock / delete) or a stdio stream positioned at the file's
// first byte, which the caller closes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

// load() modes: a file no source has is fatal, or returns null quietly.
constexpr int loadFatal = 0;
constexpr int loadQuiet = 1977;

// The whole contents of one file. Destroying the record leaves `data` allocated for the life
// of the process, so a pointer taken with lock() stays valid after the record is gone.
class LoadedFile {
public:
    LoadedFile(unsigned char* data, int size, int mode) : data(data), size(size), mode(mode) {}
    virtual ~LoadedFile() = default;

    // Returns `data` and counts the lock. A negative size is fatal ("no memory").
    void* lock();
    // Releases one lock. Unlocking a record that is not locked is fatal ("data isn't locked").
    void unlock();

    unsigned char* data;
    int size;
    int lockCount = 0;
    int mode;
};

// Holds a loaded file locked while it is read, and unlocks and deletes the record however the
// reading ends (a fatal error in a test unwinds through here too). Owns `file`.
struct FileLock {
    LoadedFile* file;
    const unsigned char* data;
    explicit FileLock(LoadedFile* f) : file(f), data(static_cast<unsigned char*>(f->lock())) {}
    ~FileLock() {
        file->unlock();
        delete file;
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
};

class FileSource {
public:
    virtual ~FileSource() = default;
    // The whole file in a new record, or null when this source does not have it.
    virtual LoadedFile* load(const char* name, int mode) = 0;
    // The whole file read into `buffer` (a new one when null); null when not here.
    virtual void* loadInto(const char* name, void* buffer) = 0;
    // A binary stdio stream positioned at the file's first byte; the caller fcloses it.
    virtual FILE* openStream(const char* name, int mode) = 0;
    virtual void touch() = 0;
};

// Files under a folder: the path is the prefix followed directly by the name. Backslashes in
// either become this platform's separator. Only plain files are served: a folder or device of
// the name answers null like a missing file. A file over 2 GiB is fatal (sizes are 32-bit).
// The demo's names were written for a file system that ignores case, so a name that misses
// exactly finds a file whose name differs only in case (upper-case names from an unpacked
// archive, say). Each folder is listed once for that and listed again only when it changes.
class DirectorySource : public FileSource {
public:
    explicit DirectorySource(const char* prefix);
    ~DirectorySource() override;
    LoadedFile* load(const char* name, int mode) override;
    void* loadInto(const char* name, void* buffer) override;
    FILE* openStream(const char* name, int mode) override;
    void touch() override {}

    // The path of `name` in this folder, in this platform's form.
    std::string pathOf(const char* name) const;
    // The plain file that serves `name`: pathOf(name) when that is one, else the file in the
    // same folder whose name equals it but for case (the first in byte order when several
    // do); empty when there is none.
    std::string resolve(const char* name);
    // Whether `name` names a folder here (which this source does not serve as a file).
    bool hasFolder(const char* name) const;

    char* prefix;

private:
    struct FolderListing; // the names of one folder by their lower-case form
    std::vector<FolderListing*> listings;
};

// `s` with A-Z turned into a-z and every other byte as it is: the key under which names that
// differ only in case meet (the demo's names were written for a file system that ignores case).
std::string lowerCase(std::string s);

// One archive entry: the 28-byte directory header, read field by field, and the entry's
// upper-cased name.
struct ArchiveEntry {
    int32_t size;       // bytes in memory: buffer size, bytes unscrambled, size reported
    int32_t storedSize; // bytes read from the archive at dataOffset
    int32_t nameLength; // bytes of the name including its terminating zero
    int32_t dataOffset;
    int32_t nameOffset;
    int32_t nextOffset; // next header: 0 = right after the name, -1 = this is the last entry
    uint8_t method;     // '0': stored; anything else: the data is not read
    std::string name;
};

constexpr int archiveMaxEntries = 1000;
constexpr int archiveMaxPath = 199;
constexpr int archiveMaxName = 255;
constexpr int archiveHeaderSize = 28;

// A line the reports of a file that is not an archive of ours end with: how to get the right
// one (the players say how to make the default data). Empty by default.
extern std::string archiveAdvice;

// The data archive. The source owns everything it reads: its path, its directory (sorted by
// name) and the stream on the archive file, which it closes when it is destroyed unless
// openStream has handed it to a caller. The constructor reads and checks the whole directory;
// a damaged directory is fatal with the archive's name, and whatever was read of it is given
// back as the constructor unwinds. An archive that cannot be opened is reported and then
// answers every lookup with null.
class ArchiveSource : public FileSource {
public:
    explicit ArchiveSource(const char* archivePath);
    ~ArchiveSource() override;
    ArchiveSource(const ArchiveSource&) = delete;
    ArchiveSource& operator=(const ArchiveSource&) = delete;

    LoadedFile* load(const char* name, int mode) override;
    void* loadInto(const char* name, void* buffer) override;
    // The stream is the source's own, positioned at the entry's data; from then on it belongs
    // to the caller, and the next lookup opens the archive again.
    FILE* openStream(const char* name, int mode) override;
    void touch() override {}

    // The entry of `name` (any case), or null. A miss that is not quiet is reported.
    const ArchiveEntry* lookup(const char* name, bool quiet);

    // Whether the archive file was opened and its directory read.
    bool opened() const { return directoryRead; }
    // Whether the source holds its stream now: false after openStream handed it out, until
    // the next lookup opens the archive again.
    bool holdsStream() const { return stream != nullptr; }
    const std::string& path() const { return archivePath; }
    int entryCount() const { return static_cast<int>(entries.size()); }
    // Entry `i` in name order, 0 <= i < entryCount().
    const ArchiveEntry& entry(int i) const { return entries[static_cast<size_t>(i)]; }

private:
    void readDirectory();

    struct CloseStream {
        void operator()(FILE* f) const { std::fclose(f); }
    };

    std::string archivePath;
    std::unique_ptr<FILE, CloseStream> stream; // null while a caller has it
    std::vector<ArchiveEntry> entries;
    int64_t archiveSize = 0;
    bool directoryRead = false;
};

// JPEG pictures (names containing ".jpg" in any case) are stored plain in the archive, since the
// JPEG decoder reads them as a stream straight from the archive file; every other entry is
// scrambled. The texture loaders and the archive writer both decide by this.
bool isJpegName(const char* name);

// Each byte of an entry is XORed with a key that starts at 181 for the entry's first byte and
// grows by 109 (mod 256) per byte. The same routine scrambles and unscrambles.
void scrambleArchiveBytes(unsigned char* data, int64_t count);

// The ordered list of sources. add() puts a source in front, so the last one added is tried
// first. A source added by pointer stays the caller's; one handed over as a unique_ptr belongs
// to the path and is destroyed with it (or by clear()). Move-only: swap() exchanges two whole
// lists, which is how a complete new path replaces the one in use.
class SearchPath : public FileSource {
public:
    SearchPath() = default;
    ~SearchPath() override { clear(); }
    SearchPath(const SearchPath&) = delete;
    SearchPath& operator=(const SearchPath&) = delete;

    void add(FileSource* source);
    void add(std::unique_ptr<FileSource> source);
    // Forgets every source, destroying those the path owns.
    void clear();
    void swap(SearchPath& other) noexcept {
        std::swap(head, other.head);
        asked.swap(other.asked);
    }

    LoadedFile* load(const char* name, int mode) override;
    void* loadInto(const char* name, void* buffer) override;
    FILE* openStream(const char* name, int mode) override;
    void touch() override;

    // The first archive source on the path, or null.
    ArchiveSource* archive() const;
    // Every name asked for through this path, found or not, by its file name in lower case
    // (folders match names whatever their case): the files a program that reads its data again
    // when it changes has to look out for.
    const std::set<std::string>& namesAsked() const { return asked; }

    struct Node {
        FileSource* source;
        Node* next;
        std::unique_ptr<FileSource> owned; // source itself when the path owns it
    };
    Node* head = nullptr;

private:
    void note(const char* name);
    std::set<std::string> asked;
};
extern SearchPath searchPath;

// Buffers of loaded files stay allocated until the process ends; they are kept here so that
// leak checkers see them as reachable.
unsigned char* allocateFileBuffer(int64_t size);
// Frees every loaded file's buffer. Only for programs that load the same files over and over
// (the fuzz harnesses): no pointer taken from an earlier load may be used afterwards.
void discardFileBuffers();
