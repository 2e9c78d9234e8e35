#pragma once

// An in-memory file system: files by full path (backslashes), each with its bytes and its
// last-write time. Folders exist implicitly.

#include "platform/files.h"

#include <map>
#include <optional>
#include <string>

namespace quorva::testkit {

class MemoryFileSystem final : public Files {
public:
    void put(const std::string& path, std::string content, const DateTime& lastWrite = {});
    void append(const std::string& path, std::string_view bytes);
    void remove(const std::string& path);
    // The size an open file reports from now on, to play a file that shrank or grew after it was
    // measured.
    void setReportedSize(const std::string& path, std::int64_t size);
    // A writer that holds the file open, or lets it go.
    void holdForWriting(const std::string& path, bool held);

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
    void createFolders(const std::string&) const override {}

    // Directory searches made so far.
    mutable int searches = 0;

private:
    struct File {
        std::string content;
        DateTime lastWrite;
        std::optional<std::int64_t> reportedSize;
        bool held = false;
    };
    const File& open(const std::string& path) const;

    mutable std::map<std::string, File> files_;
};

} // namespace quorva::testkit
