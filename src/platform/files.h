#pragma once

#include "platform/date_time.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorva {

// An open file read from its start, in pieces.
class InputFile {
public:
    virtual ~InputFile() = default;
    // Copies up to `count` bytes; fewer (0 at the end) when the file has no more.
    virtual size_t read(char* buffer, size_t count) = 0;
    virtual void rewind() = 0;
    virtual std::int64_t size() const = 0;
};

struct DirectoryEntry {
    std::string name;   // without folder
    DateTime lastWrite; // UTC
    std::int64_t size = 0;

    // The same file, unwritten: a file system with coarse times (FAT, some shares) needs the size
    // beside the time.
    bool sameVersion(const DirectoryEntry& other) const {
        return lastWrite == other.lastWrite && size == other.size;
    }
};

// The file system, with paths as 8-bit ANSI texts. Backslashes separate folders; the native
// build accepts them too.
class Files {
public:
    virtual ~Files() = default;
    // Size of the first entry a directory search for `path` finds, -1 when it finds none.
    virtual std::int64_t sizeBySearch(const std::string& path) const = 0;
    // The whole file, opened for reading while others may read and write it. Throws Error
    // "Impossible d'ouvrir le fichier \"%s\". %s" when it cannot be opened.
    virtual std::string readShared(const std::string& path) const = 0;
    // The file opened for reading while others may read but not write it; the same error.
    virtual std::unique_ptr<InputFile> openDenyWriters(const std::string& path) const = 0;
    // Last-write time in UTC, which no change of time zone or daylight saving moves. Throws Error
    // "Argument incorrect pour l'encodage de date" when the file's date cannot be read.
    virtual DateTime lastWriteUtc(const std::string& path) const = 0;
    // Creates the file anew: a file already under that name is removed first, never written
    // through. Throws Error on failure.
    virtual void writeFile(const std::string& path, std::string_view bytes) const = 0;
    // The files (not folders) in a folder; empty when it cannot be listed.
    virtual std::vector<DirectoryEntry> list(const std::string& folder) const = 0;
    // True when another program holds the file open for writing (an open that refuses writers
    // fails for sharing); false when it is free or cannot be found.
    virtual bool heldForWriting(const std::string& path) const = 0;

    // For the program's own files (job store, outbox, logs); each throws Error on failure, and
    // on a file that ownFileRefusal refuses (writeFile too, for one found under its name).
    // Adds to the end of the file, creating it when missing.
    virtual void appendFile(const std::string& path, std::string_view bytes) const = 0;
    // Replaces `to` with `from` in one step, on disk before it returns.
    virtual void replaceFile(const std::string& from, const std::string& to) const = 0;
    // A file that is already gone is no failure.
    virtual void removeFile(const std::string& path) const = 0;
    // The folder and the missing ones above it.
    virtual void createFolders(const std::string& path) const = 0;
};

// The real file system of the build's platform.
class SystemFiles final : public Files {
public:
    SystemFiles();
    ~SystemFiles() override;
    SystemFiles(const SystemFiles&) = delete;
    SystemFiles& operator=(const SystemFiles&) = delete;

    std::int64_t sizeBySearch(const std::string& path) const override;
    std::string readShared(const std::string& path) const override;
    std::unique_ptr<InputFile> openDenyWriters(const std::string& path) const override;
    DateTime lastWriteUtc(const std::string& path) const override;
    void writeFile(const std::string& path, std::string_view bytes) const override;
    std::vector<DirectoryEntry> list(const std::string& folder) const override;
    bool heldForWriting(const std::string& path) const override;
    void appendFile(const std::string& path, std::string_view bytes) const override;
    void replaceFile(const std::string& from, const std::string& to) const override;
    void removeFile(const std::string& path) const override;
    void createFolders(const std::string& path) const override;

    // The folders of the program's own files, each opened as itself and checked at first use,
    // then held while this lives: what is made, renamed or removed in them is named relative to
    // the held folder, so a folder swapped for a link after the check redirects nothing.
    struct HeldFolders;

private:
    std::unique_ptr<HeldFolders> held_;
};

// "Impossible d'ouvrir le fichier \"<path>\". <reason>"
std::string openErrorText(const std::string& path, const std::string& reason);

// Why one of the program's own files or folders, opened as itself, must not be used: it is not
// plain (a junction or a symbolic link, whose target may be anywhere, or a device), or it bears
// other names too (hard links: it may be anyone's file). Nothing when it may be used.
std::optional<std::string> ownFileRefusal(const std::string& path, bool plain, std::uint64_t names);

// The path as the system's own calls take it, for a library that opens files itself.
std::string nativePath(std::string path);

} // namespace quorva
