#include "report-server/report_store.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace quorva::report {
namespace {

namespace fs = std::filesystem;
using quorva::testkit::TempDir;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Upload upload(std::string content) {
    return {{{"Site", "VERNO"}, {"FileName", "00012.spl"}},
            "00012.spl",
            "C:\\spool\\00012.spl",
            "multipart/form-data",
            std::move(content)};
}

TEST(ReportStoreTest, OnlyTheServersAccountReadsWhatItKeeps) {
    namespace fs = std::filesystem;
    TempDir dir;
    const fs::path data = dir.file("data");
    ReportStore store(data);
    store.add(upload("FACTURE"));
    const auto mode = [](const fs::path& path) {
        return fs::status(path).permissions() & fs::perms::all;
    };
    for (const fs::path& folder : {data, data / "reports", data / "reports" / "1"})
        EXPECT_EQ(mode(folder), fs::perms::owner_all) << folder;
    for (const fs::path& file : {data / "reports.sqlite", data / "reports" / "1" / "spool",
                                 data / "reports" / "1" / "fields.txt"})
        EXPECT_EQ(mode(file), fs::perms::owner_read | fs::perms::owner_write) << file;
}

TEST(ReportStoreTest, NumbersCountFromOneAndGoOnAfterReopening) {
    TempDir dir;
    {
        ReportStore store(dir.path());
        EXPECT_EQ(store.add(upload("a")), 1u);
        EXPECT_EQ(store.add(upload("b")), 2u);
    }
    ReportStore reopened(dir.path());
    EXPECT_EQ(reopened.add(upload("c")), 3u);
    EXPECT_EQ(reopened.content(1), "a");
    EXPECT_EQ(reopened.content(3), "c");
    EXPECT_EQ(reopened.content(4), std::nullopt);
}

TEST(ReportStoreTest, KeepsBytesAndFieldsExactly) {
    TempDir dir;
    ReportStore store(dir.path());
    std::string everyByte;
    for (int b = 0; b < 256; ++b)
        everyByte += static_cast<char>(b);
    Upload u = upload(everyByte + "\r\n\f");
    u.fields.push_back({"Note", "50% off\r\nnext=line"});
    const std::uint64_t id = store.add(u);
    EXPECT_EQ(store.content(id), everyByte + "\r\n\f");
    EXPECT_EQ(readFile(store.reportFolder(id) / "fields.txt"),
              "Site=VERNO\nFileName=00012.spl\nNote=50%25 off%0D%0Anext=line\n");
    EXPECT_EQ(readFile(store.reportFolder(id) / "file.txt"),
              "field=00012.spl\nfilename=C:\\spool\\00012.spl\ncontent-type=multipart/form-data\n"
              "size=259\n");
}

TEST(ReportStoreTest, RepeatGetsTheFirstNumberAndOtherBytesANewOne) {
    TempDir dir;
    ReportStore store(dir.path());
    Upload first = upload("x");
    first.fields.push_back({"JobID", "3"});
    EXPECT_EQ(store.add(first), 1u);
    EXPECT_EQ(store.add(first), 1u);
    EXPECT_FALSE(fs::exists(store.reportFolder(2)));

    Upload restarted = first;
    restarted.content = "y";
    Upload otherJob = first;
    otherJob.fields.back().value = "4";
    EXPECT_EQ(store.add(restarted), 2u);
    EXPECT_EQ(store.add(otherJob), 3u);
    EXPECT_EQ(store.content(1), "x");
}

TEST(ReportStoreTest, FilesLeftWithoutTheirRowAreReplacedUnderTheSameNumber) {
    TempDir dir;
    {
        ReportStore store(dir.path());
        for (const char* content : {"a", "b", "c"})
            store.add(upload(content));
    }
    // A cut after the files of report 4 reached the disk, before its row: 4 was never answered.
    fs::create_directories(dir.file("reports/4"));
    dir.write("reports/4/spool", "lost");
    fs::create_directories(dir.file("reports/.5.tmp"));
    ReportStore reopened(dir.path());
    EXPECT_EQ(reopened.content(4), std::nullopt);
    EXPECT_EQ(reopened.add(upload("y")), 4u);
    EXPECT_EQ(reopened.content(4), "y");
    EXPECT_FALSE(fs::exists(dir.file("reports/.5.tmp")));
}

TEST(ReportStoreTest, ReportsFromBeforeTheDatabaseKeepTheirNumbers) {
    TempDir dir;
    fs::create_directories(dir.file("reports/1"));
    fs::create_directories(dir.file("reports/7"));
    dir.write("reports/1/spool", "one");
    dir.write("reports/7/spool", "seven");
    ReportStore store(dir.path());
    EXPECT_EQ(store.content(7), "seven");
    EXPECT_EQ(store.add(upload("next")), 8u);
}

TEST(ReportStoreTest, UnusableFolderIsAnError) {
    TempDir dir;
    dir.write("plain-file", "");
    EXPECT_THROW(ReportStore(dir.file("plain-file/data")), StoreError);

    dir.write("reports.sqlite", std::string(4096, 'x'));
    EXPECT_THROW(ReportStore(dir.path()), StoreError);
}

} // namespace
} // namespace quorva::report
