#include "platform/error.h"
#include "platform/files.h"
#include "platform/posix_time.h"
#include "platform/system_error.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorva {

std::string nativePath(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

int openForReading(const std::string& path) {
    const int fd = ::open(nativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw Error(openErrorText(path, systemErrorText(static_cast<unsigned long>(errno))));
    return fd;
}

class PosixInputFile final : public InputFile {
public:
    explicit PosixInputFile(const std::string& path) : fd_(openForReading(path)) {}
    size_t read(char* buffer, size_t count) override {
        size_t done = 0;
        while (done < count) {
            const ssize_t n = ::read(fd_.get(), buffer + done, count - done);
            if (n <= 0)
                break;
            done += static_cast<size_t>(n);
        }
        return done;
    }
    void rewind() override { ::lseek(fd_.get(), 0, SEEK_SET); }
    std::int64_t size() const override {
        struct stat st {};
        return ::fstat(fd_.get(), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
    }

private:
    Descriptor fd_;
};

// The last-write time of a file so described, in UTC.
DateTime lastWrite(const struct stat& st) {
    return utcDateTime(st.st_mtim.tv_sec, static_cast<int>(st.st_mtim.tv_nsec / 1000000));
}

} // namespace

std::int64_t SystemFiles::sizeBySearch(const std::string& path) const {
    struct stat st {};
    if (::stat(nativePath(path).c_str(), &st) != 0)
        return -1;
    return static_cast<std::int64_t>(st.st_size);
}

std::string SystemFiles::readShared(const std::string& path) const {
    PosixInputFile file(path);
    std::string content(static_cast<size_t>(file.size()), '\0');
    content.resize(file.read(content.data(), content.size()));
    return content;
}

std::unique_ptr<InputFile> SystemFiles::openDenyWriters(const std::string& path) const {
    return std::make_unique<PosixInputFile>(path);
}

DateTime SystemFiles::lastWriteUtc(const std::string& path) const {
    struct stat st {};
    if (::stat(nativePath(path).c_str(), &st) != 0)
        throw Error("Argument incorrect pour l'encodage de date");
    return lastWrite(st);
}

void SystemFiles::writeFile(const std::string& path, std::string_view bytes) const {
    std::FILE* f = std::fopen(nativePath(path).c_str(), "wb");
    if (f == nullptr)
        throw Error("Erreur d'E/S " + std::to_string(errno));
    const size_t written = std::fwrite(bytes.data(), 1, bytes.size(), f);
    const bool closed = std::fclose(f) == 0;
    if (written != bytes.size() || !closed)
        throw Error("Erreur d'E/S " + std::to_string(errno));
}

void SystemFiles::appendFile(const std::string& path, std::string_view bytes) const {
    const Descriptor fd(
        ::open(nativePath(path).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (fd.get() < 0 ||
        ::write(fd.get(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw Error("Erreur d'E/S " + std::to_string(errno));
}

void SystemFiles::replaceFile(const std::string& from, const std::string& to) const {
    {
        const Descriptor fd(::open(nativePath(from).c_str(), O_RDONLY | O_CLOEXEC));
        if (fd.get() < 0 || ::fsync(fd.get()) != 0)
            throw Error("Erreur d'E/S " + std::to_string(errno));
    }
    if (::rename(nativePath(from).c_str(), nativePath(to).c_str()) != 0)
        throw Error("Erreur d'E/S " + std::to_string(errno));
    // The new name is durable only once its folder is.
    std::string folder = nativePath(to);
    folder.erase(std::min(folder.size(), folder.find_last_of('/')));
    const Descriptor dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
}

void SystemFiles::removeFile(const std::string& path) const {
    if (::unlink(nativePath(path).c_str()) != 0 && errno != ENOENT)
        throw Error("Erreur d'E/S " + std::to_string(errno));
}

void SystemFiles::createFolders(const std::string& path) const {
    const std::string native = nativePath(path);
    for (size_t at = native.find('/', 1);; at = native.find('/', at + 1)) {
        const std::string part = native.substr(0, at);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            throw Error("Erreur d'E/S " + std::to_string(errno));
        if (at == std::string::npos)
            return;
    }
}

std::vector<DirectoryEntry> SystemFiles::list(const std::string& folder) const {
    std::vector<DirectoryEntry> entries;
    const std::string base = nativePath(folder);
    DIR* dir = ::opendir(base.c_str());
    if (dir == nullptr)
        return entries;
    while (const dirent* e = ::readdir(dir)) {
        struct stat st {};
        const std::string full = base + "/" + e->d_name;
        if (::stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            entries.push_back({e->d_name, lastWrite(st), static_cast<std::int64_t>(st.st_size)});
    }
    ::closedir(dir);
    return entries;
}

bool SystemFiles::heldForWriting(const std::string&) const {
    // POSIX opens share everything: no writer can be seen this way.
    return false;
}

} // namespace quorva
