// Any bytes from the pipe: cut into frames and decoded, refused only with ProtocolError. What is
// accepted encodes again, and that encoding decodes to itself.

#include "ipc/protocol.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const quorva::FixedLocale locale;
    quorva::FrameReader reader;
    reader.append(reinterpret_cast<const char*>(data), size);
    try {
        while (const auto payload = reader.next()) {
            try {
                const std::string encoded =
                    quorva::encodeMessage(quorva::decodeMessage(*payload, locale), locale);
                if (quorva::encodeMessage(quorva::decodeMessage(encoded, locale), locale) !=
                    encoded)
                    std::abort();
            } catch (const quorva::ProtocolError&) {
                // A bad message; the frames after it are still cut.
            }
        }
    } catch (const quorva::ProtocolError&) {
        // A bad length: the stream ends there.
    }
    return 0;
}
