#pragma once

// Change buffers as a completed directory read leaves them, for the tests of the change
// processing.

#include "capture/change_processor.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace quorva::testkit {

// One FILE_NOTIFY_INFORMATION record as the system writes it.
struct Record {
    std::uint32_t action;
    std::u16string name;
};

inline void putField(std::vector<unsigned char>& bytes, std::size_t at, std::uint32_t value) {
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

// A change buffer of kChangeBufferSize bytes holding the records, and the byte count a
// completion reports for it. Windows aligns each record on 4 bytes; Wine packs them.
struct ChangeBuffer {
    std::vector<unsigned char> bytes = std::vector<unsigned char>(kChangeBufferSize, 0);
    unsigned long transferred = 0;
};

inline ChangeBuffer changeBuffer(const std::vector<Record>& records, bool aligned) {
    ChangeBuffer buffer;
    std::size_t pos = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Record& r = records[i];
        const std::size_t nameBytes = r.name.size() * 2;
        std::size_t length = 12 + nameBytes;
        if (aligned)
            length = (length + 3) / 4 * 4;
        const bool last = i + 1 == records.size();
        putField(buffer.bytes, pos, last ? 0 : static_cast<std::uint32_t>(length));
        putField(buffer.bytes, pos + 4, r.action);
        putField(buffer.bytes, pos + 8, static_cast<std::uint32_t>(nameBytes));
        std::memcpy(buffer.bytes.data() + pos + 12, r.name.data(), nameBytes);
        buffer.transferred = static_cast<unsigned long>(pos + 12 + nameBytes);
        pos += length;
    }
    return buffer;
}

} // namespace quorva::testkit
