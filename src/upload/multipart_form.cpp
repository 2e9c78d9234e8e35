#include "upload/multipart_form.h"

#include "platform/error.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace quorva {

namespace {

const char* const crlf = "\r\n";

// A file part added without a content type is sent as plain bytes.
const char* const defaultFileContentType = "application/octet-stream";

std::string makeBoundary(const DateTime& now) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%02d%02d%02d%02d%02d%02d%03d", now.month % 100,
                  now.day % 100, now.year % 100, now.hour % 100, now.minute % 100, now.second % 100,
                  now.millisecond % 1000);
    return std::string(8, '-') + digits;
}

std::string closingDelimiter(const std::string& boundary) {
    return "--" + boundary + "--" + crlf;
}

} // namespace

FormField::FormField(std::string fieldName, std::string fieldValue)
    : fieldName_(std::move(fieldName)), fieldValue_(std::move(fieldValue)) {
}

FormField::FormField(std::string fieldName, std::string fileName, std::string contentType,
                     std::unique_ptr<InputFile> file)
    : fieldName_(std::move(fieldName)), fileName_(std::move(fileName)),
      contentType_(std::move(contentType)), fieldObject_(std::move(file)),
      fileSize_(fieldObject_ ? fieldObject_->size() : 0) {
}

std::string FormField::formatHeader(const std::string& boundary) const {
    std::string text =
        "--" + boundary + crlf + "Content-Disposition: form-data; name=\"" + fieldName_ + "\"";
    if (isFile())
        return text + "; filename=\"" + fileName_ + "\"" + crlf + "Content-Type: " + contentType_ +
               crlf + "Content-Transfer-Encoding: binary" + crlf + crlf;
    return text + crlf + crlf + fieldValue_ + crlf;
}

std::int64_t FormField::encodedLength(const std::string& boundary) const {
    const auto header = static_cast<std::int64_t>(formatHeader(boundary).size());
    return isFile() ? header + fileSize_ + 2 : header;
}

FormField& FormFields::add(FormField field) {
    return items_.emplace_back(std::move(field));
}

MultipartForm::MultipartForm(const Clock& clock, const Files& files)
    : files_(files), boundary_(makeBoundary(clock.now())),
      bodyContentType_("multipart/form-data; boundary=" + boundary_) {
}

void MultipartForm::addText(const std::string& name, const std::string& value) {
    partsSize_ += parts_.add(FormField(name, value)).encodedLength(boundary_);
}

void MultipartForm::addFile(const std::string& fieldName, const std::string& fileName,
                            const std::string& contentType, const std::string& readFrom) {
    auto file = files_.openDenyWriters(readFrom.empty() ? fileName : readFrom);
    FormField field(fieldName, fileName, contentType.empty() ? defaultFileContentType : contentType,
                    std::move(file));
    partsSize_ += parts_.add(std::move(field)).encodedLength(boundary_);
}

std::int64_t MultipartForm::size() const {
    return partsSize_ + static_cast<std::int64_t>(closingDelimiter(boundary_).size());
}

std::int64_t MultipartForm::seek(std::int64_t offset, SeekOrigin origin) {
    if (origin == SeekOrigin::End)
        return size();
    if (origin == SeekOrigin::Beginning && offset == 0) {
        // A rewind in the middle of a file part starts that file over too.
        if (currentFile_ != nullptr)
            currentFile_->rewind();
        currentFile_ = nullptr;
        initialized_ = false;
        position_ = 0;
    }
    return position_;
}

std::size_t MultipartForm::takePending(char* buffer, std::size_t count) {
    const std::size_t n = std::min(count, pending_.size() - pendingStart_);
    std::memcpy(buffer, pending_.data() + pendingStart_, n);
    pendingStart_ += n;
    position_ += static_cast<std::int64_t>(n);
    return n;
}

// Formats what follows once the pending bytes are used up and no file is being copied: the next
// part's opening bytes, or the closing delimiter after the last part.
void MultipartForm::queueNext() {
    pendingStart_ = 0;
    if (currentIndex_ == parts_.count()) {
        pending_ = closingDelimiter(boundary_);
        ++currentIndex_;
        return;
    }
    FormField& part = parts_[currentIndex_];
    pending_ = part.formatHeader(boundary_);
    if (part.isFile()) {
        currentFile_ = part.file();
        currentFile_->rewind();
    } else {
        ++currentIndex_;
    }
}

std::size_t MultipartForm::read(char* buffer, std::size_t count) {
    if (!initialized_) {
        initialized_ = true;
        currentIndex_ = 0;
        pending_.clear();
        pendingStart_ = 0;
    }
    std::size_t copied = 0;
    while (copied < count) {
        if (pendingStart_ == pending_.size() && currentFile_ == nullptr) {
            if (currentIndex_ > parts_.count())
                break;
            queueNext();
        }
        copied += takePending(buffer + copied, count - copied);
        if (currentFile_ != nullptr && copied < count) {
            const std::size_t wanted = count - copied;
            const std::size_t got = currentFile_->read(buffer + copied, wanted);
            copied += got;
            position_ += static_cast<std::int64_t>(got);
            // The end of a file shows only as a short read.
            if (got < wanted) {
                currentFile_->rewind();
                currentFile_ = nullptr;
                ++currentIndex_;
                pending_ = crlf;
                pendingStart_ = 0;
            }
        }
    }
    return copied;
}

void MultipartForm::write(const char*, std::size_t) {
    throw Error("Unsupported operation.");
}

void MultipartForm::setSize(std::int64_t) {
    throw Error("Unsupported operation.");
}

} // namespace quorva
