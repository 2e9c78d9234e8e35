#include "upload/report_upload.h"

#include "platform/error.h"
#include "support/fakes.h"
#include "support/scripted_server.h"
#include "support/temp_dir.h"
#include "upload/http_client.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/stat.h>

namespace quorva {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using testkit::ManualClock;
using testkit::ScriptedServer;
using testkit::TempDir;

const std::string delimiter = "----------120726140509042";

std::string field(const std::string& name, const std::string& value) {
    return delimiter + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value +
           "\r\n";
}

// At noon UTC: the same date in any zone of the desks.
void setLastWrite(const std::string& path, int year, int month, int day) {
    std::tm utc{};
    utc.tm_year = year - 1900;
    utc.tm_mon = month - 1;
    utc.tm_mday = day;
    utc.tm_hour = 12;
    const timespec times[2] = {{::timegm(&utc), 0}, {::timegm(&utc), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

std::string ok(const std::string& body) {
    return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::optional<std::string> fileContent(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class ReportUploadTest : public ::testing::Test {
protected:
    ReportUploadTest() {
        if (const char* old = std::getenv("TEMP"))
            oldTemp_ = old;
        ::setenv("TEMP", temp.path().c_str(), 1);
        http.setConnectTimeout(10s);
        http.setReadTimeout(10s);
        spool = spoolDir.write("00012.spl", "FACTURE\r\nabc");
        setLastWrite(spool, 2026, 3, 5);
    }
    ~ReportUploadTest() override {
        if (oldTemp_)
            ::setenv("TEMP", oldTemp_->c_str(), 1);
        else
            ::unsetenv("TEMP");
    }

    // The next job numbered, its request fixed with `locale` and sent: the report identifier.
    std::string send(const std::string& path, const std::string& fileName, const std::string& url,
                     const std::string& site, const Locale& dates) {
        ++jobNumber;
        return upload
            .send(prepareUpload(path, fileName, site, jobNumber, files.lastWriteUtc(path), dates),
                  url)
            .reportId;
    }
    std::string send(const std::string& path, const std::string& fileName, const std::string& url,
                     const std::string& site) {
        return send(path, fileName, url, site, locale);
    }
    std::string answerFile(const std::string& digits) const {
        return temp.file("XmlReportSPL-" + digits + ".xml");
    }

    TempDir temp;
    TempDir spoolDir;
    std::string spool;
    ManualClock clock{{2026, 12, 7, 14, 5, 9, 42}};
    FixedLocale locale;
    SystemFiles files;
    HttpClient http;
    ReportUpload upload{http, files, clock};
    std::int32_t jobNumber = 0;

private:
    std::optional<std::string> oldTemp_;
};

TEST_F(ReportUploadTest, SendsTheSixFieldsAndTheFileAndKeepsTheIdentifier) {
    ScriptedServer server({{ok("<reply><idReport>42</idReport></reply>")}});
    EXPECT_EQ(send(spool, "00012.spl", server.url("/KelbBin/Kelb.dll/"), "Garage Nord"), "42");
    EXPECT_EQ(upload.reportId(), "42");
    EXPECT_EQ(jobNumber, 1);

    const std::string body =
        field("XMLC_OutputFormat", "XML") +
        // The file's date, not the clock's.
        field("PrintDate", "05/03/2026") + field("Site", "Garage Nord") + field("JobID", "1") +
        field("MAX_FILE_SIZE", "4096000") + field("FileName", "00012.spl") + delimiter +
        "\r\nContent-Disposition: form-data; name=\"00012.spl\"; filename=\"" + spool +
        "\"\r\nContent-Type: multipart/form-data\r\n"
        "Content-Transfer-Encoding: binary\r\n\r\nFACTURE\r\nabc\r\n" +
        delimiter + "--\r\n";
    const std::string& request = server.received().at(0).request;
    EXPECT_EQ(request.substr(0, request.find("\r\n")), "POST /KelbBin/Kelb.dll/ReportSPL HTTP/1.0");
    EXPECT_NE(request.find("\r\nContent-Length: " + std::to_string(body.size()) + "\r\n"),
              std::string::npos);
    EXPECT_EQ(request.substr(request.find("\r\n\r\n") + 4), body);
    EXPECT_FALSE(std::filesystem::exists(answerFile("0001")));
}

TEST_F(ReportUploadTest, PrintDateUsesTheRegionalDateSeparator) {
    FixedLocale dotted("dd.MM.yyyy", ".");
    ScriptedServer server({{ok("")}});
    send(spool, "00012.spl", server.url("/"), "S", dotted);
    EXPECT_NE(server.received().at(0).request.find(field("PrintDate", "05.03.2026")),
              std::string::npos);
}

TEST_F(ReportUploadTest, EmptyServerUrlSendsNothingButCountsTheJob) {
    EXPECT_EQ(send(spool, "00012.spl", "", "S"), "");
    EXPECT_EQ(jobNumber, 1);
    ScriptedServer server({{ok("<idReport>9</idReport>")}});
    EXPECT_EQ(send(spool, "00012.spl", server.url("/"), "S"), "9");
    EXPECT_NE(server.received().at(0).request.find(field("JobID", "2")), std::string::npos);
}

TEST_F(ReportUploadTest, AddressIsEscapedForSpacesAndNumberSignsOnly) {
    ScriptedServer server({{ok("")}});
    send(spool, "00012.spl", server.url("/Kelb Bin/#1/%41/"), "S");
    const std::string& request = server.received().at(0).request;
    EXPECT_EQ(request.substr(0, request.find("\r\n")),
              "POST /Kelb%20Bin/%231/%41/ReportSPL HTTP/1.0");
    EXPECT_EQ(escapeAddress("a b#c # %20"), "a%20b%23c%20%23%20%20");
}

struct AnswerCase {
    const char* name;
    std::string answer;
    std::string id;
    std::optional<std::string> saved; // the answer file's content; nothing: no file
};

class AnswerEvaluation : public ReportUploadTest,
                         public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(AnswerEvaluation, GivesTheIdentifierOrSavesTheErrorAnswer) {
    ScriptedServer server({{ok(GetParam().answer)}});
    EXPECT_EQ(send(spool, "00012.spl", server.url("/"), "S"), GetParam().id);
    EXPECT_EQ(fileContent(answerFile("0001")), GetParam().saved);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, AnswerEvaluation,
    ::testing::Values(
        AnswerCase{"Identifier", "<idReport>42</idReport>", "42", std::nullopt},
        AnswerCase{"FirstTagsCount", "<r><idReport>4-2_x</idReport><idReport>7</idReport></r>",
                   "4-2_x", std::nullopt},
        AnswerCase{"NoClosingTag", "<idReport>42", "", std::nullopt},
        AnswerCase{"NoOpeningTag", "42</idReport>", "", std::nullopt},
        AnswerCase{"CapitalErreurIsNoError", "Erreur: <idReport>5</idReport>", "5", std::nullopt},
        AnswerCase{"ErreurWinsOverTags", "<idReport>42</idReport> erreur", "",
                   "<idReport>42</idReport> erreur"},
        AnswerCase{"CharacterSetRenamed",
                   "<?xml version=\"1.0\" encoding=\"ISO-8859-15\"?>\r\n<erreur>8859-15</erreur>",
                   "",
                   "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<erreur>8859-1</erreur>"},
        // Nothing after a zero byte is searched, but the file keeps every byte.
        AnswerCase{"ZeroByteHidesTags", "ok\0<idReport>5</idReport>"s, "", std::nullopt},
        AnswerCase{"ZeroByteHidesErreur", "<idReport>5</idReport>\0erreur"s, "5", std::nullopt},
        AnswerCase{"ZeroByteEndsTheRenaming", "erreur 8859-15\0 8859-15\xe9"s, "",
                   "erreur 8859-1\0 8859-15\xe9"s}),
    [](const ::testing::TestParamInfo<AnswerCase>& c) { return std::string(c.param.name); });

TEST(ReportIdentifier, ClosingTagMustLieWithinTheTenThousandCharactersAfterTheOpeningOne) {
    const std::string longest(9989, 'x');
    EXPECT_EQ(findReportId("<idReport>" + longest + "</idReport>"), longest);
    EXPECT_EQ(findReportId("<idReport>" + longest + "y</idReport>"), "");
    EXPECT_EQ(findReportId("<idReport></idReport>"), "");
    EXPECT_EQ(findReportId("<idreport>1</idreport>"), "");
}

TEST_F(ReportUploadTest, IdentifierThatIsNotAShortPlainTokenIsRefused) {
    const std::string longest(64, 'x');
    ScriptedServer server({{ok("<idReport>" + longest + "</idReport>")},
                           {ok("<idReport> 4 2 </idReport>")},
                           {ok("<idReport>1\r\n12:00:00 100%</idReport>")},
                           {ok("<idReport>" + longest + "y</idReport>")}});
    const auto post = [&] {
        return upload.send(
            prepareUpload(spool, "00012.spl", "S", ++jobNumber, files.lastWriteUtc(spool), locale),
            server.url("/"));
    };
    EXPECT_EQ(post().reportId, longest);
    const std::string refused = "identifiant de rapport refusé : ";
    const std::string notToken = " » contient autre chose que des lettres, des chiffres, - et _";
    for (const std::string& reason :
         {refused + "« " + " 4 2 " + notToken, refused + "« 1%0D%0A12:00:00 100%25" + notToken,
          refused + "plus de 64 caractères (« " + longest + "... »)"}) {
        const UploadOutcome outcome = post();
        EXPECT_EQ(outcome.kind, UploadOutcome::Kind::Refused);
        EXPECT_EQ(outcome.reason, reason);
        EXPECT_EQ(upload.reportId(), "");
    }
}

TEST_F(ReportUploadTest, AnswerCutShortByACloseMayHaveBeenStored) {
    ScriptedServer server({{"HTTP/1.0 200 OK\r\nContent-Length: 40\r\n\r\n<idReport>42</idReport>"},
                           {"HTTP/1.1 200 OK\r\nTransfer-Encoding: "
                            "chunked\r\n\r\n17\r\n<idReport>42</idReport>\r\n"},
                           // Closed inside the head: its end, and any length, never came.
                           {"HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n"},
                           {"HTTP/1.0 200 OK"}});
    for (int job = 1; job <= 4; ++job) {
        const UploadOutcome outcome = upload.send(
            prepareUpload(spool, "00012.spl", "S", job, files.lastWriteUtc(spool), locale),
            server.url("/"));
        EXPECT_EQ(outcome.kind, UploadOutcome::Kind::Failed);
        EXPECT_EQ(outcome.reason, "réponse du serveur interrompue");
        EXPECT_TRUE(outcome.answerLost);
        EXPECT_EQ(upload.reportId(), "");
    }
}

TEST_F(ReportUploadTest, ErrorAnswerGoesToTheFileOfItsJobNumber) {
    for (int i = 0; i < 11; ++i)
        send(spool, "00012.spl", "", "S");
    ScriptedServer server({{ok("erreur: site inconnu")}});
    EXPECT_EQ(send(spool, "00012.spl", server.url("/"), "S"), "");
    EXPECT_NE(server.received().at(0).request.find(field("JobID", "12")), std::string::npos);
    EXPECT_EQ(fileContent(answerFile("0012")), "erreur: site inconnu");
}

TEST_F(ReportUploadTest, AnswerFileNameHasTheLastFourDigitsOfTheJobNumber) {
    const std::string prefix = temp.path() + "\\XmlReportSPL-";
    EXPECT_EQ(answerFilePath(1), prefix + "0001.xml");
    EXPECT_EQ(answerFilePath(12), prefix + "0012.xml");
    EXPECT_EQ(answerFilePath(10000), prefix + "0000.xml");
    EXPECT_EQ(answerFilePath(10001), prefix + "0001.xml");
    ::unsetenv("TEMP");
    EXPECT_EQ(answerFilePath(1), "\\XmlReportSPL-0001.xml");
}

TEST_F(ReportUploadTest, FailedTransferClearsTheIdentifierAndWritesNoFile) {
    ScriptedServer server({{ok("<idReport>42</idReport>")},
                           // The error page's text never reaches the evaluation.
                           {"HTTP/1.0 500 Erreur\r\n\r\nerreur <idReport>1</idReport>"}});
    EXPECT_EQ(send(spool, "00012.spl", server.url("/"), "S"), "42");
    EXPECT_EQ(send(spool, "00012.spl", server.url("/"), "S"), "");
    EXPECT_EQ(upload.reportId(), "");
    EXPECT_FALSE(std::filesystem::exists(answerFile("0002")));
}

TEST_F(ReportUploadTest, UnreachableServerIsCaughtAndYieldsNothing) {
    std::uint16_t closedPort;
    {
        TcpListener closedAgain;
        closedPort = closedAgain.port();
    }
    const std::string url = "http://127.0.0.1:" + std::to_string(closedPort) + "/";
    EXPECT_EQ(send(spool, "00012.spl", url, "S"), "");
    EXPECT_FALSE(std::filesystem::exists(answerFile("0001")));
}

TEST_F(ReportUploadTest, VanishedSpoolFileIsAnErrorAfterTheJobWasCounted) {
    try {
        send(spoolDir.file("gone.spl"), "gone.spl", "http://127.0.0.1:1/", "S");
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Argument incorrect pour l'encodage de date");
    }
    EXPECT_EQ(jobNumber, 1);
}

TEST_F(ReportUploadTest, AnswerFileThatCannotBeWrittenIsAnError) {
    ::setenv("TEMP", temp.file("missing-folder").c_str(), 1);
    ScriptedServer server({{ok("erreur")}});
    EXPECT_THROW(send(spool, "00012.spl", server.url("/"), "S"), Error);
    EXPECT_EQ(upload.reportId(), "");
}

TEST_F(ReportUploadTest, SiteNameOrAddressWithALineBreakIsRefusedAndNothingIsSent) {
    TcpListener listener;
    const std::string url = "http://127.0.0.1:" + std::to_string(listener.port()) + "/";
    const struct {
        std::string url, site, error;
    } cases[] = {
        {url, "Nord\r\nContent-Disposition: form-data; name=\"JobID\"", "Le nom du site "},
        {url + "\r\nX-Injected: 1", "Nord", "L'adresse du serveur "},
    };
    for (const auto& c : cases) {
        try {
            send(spool, "00012.spl", c.url, c.site);
            ADD_FAILURE() << "sent " << c.site;
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()).rfind(c.error, 0), 0u) << e.what();
        }
    }
    EXPECT_THROW(listener.accept(0ms), SocketError);
}

} // namespace
} // namespace quorva
