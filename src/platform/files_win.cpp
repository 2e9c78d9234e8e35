#include "platform/files_win.h"

#include "platform/error.h"
#include "platform/files.h"
#include "platform/system_error.h"
#include "platform/unique_handle_win.h"

#include <windows.h>

#include <winternl.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

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

namespace {

[[noreturn]] void throwIoError(DWORD error = GetLastError()) {
    throw Error("Erreur d'E/S " + std::to_string(error));
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::wstring wideOf(const std::string& ansi) {
    const int size = static_cast<int>(ansi.size());
    std::wstring wide(
        static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, wide.data(), static_cast<int>(wide.size()));
    return wide;
}

bool isReparsePoint(HANDLE handle) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag))
        throwIoError();
    return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

void refuseUnlessOwn(const std::string& path, HANDLE handle, std::uint64_t names) {
    if (const auto refusal = ownFileRefusal(path, !isReparsePoint(handle), names))
        throw Error(*refusal);
}

} // namespace

struct SystemFiles::HeldFolders {
    HANDLE of(const std::string& folder) {
        const std::lock_guard lock(mutex_);
        UniqueHandle& held = held_[folder];
        if (!held) {
            UniqueHandle opened = openAsItself(
                folder, FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                kShareAll);
            refuseUnlessOwn(folder, opened.get(), 1);
            held = std::move(opened);
        }
        return held.get();
    }

private:
    std::mutex mutex_;
    std::map<std::string, UniqueHandle> held_;
};

SystemFiles::SystemFiles() : held_(std::make_unique<HeldFolders>()) {
}

SystemFiles::~SystemFiles() = default;

namespace {

struct InCheckedFolder {
    HANDLE folder;
    std::wstring name;
};

InCheckedFolder inCheckedFolder(SystemFiles::HeldFolders& folders, const std::string& path) {
    const size_t separator = path.find_last_of("\\/");
    if (separator == std::string::npos)
        throw Error(openErrorText(path, "chemin sans dossier"));
    return {folders.of(path.substr(0, separator)), wideOf(path.substr(separator + 1))};
}

// The file itself, opened in its checked folder. Nothing when the open fails, with the reason as
// the last error. A reparse point, or a file that has other names (a hard link can give a name in
// the folder to any file of the volume), is refused.
UniqueHandle openChecked(SystemFiles::HeldFolders& folders, const std::string& path,
                         ACCESS_MASK access, ULONG disposition) {
    const InCheckedFolder at = inCheckedFolder(folders, path);
    const auto bytes = static_cast<USHORT>(at.name.size() * sizeof(wchar_t));
    UNICODE_STRING name{bytes, bytes, const_cast<wchar_t*>(at.name.c_str())};
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, at.folder, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE raw = nullptr;
    const NTSTATUS status = NtCreateFile(&raw, access | SYNCHRONIZE, &attributes, &io, nullptr,
                                         FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ, disposition,
                                         FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT |
                                             FILE_OPEN_REPARSE_POINT,
                                         nullptr, 0);
    if (!NT_SUCCESS(status)) {
        SetLastError(RtlNtStatusToDosError(status));
        return {};
    }
    UniqueHandle file(raw);
    FILE_STANDARD_INFO standard{};
    if (!GetFileInformationByHandleEx(raw, FileStandardInfo, &standard, sizeof standard))
        throwIoError();
    refuseUnlessOwn(path, raw, standard.NumberOfLinks);
    return file;
}

bool isGone(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

void removeChecked(SystemFiles::HeldFolders& folders, const std::string& path) {
    const UniqueHandle file = openChecked(folders, path, DELETE, FILE_OPEN);
    if (!file) {
        if (isGone(GetLastError()))
            return;
        throwIoError();
    }
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (!SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition,
                                    sizeof disposition))
        throwIoError();
}

void writeAll(HANDLE file, std::string_view bytes) {
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
        throwIoError();
}

} // namespace

void SystemFiles::writeFile(const std::string& path, std::string_view bytes) const {
    // Always a new file: one found under the name is removed first, never written through, since
    // it may be another file's name.
    UniqueHandle file = openChecked(*held_, path, GENERIC_WRITE, FILE_CREATE);
    if (!file && (GetLastError() == ERROR_ALREADY_EXISTS || GetLastError() == ERROR_FILE_EXISTS)) {
        removeChecked(*held_, path);
        file = openChecked(*held_, path, GENERIC_WRITE, FILE_CREATE);
    }
    if (!file)
        throwIoError();
    writeAll(file.get(), bytes);
}

void SystemFiles::appendFile(const std::string& path, std::string_view bytes) const {
    const UniqueHandle file = openChecked(*held_, path, FILE_APPEND_DATA, FILE_OPEN_IF);
    if (!file)
        throwIoError();
    writeAll(file.get(), bytes);
}

void SystemFiles::replaceFile(const std::string& from, const std::string& to) const {
    const UniqueHandle file = openChecked(*held_, from, GENERIC_WRITE | DELETE, FILE_OPEN);
    if (!file || !FlushFileBuffers(file.get()))
        throwIoError();
    // The rename's own call: the wrapper's FileRenameInfo is the same structure, but Wine's turns
    // a relative name into a full path against the current folder and drops the root handle.
    const InCheckedFolder target = inCheckedFolder(*held_, to);
    const ULONG nameBytes = static_cast<ULONG>(target.name.size() * sizeof(wchar_t));
    std::vector<char> buffer(sizeof(FILE_RENAME_INFORMATION) + nameBytes);
    auto* rename = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = target.folder;
    rename->FileNameLength = nameBytes;
    std::memcpy(rename->FileName, target.name.data(), nameBytes);
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = NtSetInformationFile(
        file.get(), &io, rename, static_cast<ULONG>(buffer.size()), FileRenameInformation);
    if (!NT_SUCCESS(status))
        throwIoError(RtlNtStatusToDosError(status));
}

void SystemFiles::removeFile(const std::string& path) const {
    removeChecked(*held_, path);
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

UniqueHandle openAsItself(const std::string& path, DWORD access, DWORD share) {
    UniqueHandle handle(CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr));
    if (!handle)
        throw Error("Impossible d'ouvrir " + path + " : " + systemErrorText(GetLastError()));
    return handle;
}

std::string nativePath(std::string path) {
    return path;
}

} // namespace quorva
