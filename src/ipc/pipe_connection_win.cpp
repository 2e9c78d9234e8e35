#include "ipc/pipe_connection_win.h"

#include "platform/error.h"
#include "platform/system_error.h"

namespace quorva {

namespace {

UniqueHandle manualResetEvent() {
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event)
        throw Error(systemErrorText(GetLastError()));
    return event;
}

} // namespace

PipeConnection::PipeConnection(UniqueHandle pipe)
    : pipe_(std::move(pipe)), readDone_(manualResetEvent()), writeDone_(manualResetEvent()) {
    readOverlapped_.hEvent = readDone_.get();
    writeOverlapped_.hEvent = writeDone_.get();
}

PipeConnection::~PipeConnection() {
    if (!pipe_)
        return;
    // The system writes into the buffers and OVERLAPPED records until each operation ends.
    CancelIoEx(pipe_.get(), nullptr);
    DWORD ignored = 0;
    if (reading_)
        GetOverlappedResult(pipe_.get(), &readOverlapped_, &ignored, TRUE);
    if (writing_)
        GetOverlappedResult(pipe_.get(), &writeOverlapped_, &ignored, TRUE);
}

bool PipeConnection::startRead() {
    return startNextRead();
}

bool PipeConnection::startNextRead() {
    // A read that completes at once also signals its event: it is finished in finishRead.
    if (!ReadFile(pipe_.get(), readBuffer_, sizeof readBuffer_, nullptr, &readOverlapped_) &&
        GetLastError() != ERROR_IO_PENDING)
        return false;
    reading_ = true;
    return true;
}

bool PipeConnection::finishRead(std::vector<std::string>& payloads) {
    DWORD transferred = 0;
    const BOOL done = GetOverlappedResult(pipe_.get(), &readOverlapped_, &transferred, FALSE);
    if (!done && GetLastError() == ERROR_IO_INCOMPLETE)
        return true;
    reading_ = false;
    if (!done || transferred == 0)
        return false;
    frames_.append(readBuffer_, transferred);
    while (auto payload = frames_.next())
        payloads.push_back(std::move(*payload));
    return startNextRead();
}

bool PipeConnection::queue(std::string frame) {
    if (queuedBytes_ + frame.size() > kMaxQueuedBytes)
        return false;
    queuedBytes_ += frame.size();
    outgoing_.push_back(std::move(frame));
    return true;
}

bool PipeConnection::pumpWrites() {
    if (writing_) {
        DWORD written = 0;
        if (!GetOverlappedResult(pipe_.get(), &writeOverlapped_, &written, FALSE)) {
            if (GetLastError() == ERROR_IO_INCOMPLETE)
                return true;
            writing_ = false;
            return false;
        }
        writing_ = false;
        // A byte-mode pipe may take part of a frame: the rest goes with the next write.
        std::string& front = outgoing_.front();
        queuedBytes_ -= written;
        if (written < front.size()) {
            front.erase(0, written);
        } else {
            outgoing_.pop_front();
        }
    }
    if (outgoing_.empty()) {
        ResetEvent(writeDone_.get());
        return true;
    }
    const std::string& next = outgoing_.front();
    if (!WriteFile(pipe_.get(), next.data(), static_cast<DWORD>(next.size()), nullptr,
                   &writeOverlapped_) &&
        GetLastError() != ERROR_IO_PENDING)
        return false;
    writing_ = true;
    return true;
}

} // namespace quorva
