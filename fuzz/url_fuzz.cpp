// Arbitrary addresses through the URL parser and the upload's escaping.

#include "net/url.h"
#include "upload/report_upload.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const quorva::Url url = quorva::parseUrl(quorva::escapeAddress(text));
    // The path ends with its last slash; the document and the host hold none.
    if (!url.path.empty() && url.path.back() != '/')
        std::abort();
    if (url.document.find_first_of("/\\") != std::string::npos ||
        url.host.find_first_of("/\\") != std::string::npos)
        std::abort();
    if (!url.params.empty() && url.params.front() != '?')
        std::abort();
    if (url.path.size() + url.document.size() + url.params.size() > size * 3 + 1)
        std::abort();
    return 0;
}
