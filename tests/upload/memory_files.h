#pragma once

// An in-memory file system for the upload tests: files are texts by path; a file may report a
// size other than its content's to play a file that shrank after it was measured.

#include "platform/error.h"
#include "platform/files.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>

namespace quorva::testing {

class MemoryInputFile final : public InputFile {
public:
    MemoryInputFile(std::string content, std::int64_t reportedSize)
        : content_(std::move(content)), reportedSize_(reportedSize) {}
    size_t read(char* buffer, size_t count) override {
        const size_t n = std::min(count, content_.size() - offset_);
        std::memcpy(buffer, content_.data() + offset_, n);
        offset_ += n;
        return n;
    }
    void rewind() override { offset_ = 0; }
    std::int64_t size() const override { return reportedSize_; }

private:
    std::string content_;
    std::int64_t reportedSize_;
    size_t offset_ = 0;
};

class MemoryFiles final : public Files {
public:
    void add(const std::string& path, std::string content) {
        const auto size = static_cast<std::int64_t>(content.size());
        add(path, std::move(content), size);
    }
    void add(const std::string& path, std::string content, std::int64_t reportedSize) {
        files_[path] = {std::move(content), reportedSize};
    }

    std::unique_ptr<InputFile> openDenyWriters(const std::string& path) const override {
        auto it = files_.find(path);
        if (it == files_.end())
            throw Error(openErrorText(path, "Le fichier spécifié est introuvable"));
        return std::make_unique<MemoryInputFile>(it->second.content, it->second.reportedSize);
    }

    // The upload never needs the rest.
    std::int64_t sizeBySearch(const std::string&) const override { throw unused(); }
    std::string readShared(const std::string&) const override { throw unused(); }
    DateTime lastWriteLocal(const std::string&) const override { throw unused(); }
    void writeFile(const std::string&, std::string_view) const override { throw unused(); }
    std::vector<DirectoryEntry> list(const std::string&) const override { throw unused(); }

private:
    static std::logic_error unused() { return std::logic_error("not part of the upload"); }

    struct Entry {
        std::string content;
        std::int64_t reportedSize;
    };
    std::map<std::string, Entry> files_;
};

} // namespace quorva::testing
