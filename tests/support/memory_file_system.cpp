#include "support/memory_file_system.h"

#include "platform/error.h"

#include <algorithm>
#include <cstring>

namespace quorva::testkit {

namespace {

class MemoryInput final : public InputFile {
public:
    MemoryInput(std::string content, std::int64_t reportedSize)
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

} // namespace

void MemoryFileSystem::put(const std::string& path, std::string content,
                           const DateTime& lastWrite) {
    files_[path] = {std::move(content), lastWrite, std::nullopt, false};
}

void MemoryFileSystem::append(const std::string& path, std::string_view bytes) {
    files_[path].content.append(bytes);
}

void MemoryFileSystem::remove(const std::string& path) {
    files_.erase(path);
}

void MemoryFileSystem::setReportedSize(const std::string& path, std::int64_t size) {
    files_[path].reportedSize = size;
}

void MemoryFileSystem::holdForWriting(const std::string& path, bool held) {
    files_[path].held = held;
}

bool MemoryFileSystem::heldForWriting(const std::string& path) const {
    const auto it = files_.find(path);
    return it != files_.end() && it->second.held;
}

const MemoryFileSystem::File& MemoryFileSystem::open(const std::string& path) const {
    const auto it = files_.find(path);
    if (it == files_.end())
        throw Error(openErrorText(path, "Le fichier spécifié est introuvable"));
    return it->second;
}

std::int64_t MemoryFileSystem::sizeBySearch(const std::string& path) const {
    ++searches;
    const auto it = files_.find(path);
    return it == files_.end() ? -1 : static_cast<std::int64_t>(it->second.content.size());
}

std::string MemoryFileSystem::readShared(const std::string& path) const {
    return open(path).content;
}

std::unique_ptr<InputFile> MemoryFileSystem::openDenyWriters(const std::string& path) const {
    const File& file = open(path);
    return std::make_unique<MemoryInput>(
        file.content, file.reportedSize.value_or(static_cast<std::int64_t>(file.content.size())));
}

DateTime MemoryFileSystem::lastWriteUtc(const std::string& path) const {
    const auto it = files_.find(path);
    if (it == files_.end())
        throw Error("Argument incorrect pour l'encodage de date");
    return it->second.lastWrite;
}

void MemoryFileSystem::writeFile(const std::string& path, std::string_view bytes) const {
    files_[path] = {std::string(bytes), {}, std::nullopt, false};
}

std::vector<DirectoryEntry> MemoryFileSystem::list(const std::string& folder) const {
    std::vector<DirectoryEntry> entries;
    const std::string prefix = folder + "\\";
    for (const auto& [path, file] : files_) {
        if (path.starts_with(prefix) && path.find('\\', prefix.size()) == std::string::npos)
            entries.push_back({path.substr(prefix.size()), file.lastWrite,
                               static_cast<std::int64_t>(file.content.size())});
    }
    return entries;
}

void MemoryFileSystem::appendFile(const std::string& path, std::string_view bytes) const {
    files_[path].content.append(bytes);
}

void MemoryFileSystem::replaceFile(const std::string& from, const std::string& to) const {
    files_[to] = open(from);
    files_.erase(from);
}

void MemoryFileSystem::removeFile(const std::string& path) const {
    files_.erase(path);
}

} // namespace quorva::testkit
