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

#include <map>
#include <mutex>
#include <utility>

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
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
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

namespace {

[[noreturn]] void throwIoError() {
    throw Error("Erreur d'E/S " + std::to_string(errno));
}

void refuseUnlessOwn(const std::string& path, int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throwIoError();
    if (const auto refusal = ownFileRefusal(path, S_ISREG(st.st_mode) || S_ISDIR(st.st_mode),
                                            S_ISDIR(st.st_mode) ? 1 : st.st_nlink))
        throw Error(*refusal);
}

} // namespace

struct SystemFiles::HeldFolders {
    int of(const std::string& folder) {
        const std::lock_guard lock(mutex_);
        const auto known = held_.find(folder);
        if (known != held_.end())
            return known->second.get();
        Descriptor opened(
            ::open(nativePath(folder).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (opened.get() < 0 && errno == ELOOP)
            throw Error(*ownFileRefusal(folder, false, 1));
        if (opened.get() < 0)
            throwIoError();
        refuseUnlessOwn(folder, opened.get());
        return held_.emplace(folder, std::move(opened)).first->second.get();
    }

private:
    std::mutex mutex_;
    std::map<std::string, Descriptor> held_;
};

SystemFiles::SystemFiles() : held_(std::make_unique<HeldFolders>()) {
}

SystemFiles::~SystemFiles() = default;

namespace {

struct InCheckedFolder {
    int folder;
    std::string name;
};

InCheckedFolder inCheckedFolder(SystemFiles::HeldFolders& folders, const std::string& path) {
    const std::string native = nativePath(path);
    const size_t separator = native.find_last_of('/');
    if (separator == std::string::npos)
        throw Error(openErrorText(path, "chemin sans dossier"));
    return {folders.of(native.substr(0, separator)), native.substr(separator + 1)};
}

// The file itself, opened in its checked folder, never blocking on a device; -1 with errno when
// the open fails. A link, a special file or a file with other names is refused.
Descriptor openChecked(SystemFiles::HeldFolders& folders, const std::string& path, int flags) {
    const InCheckedFolder at = inCheckedFolder(folders, path);
    Descriptor fd(
        ::openat(at.folder, at.name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
    if (fd.get() < 0 && errno == ELOOP)
        throw Error(*ownFileRefusal(path, false, 1));
    if (fd.get() >= 0)
        refuseUnlessOwn(path, fd.get());
    return fd;
}

void removeChecked(SystemFiles::HeldFolders& folders, const std::string& path) {
    if (openChecked(folders, path, O_RDONLY).get() < 0) {
        if (errno == ENOENT)
            return;
        throwIoError();
    }
    const InCheckedFolder at = inCheckedFolder(folders, path);
    if (::unlinkat(at.folder, at.name.c_str(), 0) != 0 && errno != ENOENT)
        throwIoError();
}

void writeAll(int fd, std::string_view bytes) {
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throwIoError();
}

} // namespace

void SystemFiles::writeFile(const std::string& path, std::string_view bytes) const {
    // Always a new file: one found under the name is removed first, never written through.
    constexpr int kCreateNew = O_WRONLY | O_CREAT | O_EXCL;
    Descriptor fd = openChecked(*held_, path, kCreateNew);
    if (fd.get() < 0 && errno == EEXIST) {
        removeChecked(*held_, path);
        fd = openChecked(*held_, path, kCreateNew);
    }
    writeAll(fd.get(), bytes);
}

void SystemFiles::appendFile(const std::string& path, std::string_view bytes) const {
    writeAll(openChecked(*held_, path, O_WRONLY | O_CREAT | O_APPEND).get(), bytes);
}

void SystemFiles::replaceFile(const std::string& from, const std::string& to) const {
    const Descriptor fd = openChecked(*held_, from, O_RDONLY);
    if (fd.get() < 0 || ::fsync(fd.get()) != 0)
        throwIoError();
    const InCheckedFolder source = inCheckedFolder(*held_, from);
    const InCheckedFolder target = inCheckedFolder(*held_, to);
    if (::renameat(source.folder, source.name.c_str(), target.folder, target.name.c_str()) != 0)
        throwIoError();
    // The new name is durable only once its folder is.
    ::fsync(target.folder);
}

void SystemFiles::removeFile(const std::string& path) const {
    removeChecked(*held_, path);
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
