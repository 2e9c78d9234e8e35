#include "platform/error.h"
#include "platform/files.h"
#include "platform/system_error.h"
#include "platform/unique_handle_win.h"

#include <windows.h>

#include <algorithm>

namespace quorva {

namespace {

// A directory search's handle, closed with FindClose.
using SearchHandle = BasicUniqueHandle<FindClose>;

UniqueHandle openForReading(const std::string& path, DWORD share) {
    UniqueHandle h(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h)
        throw Error(openErrorText(path, systemErrorText(GetLastError())));
    return h;
}

class WinInputFile final : public InputFile {
public:
    WinInputFile(const std::string& path, DWORD share) : h_(openForReading(path, share)) {}
    size_t read(char* buffer, size_t count) override {
        size_t done = 0;
        while (done < count) {
            const DWORD want = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 30));
            DWORD got = 0;
            if (!ReadFile(h_.get(), buffer + done, want, &got, nullptr) || got == 0)
                break;
            done += got;
        }
        return done;
    }
    void rewind() override { SetFilePointer(h_.get(), 0, nullptr, FILE_BEGIN); }
    std::int64_t size() const override {
        LARGE_INTEGER size{};
        return GetFileSizeEx(h_.get(), &size) ? size.QuadPart : 0;
    }

private:
    UniqueHandle h_;
};

DateTime toDateTime(const FILETIME& utc) {
    SYSTEMTIME st{};
    if (!FileTimeToSystemTime(&utc, &st))
        throw Error("Argument incorrect pour l'encodage de date");
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

} // namespace

std::int64_t SystemFiles::sizeBySearch(const std::string& path) const {
    WIN32_FIND_DATAA data{};
    if (!SearchHandle(FindFirstFileA(path.c_str(), &data)))
        return -1;
    return static_cast<std::int64_t>((static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) |
                                     data.nFileSizeLow);
}

std::string SystemFiles::readShared(const std::string& path) const {
    WinInputFile file(path, FILE_SHARE_READ | FILE_SHARE_WRITE);
    std::string content(static_cast<size_t>(file.size()), '\0');
    content.resize(file.read(content.data(), content.size()));
    return content;
}

std::unique_ptr<InputFile> SystemFiles::openDenyWriters(const std::string& path) const {
    return std::make_unique<WinInputFile>(path, FILE_SHARE_READ);
}

DateTime SystemFiles::lastWriteUtc(const std::string& path) const {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        throw Error("Argument incorrect pour l'encodage de date");
    return toDateTime(data.ftLastWriteTime);
}

void SystemFiles::writeFile(const std::string& path, std::string_view bytes) const {
    const UniqueHandle h(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h)
        throw Error("Erreur d'E/S " + std::to_string(GetLastError()));
    DWORD written = 0;
    if (!WriteFile(h.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
        throw Error("Erreur d'E/S " + std::to_string(GetLastError()));
}

namespace {

[[noreturn]] void throwIoError() {
    throw Error("Erreur d'E/S " + std::to_string(GetLastError()));
}

} // namespace

void SystemFiles::appendFile(const std::string& path, std::string_view bytes) const {
    const UniqueHandle h(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!h ||
        !WriteFile(h.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
        throwIoError();
}

void SystemFiles::replaceFile(const std::string& from, const std::string& to) const {
    {
        const UniqueHandle h(CreateFileA(from.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!h || !FlushFileBuffers(h.get()))
            throwIoError();
    }
    if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throwIoError();
}

void SystemFiles::removeFile(const std::string& path) const {
    if (!DeleteFileA(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND &&
        GetLastError() != ERROR_PATH_NOT_FOUND)
        throwIoError();
}

void SystemFiles::createFolders(const std::string& path) const {
    // From the first separator after the drive or share, each level in turn.
    for (size_t at = path.find('\\', path.rfind(':') == 1 ? 3 : 2);; at = path.find('\\', at + 1)) {
        const std::string part = path.substr(0, at);
        if (!CreateDirectoryA(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            throwIoError();
        if (at == std::string::npos)
            return;
    }
}

std::vector<DirectoryEntry> SystemFiles::list(const std::string& folder) const {
    std::vector<DirectoryEntry> entries;
    WIN32_FIND_DATAA data{};
    const SearchHandle h(FindFirstFileA((folder + "\\*").c_str(), &data));
    if (!h)
        return entries;
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            entries.push_back(
                {data.cFileName, toDateTime(data.ftLastWriteTime),
                 static_cast<std::int64_t>((static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) |
                                           data.nFileSizeLow)});
    } while (FindNextFileA(h.get(), &data));
    return entries;
}

bool SystemFiles::heldForWriting(const std::string& path) const {
    // The same sharing the upload's open asks for, held only for this look.
    const UniqueHandle h(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return !h && GetLastError() == ERROR_SHARING_VIOLATION;
}

std::string nativePath(std::string path) {
    return path;
}

} // namespace quorva
