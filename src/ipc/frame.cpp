#include "ipc/frame.h"

#include <cstdint>

namespace quorva {

namespace {

constexpr std::size_t kLengthBytes = 4;

void checkLength(std::size_t length) {
    if (length == 0)
        throw ProtocolError("message illisible : longueur nulle");
    if (length > kMaxMessageBytes)
        throw ProtocolError("message illisible : " + std::to_string(length) +
                            " octets annoncés, au plus " + std::to_string(kMaxMessageBytes));
}

} // namespace

std::string encodeFrame(std::string_view payload) {
    checkLength(payload.size());
    std::string frame(kLengthBytes, '\0');
    for (std::size_t i = 0; i < kLengthBytes; ++i)
        frame[i] = static_cast<char>((payload.size() >> (8 * i)) & 0xFF);
    frame += payload;
    return frame;
}

void FrameReader::append(const char* bytes, std::size_t size) {
    // Drop what was returned before the buffer grows again.
    buffer_.erase(0, start_);
    start_ = 0;
    buffer_.append(bytes, size);
}

std::optional<std::string> FrameReader::next() {
    const std::size_t available = buffer_.size() - start_;
    if (available < kLengthBytes)
        return std::nullopt;
    std::size_t length = 0;
    for (std::size_t i = 0; i < kLengthBytes; ++i)
        length |= static_cast<std::size_t>(static_cast<std::uint8_t>(buffer_[start_ + i]))
                  << (8 * i);
    checkLength(length);
    if (available - kLengthBytes < length)
        return std::nullopt;
    std::string payload = buffer_.substr(start_ + kLengthBytes, length);
    start_ += kLengthBytes + length;
    return payload;
}

} // namespace quorva
