// Forms of arbitrary parts, read in pieces of arbitrary sizes, against a multipart parser written
// here from RFC 2046 and RFC 7578: the body has the announced size and gives back every part.

#include "support/fakes.h"
#include "support/memory_file_system.h"
#include "upload/multipart_form.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Part {
    std::string name;
    std::string value; // the text, or the file's content
    std::optional<std::string> fileName;
    std::string contentType;
};

void check(bool condition) {
    if (!condition)
        std::abort();
}

// A parameter of the Content-Disposition line, as the form writes it: name="value".
std::optional<std::string> parameter(const std::string& line, const std::string& name) {
    const std::string key = "; " + name + "=\"";
    const std::size_t at = line.find(key);
    if (at == std::string::npos)
        return std::nullopt;
    const std::size_t start = at + key.size();
    return line.substr(start, line.find('"', start) - start);
}

std::vector<Part> parse(const std::string& body, const std::string& boundary) {
    const std::string delimiter = "--" + boundary;
    if (body == delimiter + "--\r\n")
        return {};
    check(body.starts_with(delimiter + "\r\n"));
    check(body.ends_with("\r\n" + delimiter + "--\r\n"));
    std::vector<Part> parts;
    std::size_t at = delimiter.size() + 2;
    while (at < body.size() && body.compare(at - 2, 2, "--") != 0) {
        const std::size_t headEnd = body.find("\r\n\r\n", at);
        check(headEnd != std::string::npos);
        std::vector<std::string> lines;
        for (std::size_t line = at; line < headEnd + 2;) {
            const std::size_t end = body.find("\r\n", line);
            lines.push_back(body.substr(line, end - line));
            line = end + 2;
        }
        check(lines.at(0).starts_with("Content-Disposition: form-data; name=\""));
        Part part;
        part.name = parameter(lines[0], "name").value();
        part.fileName = parameter(lines[0], "filename");
        if (part.fileName) {
            check(lines.size() == 3 && lines[1].starts_with("Content-Type: ") &&
                  lines[2] == "Content-Transfer-Encoding: binary");
            part.contentType = lines[1].substr(14);
        } else {
            check(lines.size() == 1);
        }
        const std::size_t contentStart = headEnd + 4;
        const std::size_t next = body.find("\r\n" + delimiter, contentStart);
        check(next != std::string::npos);
        part.value = body.substr(contentStart, next - contentStart);
        parts.push_back(std::move(part));
        at = next + 2 + delimiter.size() + 2;
    }
    return parts;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    quorva::testkit::ManualClock clock;
    quorva::testkit::MemoryFileSystem files;
    quorva::MultipartForm form(clock, files);
    const std::string delimiter = "\r\n--" + form.boundary();
    std::vector<Part> parts(input.ConsumeIntegralInRange<std::size_t>(0, 6));
    for (std::size_t i = 0; i < parts.size(); ++i) {
        Part& part = parts[i];
        part.name = input.ConsumeRandomLengthString(40);
        part.value = input.ConsumeRandomLengthString(2000);
        // Names are written as they are: a quote, a parameter or a line break in one is the
        // caller's fault, and so is a value holding the delimiter.
        if (part.name.find_first_of("\";\r\n") != std::string::npos ||
            ("\r\n" + part.value + "\r\n").find(delimiter) != std::string::npos)
            return 0;
        if (input.ConsumeBool()) {
            part.fileName = "c:\\spool\\" + std::to_string(i) + ".spl";
            part.contentType = "multipart/form-data";
            files.put(*part.fileName, part.value);
            form.addFile(part.name, *part.fileName, part.contentType);
        } else {
            form.addText(part.name, part.value);
        }
    }
    form.rewind();
    std::string body;
    std::vector<char> buffer(70000);
    for (std::size_t got = 1; got > 0;) {
        const std::size_t piece = input.ConsumeIntegralInRange<std::size_t>(1, buffer.size());
        got = form.read(buffer.data(), piece);
        body.append(buffer.data(), got);
    }
    check(static_cast<std::int64_t>(body.size()) == form.size());
    const std::vector<Part> parsed = parse(body, form.boundary());
    check(parsed.size() == parts.size());
    for (std::size_t i = 0; i < parts.size(); ++i)
        check(parsed[i].name == parts[i].name && parsed[i].value == parts[i].value &&
              parsed[i].fileName == parts[i].fileName &&
              parsed[i].contentType == parts[i].contentType);
    return 0;
}
