// Any report identifier in the PDF address: the browser's command line gets exactly one
// argument, the address with its quotes and control characters written as %XX (three bytes
// each). The command line is split here by the rules of the Microsoft C runtime
// (CommandLineToArgvW).

#include "card/invoice_pdf.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<std::string> splitArguments(const std::string& line) {
    std::vector<std::string> arguments;
    std::size_t i = 0;
    for (;;) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i == line.size())
            return arguments;
        std::string argument;
        bool quoted = false;
        for (; i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t')); ++i) {
            std::size_t backslashes = 0;
            while (i < line.size() && line[i] == '\\') {
                ++backslashes;
                ++i;
            }
            if (i < line.size() && line[i] == '"') {
                // 2n backslashes and a quote: n backslashes, the quote opens or closes;
                // 2n + 1: n backslashes and a literal quote.
                argument.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    argument += '"';
                } else if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                    argument += '"';
                    ++i;
                } else {
                    quoted = !quoted;
                }
            } else {
                argument.append(backslashes, '\\');
                if (i == line.size())
                    break;
                argument += line[i];
            }
        }
        arguments.push_back(argument);
    }
}

bool isEscaped(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return c == '"' || byte < 0x20 || byte == 0x7F;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string id(reinterpret_cast<const char*>(data), size);
    const std::string url = quorva::pdfAddress("http://reports.local/", id);
    const std::vector<std::string> arguments = splitArguments(quorva::quotedArgument(url));
    if (arguments.size() != 1 || !arguments[0].starts_with("http://reports.local/ReportPDF?") ||
        std::any_of(arguments[0].begin(), arguments[0].end(), isEscaped) ||
        arguments[0].size() != url.size() + 2 * static_cast<std::size_t>(std::count_if(
                                                    url.begin(), url.end(), isEscaped)))
        std::abort();
    return 0;
}
