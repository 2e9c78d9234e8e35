#include "report-server/report_store.h"

#include "report-server/text_util.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

namespace quorva::report {

namespace fs = std::filesystem;

namespace {

constexpr const char* counterName = "last-id";
constexpr const char* contentName = "spool";

[[noreturn]] void fail(const std::string& what, const fs::path& path, int error) {
    throw StoreError(what + " " + path.string() + ": " + std::strerror(error));
}

// Writes the whole file and flushes it to the disk before returning.
void writeDurably(const fs::path& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        fail("cannot create", path, errno);
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0) {
            const int error = errno;
            ::close(fd);
            fail("cannot write", path, error);
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    if (::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        fail("cannot write", path, error);
    }
    if (::close(fd) != 0)
        fail("cannot write", path, errno);
}

// Readers see either the old content or the new one, never a part of it.
void replaceAtomically(const fs::path& path, std::string_view bytes) {
    fs::path temporary = path;
    temporary += ".tmp";
    writeDurably(temporary, bytes);
    if (::rename(temporary.c_str(), path.c_str()) != 0)
        fail("cannot replace", path, errno);
}

std::string readWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::uint64_t readCounter(const fs::path& path) {
    if (!fs::exists(path))
        return 0;
    std::string text = readWhole(path);
    if (text.ends_with('\n'))
        text.pop_back();
    if (text == "0")
        return 0;
    const auto value = text.empty() ? std::nullopt : parseReportId(text);
    if (!value)
        throw StoreError("the counter file " + path.string() + " does not hold a number");
    return *value;
}

// Highest numbered report folder: it wins over a counter file that was lost or restored.
std::uint64_t highestReport(const fs::path& reports) {
    std::uint64_t highest = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(reports)) {
        const auto id = parseReportId(entry.path().filename().string());
        if (id && entry.is_directory())
            highest = std::max(highest, *id);
    }
    return highest;
}

// Removes the staging folders of stores that were interrupted.
void removeStagingFolders(const fs::path& reports) {
    std::vector<fs::path> leftovers;
    for (const fs::directory_entry& entry : fs::directory_iterator(reports))
        if (entry.path().filename().string().starts_with("."))
            leftovers.push_back(entry.path());
    for (const fs::path& path : leftovers)
        fs::remove_all(path);
}

void appendEscaped(std::string& out, std::string_view value) {
    static constexpr char hex[] = "0123456789ABCDEF";
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '%') {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 0x0F];
        } else {
            out += c;
        }
    }
}

void appendLine(std::string& out, std::string_view name, std::string_view value) {
    appendEscaped(out, name);
    out += '=';
    appendEscaped(out, value);
    out += '\n';
}

std::string fieldsText(const Upload& upload) {
    std::string text;
    for (const TextField& field : upload.fields)
        appendLine(text, field.name, field.value);
    return text;
}

std::string fileText(const Upload& upload) {
    std::string text;
    appendLine(text, "field", upload.fileField);
    appendLine(text, "filename", upload.fileName);
    appendLine(text, "content-type", upload.contentType);
    appendLine(text, "size", std::to_string(upload.content.size()));
    return text;
}

} // namespace

ReportStore::ReportStore(fs::path root) : root_(std::move(root)), reports_(root_ / "reports") {
    try {
        fs::create_directories(reports_);
        removeStagingFolders(reports_);
        lastId_ = std::max(readCounter(root_ / counterName), highestReport(reports_));
        // Proves at start, not at the first upload, that the folder can be written.
        replaceAtomically(root_ / counterName, std::to_string(lastId_) + "\n");
    } catch (const fs::filesystem_error& e) {
        throw StoreError(e.code().message() + ": " + e.path1().string());
    }
}

std::uint64_t ReportStore::nextId() {
    std::lock_guard lock(mutex_);
    const std::uint64_t id = lastId_ + 1;
    // Saved before the report itself, so that a number is never given twice.
    replaceAtomically(root_ / counterName, std::to_string(id) + "\n");
    lastId_ = id;
    return id;
}

std::uint64_t ReportStore::add(const Upload& upload) {
    const std::uint64_t id = nextId();
    const fs::path staging = reports_ / ("." + std::to_string(id) + ".tmp");
    try {
        fs::create_directory(staging);
        writeDurably(staging / contentName, upload.content);
        writeDurably(staging / "fields.txt", fieldsText(upload));
        writeDurably(staging / "file.txt", fileText(upload));
        fs::rename(staging, reportFolder(id));
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(staging, ignored);
        throw;
    }
    return id;
}

std::optional<std::string> ReportStore::content(std::uint64_t id) const {
    const fs::path path = reportFolder(id) / contentName;
    if (!fs::is_regular_file(path))
        return std::nullopt;
    return readWhole(path);
}

std::optional<std::uint64_t> parseReportId(std::string_view text) {
    const auto value = parseDecimal(text);
    if (!value || text.front() == '0')
        return std::nullopt;
    return value;
}

fs::path ReportStore::reportFolder(std::uint64_t id) const {
    return reports_ / std::to_string(id);
}

} // namespace quorva::report
