#pragma once

// Framing of the messages between the capture service and the desk over their pipe: each message
// is a 4-byte little-endian length, then that many bytes of payload.

#include "platform/error.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quorva {

// The largest payload either side accepts: a peer that announces more is not one of ours.
inline constexpr std::size_t kMaxMessageBytes = 64 * 1024;

// A peer that breaks the protocol; the connection cannot go on. The text is logged.
struct ProtocolError : Error {
    using Error::Error;
};

// Throws ProtocolError when the payload is empty or longer than kMaxMessageBytes.
std::string encodeFrame(std::string_view payload);

// Cuts the bytes read from the pipe, in whatever pieces they come, into payloads.
class FrameReader {
public:
    void append(const char* bytes, std::size_t size);
    // The next complete payload, in order, or nothing until more bytes come. Throws ProtocolError
    // as soon as a length of 0 or over kMaxMessageBytes is read, before its payload arrives; the
    // reader is then unusable.
    std::optional<std::string> next();

private:
    std::string buffer_;
    std::size_t start_ = 0; // the first byte not yet returned
};

} // namespace quorva
