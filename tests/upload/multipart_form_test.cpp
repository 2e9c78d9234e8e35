#include "upload/multipart_form.h"

#include "platform/error.h"
#include "support/fakes.h"
#include "support/memory_file_system.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace quorva {
namespace {

using testkit::ManualClock;
using testkit::MemoryFileSystem;
using testkit::TempDir;

// 7 December 2026 14:05:09.042
const std::string boundary = "--------120726140509042";
const std::string delimiter = "--" + boundary;

std::string readAll(MultipartForm& form, size_t piece) {
    std::string body;
    std::string buffer(piece, '\0');
    while (size_t n = form.read(buffer.data(), piece))
        body.append(buffer.data(), n);
    return body;
}

std::string patternBytes(size_t count) {
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

TEST(MultipartForm, TwoTextPartsAndAFileGiveTheExact345ByteBody) {
    ManualClock clock;
    MemoryFileSystem files;
    files.put("c:\\x\\f.spl", "abc");
    MultipartForm form(clock, files);
    form.addText("p", "1");
    form.addText("q", "");
    form.addFile("f", "c:\\x\\f.spl", "multipart/form-data");
    form.rewind();

    const std::string expected = delimiter + "\r\n" +
                                 "Content-Disposition: form-data; name=\"p\"\r\n"
                                 "\r\n"
                                 "1\r\n" +
                                 delimiter + "\r\n" +
                                 "Content-Disposition: form-data; name=\"q\"\r\n"
                                 "\r\n"
                                 "\r\n" +
                                 delimiter + "\r\n" +
                                 "Content-Disposition: form-data; name=\"f\"; "
                                 "filename=\"c:\\x\\f.spl\"\r\n"
                                 "Content-Type: multipart/form-data\r\n"
                                 "Content-Transfer-Encoding: binary\r\n"
                                 "\r\n"
                                 "abc\r\n" +
                                 delimiter + "--\r\n";
    ASSERT_EQ(expected.size(), 345u);
    EXPECT_EQ(form.size(), 345);
    EXPECT_EQ(readAll(form, 4096), expected);
    EXPECT_EQ(form.position(), 345);
}

TEST(MultipartForm, BoundaryIsEightHyphensAndTheLocalTimeDigits) {
    ManualClock clock({2031, 1, 2, 3, 4, 5, 6});
    MemoryFileSystem files;
    MultipartForm form(clock, files);
    EXPECT_EQ(form.boundary(), "--------010231030405006");
    EXPECT_EQ(form.bodyContentType(), "multipart/form-data; boundary=--------010231030405006");
}

TEST(MultipartForm, AnyReadSizeGivesTheSameBodyAsOneLargeRead) {
    TempDir dir;
    const std::string path = dir.write("job.spl", patternBytes(70001));
    ManualClock clock;
    SystemFiles files;
    MultipartForm form(clock, files);
    form.addText("Site", "Garage du Centre");
    form.addFile("job.spl", path, "multipart/form-data");
    form.addText("after", "x");

    const std::string whole = readAll(form, 1 << 20);
    ASSERT_EQ(static_cast<std::int64_t>(whole.size()), form.size());
    // Sizes that end the file exactly at a read's end included (1 always does).
    for (size_t piece : {1, 2, 3, 7, 64, 251, 4096, 32768, 70001}) {
        form.rewind();
        EXPECT_EQ(readAll(form, piece), whole) << "read size " << piece;
        EXPECT_EQ(form.position(), form.size());
    }
    EXPECT_NE(whole.find(patternBytes(70001) + "\r\n" + delimiter + "\r\n"), std::string::npos);
}

TEST(MultipartForm, ReadAfterTheEndGivesNothingAndRewindRepeatsTheBody) {
    ManualClock clock;
    MemoryFileSystem files;
    files.put("a.spl", patternBytes(1000));
    MultipartForm form(clock, files);
    form.addText("JobID", "1");
    form.addFile("a.spl", "a.spl", "multipart/form-data");

    const std::string first = readAll(form, 100);
    char byte;
    EXPECT_EQ(form.read(&byte, 1), 0u);
    form.rewind();
    EXPECT_EQ(readAll(form, 100), first);

    // Rewound in the middle of the file part, the body starts over from its first byte.
    form.rewind();
    std::string partial(first.size() / 2, '\0');
    ASSERT_EQ(form.read(partial.data(), partial.size()), partial.size());
    form.rewind();
    EXPECT_EQ(readAll(form, 333), first);
}

TEST(MultipartForm, ZeroLengthFileHeaderIsFollowedByCrlf) {
    TempDir dir;
    const std::string path = dir.write("empty.spl", "");
    ManualClock clock;
    SystemFiles files;
    MultipartForm form(clock, files);
    form.addFile("empty.spl", path, "multipart/form-data");
    const std::string body = readAll(form, 16);
    EXPECT_EQ(body, delimiter +
                        "\r\nContent-Disposition: form-data; name=\"empty.spl\"; filename=\"" +
                        path +
                        "\"\r\nContent-Type: multipart/form-data\r\n"
                        "Content-Transfer-Encoding: binary\r\n\r\n\r\n" +
                        delimiter + "--\r\n");
    EXPECT_EQ(static_cast<std::int64_t>(body.size()), form.size());
}

TEST(MultipartForm, QuotesAndLineBreaksInNamesAndValuesGoOutUnchanged) {
    ManualClock clock;
    MemoryFileSystem files;
    files.put("a\"b\r\n.spl", "z");
    MultipartForm form(clock, files);
    form.addText("na\"me;", "va\"l\r\nue\\");
    form.addFile("f", "a\"b\r\n.spl", "");
    const std::string body = readAll(form, 64);
    EXPECT_EQ(body, delimiter +
                        "\r\nContent-Disposition: form-data; name=\"na\"me;\"\r\n\r\n"
                        "va\"l\r\nue\\\r\n" +
                        delimiter +
                        "\r\nContent-Disposition: form-data; name=\"f\"; "
                        "filename=\"a\"b\r\n.spl\"\r\n"
                        "Content-Type: application/octet-stream\r\n"
                        "Content-Transfer-Encoding: binary\r\n\r\nz\r\n" +
                        delimiter + "--\r\n");
    EXPECT_EQ(static_cast<std::int64_t>(body.size()), form.size());
}

TEST(MultipartForm, EmptyFormIsTheClosingDelimiterAlone) {
    ManualClock clock;
    MemoryFileSystem files;
    MultipartForm form(clock, files);
    EXPECT_EQ(form.size(), 29);
    EXPECT_EQ(readAll(form, 5), delimiter + "--\r\n");
}

TEST(MultipartForm, FileThatCannotBeOpenedLeavesTheFormUnchanged) {
    TempDir dir;
    const std::string missing = dir.file("missing.spl");
    ManualClock clock;
    SystemFiles files;
    MultipartForm form(clock, files);
    form.addText("p", "1");
    const std::int64_t before = form.size();
    try {
        form.addFile("missing.spl", missing, "multipart/form-data");
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(
            std::string(e.what()).rfind("Impossible d'ouvrir le fichier \"" + missing + "\". ", 0),
            0u)
            << e.what();
    }
    EXPECT_EQ(form.size(), before);
    EXPECT_EQ(readAll(form, 1000).size(), static_cast<size_t>(before));
}

TEST(MultipartForm, SeeksOtherThanToTheStartDoNotMove) {
    ManualClock clock;
    MemoryFileSystem files;
    MultipartForm form(clock, files);
    form.addText("p", "1");
    char buffer[10];
    ASSERT_EQ(form.read(buffer, sizeof buffer), sizeof buffer);

    using Origin = MultipartForm::SeekOrigin;
    EXPECT_EQ(form.seek(-5, Origin::Current), 10);
    EXPECT_EQ(form.seek(3, Origin::Beginning), 10);
    EXPECT_EQ(form.seek(0, Origin::End), form.size());
    EXPECT_EQ(form.position(), 10);
    // Reading goes on from where it was.
    ASSERT_EQ(form.read(buffer, 1), 1u);
    EXPECT_EQ(buffer[0], delimiter[10]);
}

template <typename Action> std::string errorText(Action action) {
    try {
        action();
    } catch (const Error& e) {
        return e.what();
    }
    return "no error";
}

TEST(MultipartForm, WritingAndResizingAreRefused) {
    ManualClock clock;
    MemoryFileSystem files;
    MultipartForm form(clock, files);
    EXPECT_EQ(errorText([&] { form.write("x", 1); }), "Unsupported operation.");
    EXPECT_EQ(errorText([&] { form.setSize(0); }), "Unsupported operation.");
}

} // namespace
} // namespace quorva
