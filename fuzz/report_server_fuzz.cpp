// Arbitrary requests to the report server's upload handler, most of them shaped as the desk's
// multipart upload: every request gets one well-formed answer, and an accepted upload is stored.

#include "report-server/report_store.h"
#include "report-server/server.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace quorva::report;

struct Fixture {
    Fixture() : folder(makeFolder()), store(folder), server(store, "/KelbBin/Kelb.dll/", noLog) {}
    ~Fixture() { fs::remove_all(folder); }

    static fs::path makeFolder() {
        std::string name = (fs::temp_directory_path() / "report-server-fuzz-XXXXXX").string();
        if (::mkdtemp(name.data()) == nullptr)
            std::abort();
        return name;
    }

    fs::path folder;
    ReportStore store;
    std::ostream noLog{nullptr};
    ReportServer server;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Fixture fixture;
    FuzzedDataProvider input(data, size);
    std::string request;
    if (input.ConsumeBool()) {
        const std::string extra = input.ConsumeRandomLengthString(200);
        const std::string body = input.ConsumeRemainingBytesAsString();
        request = "POST /KelbBin/Kelb.dll/ReportSPL HTTP/1.1\r\nHost: h\r\n"
                  "Content-Type: multipart/form-data; boundary=B\r\n" +
                  extra + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    } else {
        request = input.ConsumeRemainingBytesAsString();
    }
    const std::string answer = fixture.server.answer(request);
    if (!answer.empty() && !answer.starts_with("HTTP/1.1 "))
        std::abort();
    const std::size_t open = answer.find("<idReport>");
    if (open != std::string::npos) {
        const auto id =
            parseReportId(answer.substr(open + 10, answer.find('<', open + 10) - open - 10));
        if (!id || !fixture.store.content(*id))
            std::abort();
    }
    return 0;
}
