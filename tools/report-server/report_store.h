#pragma once

#include "platform/error.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorva::report {

struct TextField {
    std::string name;
    std::string value;
};

// One accepted upload: its text fields and its file part.
struct Upload {
    std::vector<TextField> fields; // stored in this order
    std::string fileField;         // the file part's field name
    std::string fileName;          // its filename parameter, as the client sent it
    std::string contentType;
    std::string content;
};

// A report number as folder names and answers write it: decimal, from 1, no leading zero.
std::optional<std::uint64_t> parseReportId(std::string_view text);

// The data folder or its database cannot be created, read or written.
using StoreError = quorva::Error;

// Reports kept on disk, numbered from 1 on:
//   <root>/reports.sqlite         the numbers given, the report each names and what makes an
//                                 upload its repeat (SQLite)
//   <root>/reports/N/spool        the uploaded file's bytes
//   <root>/reports/N/fields.txt   one "name=value" line per text field
//   <root>/reports/N/file.txt     "field=", "filename=", "content-type=", "size=" of the file
// In the two text files the bytes '%', below 0x20 and 0x7F are written as %XX, so that every
// value stays on its line.
//
// A number exists once its row is committed, and the row is written only after the report's
// files and their folder have reached the disk: after a power cut, a number that was answered
// names its own files, and one that was not is given again with new files. Safe to use from
// several threads.
class ReportStore {
public:
    // Opens the folder, creating it when missing, and checks that it can be written. Reports of
    // a folder from before the database are taken into it.
    explicit ReportStore(std::filesystem::path root);
    ~ReportStore();
    ReportStore(const ReportStore&) = delete;
    ReportStore& operator=(const ReportStore&) = delete;

    // Stores the upload under the next number and returns that number. A repeat of a stored
    // upload (the same Site and JobID fields and the same file bytes) stores nothing and returns
    // the number the first one got.
    std::uint64_t add(const Upload& upload);

    // The stored file's bytes, or none when no report has this number.
    std::optional<std::string> content(std::uint64_t id) const;

    std::filesystem::path reportFolder(std::uint64_t id) const;

private:
    class Database;
    struct RepeatKey;

    std::filesystem::path root_;
    std::filesystem::path reports_;
    std::unique_ptr<Database> database_;
    mutable std::mutex mutex_;
};

} // namespace quorva::report
