// Any bytes as a completed directory read: the first four give the transferred count, the rest
// is the change buffer. Processing never reads outside the buffer.

#include "capture/change_processor.h"
#include "platform/clock.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

class CountingLog final : public quorva::EventLog {
public:
    void insertTop(const std::string&) override { ++lines; }
    void clear() override { lines = 0; }
    std::size_t lines = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint32_t transferred = 0;
    const std::size_t countBytes = size < sizeof transferred ? size : sizeof transferred;
    std::memcpy(&transferred, data, countBytes);
    // An exact-size copy, so that the sanitizer sees any read past its end.
    const std::vector<unsigned char> buffer(data + countBytes, data + size);

    static const quorva::FixedLocale locale;
    static const quorva::SystemClock clock;
    // A folder that does not exist: a rescan lists nothing.
    static const quorva::SystemFiles files;
    quorva::JobList jobs;
    CountingLog log;
    quorva::ChangeProcessor processor(jobs, log, clock, locale, files);
    const bool accepted =
        processor.process(buffer.data(), buffer.size(), transferred, "/nonexistent/quorva-spool");
    // Each accepted record logs one line and leaves one row per name at most.
    if (accepted != (jobs.size() > 0) && transferred != 0)
        std::abort();
    if (static_cast<std::size_t>(jobs.size()) > log.lines)
        std::abort();
    return 0;
}
