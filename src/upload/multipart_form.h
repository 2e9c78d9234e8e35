#pragma once

// The body of a multipart/form-data upload, produced piece by piece while it is sent.
//
// Parts are added first; the size is known before reading because each file's size is taken
// when it is added. Reading then formats one part header (or one whole text part) at a time and
// copies file contents straight from the open file into the reader's buffer, so a file is never
// held in memory whole.

#include "platform/clock.h"
#include "platform/files.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorva {

// One part of the form: a text field, or a file field with its open file.
class FormField {
public:
    // A text part.
    FormField(std::string fieldName, std::string fieldValue);
    // A file part; the part owns the file and closes it when destroyed.
    FormField(std::string fieldName, std::string fileName, std::string contentType,
              std::unique_ptr<InputFile> file);

    const std::string& fieldName() const { return fieldName_; }
    const std::string& fieldValue() const { return fieldValue_; }
    const std::string& fileName() const { return fileName_; }
    const std::string& contentType() const { return contentType_; }
    InputFile* file() const { return fieldObject_.get(); }
    bool isFile() const { return fieldObject_ != nullptr && !fileName_.empty(); }

    // What opens the part in the body: the whole part for a text part, the header (up to the
    // file's first byte) for a file part.
    std::string formatHeader(const std::string& boundary) const;
    // Bytes the part takes in the body, the file's size as it was when the part was made.
    std::int64_t encodedLength(const std::string& boundary) const;

private:
    std::string fieldName_;
    std::string fieldValue_;
    std::string fileName_;
    std::string contentType_;
    std::unique_ptr<InputFile> fieldObject_;
    std::int64_t fileSize_ = 0;
};

// The parts of a form, in the order they go into the body.
class FormFields {
public:
    FormField& add(FormField field);
    std::size_t count() const { return items_.size(); }
    FormField& operator[](std::size_t index) { return items_[index]; }

private:
    std::vector<FormField> items_;
};

// A read-only stream whose content is the multipart body of the parts added to it.
class MultipartForm {
public:
    enum class SeekOrigin { Beginning, Current, End };

    // The boundary is made from the clock's local time at this moment.
    MultipartForm(const Clock& clock, const Files& files);

    void addText(const std::string& name, const std::string& value);
    // Opens `fileName` (or, when given, `readFrom`: a copy whose bytes are sent under that name)
    // while denying other writers and keeps it open until the stream is destroyed. Throws Error
    // with the open error text when it cannot be opened; the form is then unchanged.
    void addFile(const std::string& fieldName, const std::string& fileName,
                 const std::string& contentType, const std::string& readFrom = {});

    // "multipart/form-data; boundary=" followed by the boundary.
    const std::string& bodyContentType() const { return bodyContentType_; }
    // Eight hyphens and 15 digits of the creation time.
    const std::string& boundary() const { return boundary_; }

    std::int64_t size() const;
    // Bytes handed out since the last rewind.
    std::int64_t position() const { return position_; }
    // Only a seek to the very start moves: it rewinds. Other seeks report where the stream is
    // (the size for one relative to the end).
    std::int64_t seek(std::int64_t offset, SeekOrigin origin);
    void rewind() { seek(0, SeekOrigin::Beginning); }
    // Copies up to `count` next body bytes; 0 once the body is complete.
    std::size_t read(char* buffer, std::size_t count);

    // The stream is read-only: both throw Error "Unsupported operation.".
    [[noreturn]] void write(const char* buffer, std::size_t count);
    [[noreturn]] void setSize(std::int64_t size);

private:
    std::size_t takePending(char* buffer, std::size_t count);
    void queueNext();

    const Files& files_;
    std::string boundary_;
    std::string bodyContentType_;
    FormFields parts_;
    InputFile* currentFile_ = nullptr;
    std::size_t currentIndex_ = 0;
    bool initialized_ = false;
    std::string pending_;
    std::size_t pendingStart_ = 0;
    std::int64_t position_ = 0;
    std::int64_t partsSize_ = 0;
};

} // namespace quorva
