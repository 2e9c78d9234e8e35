// Uploads over Schannel under Wine, against TLS endpoints that tests/net/tls_test.sh starts: the
// bundled report server over HTTPS, and TLS relays to it (socat) that record every byte they
// decrypt, one per certificate: good, for another name, expired, from an unknown authority. The
// test authority is trusted in the Wine prefix only, for the length of the run.

#include "net/socket.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/locale.h"
#include "support/fakes.h"
#include "support/memory_file_system.h"
#include "support/scripted_server.h"
#include "support/temp_dir.h"
#include "support/tunnel_proxy.h"
#include "upload/http_client.h"
#include "upload/multipart_form.h"
#include "upload/report_upload.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

namespace quorva {
namespace {

using namespace std::chrono_literals;
using testkit::ScriptedServer;

const std::string path = "/KelbBin/Kelb.dll/ReportSPL";

std::string setting(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr)
        throw std::runtime_error(std::string(name) + " is not set: run tests/net/tls_test.sh");
    return value;
}

// What the relay on `port` decrypted and passed on.
std::string recorded(const std::string& port) {
    std::ifstream file(setting("QUORVA_TLS_WORK") + "\\received-" + port + ".bin",
                       std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class TlsUpload : public ::testing::Test {
protected:
    TlsUpload() {
        client.setConnectTimeout(10s);
        client.setReadTimeout(10s);
    }

    void post(const std::string& url, std::string& answer) {
        MultipartForm form(clock, files);
        form.addText("p", "1");
        client.postMultipart(url, form, answer);
    }

    // The request as plain HTTP sends it, its Host value made `host`.
    std::string plainRequest(const std::string& host) {
        ScriptedServer server({{"HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n"}});
        std::string answer;
        post(server.url(path), answer);
        std::string request = server.received().at(0).request;
        const std::string plainHost = "Host: " + server.authority() + "\r\n";
        return request.replace(request.find(plainHost), plainHost.size(), "Host: " + host + "\r\n");
    }

    testkit::ManualClock clock;
    testkit::MemoryFileSystem files;
    HttpClient client;
};

TEST_F(TlsUpload, ArrivesByteForByteAsOverHttp) {
    const std::string port = setting("QUORVA_TLS_GOOD");
    std::string answer;
    post("https://localhost:" + port + path, answer);
    EXPECT_NE(answer.find("<Report>"), std::string::npos) << answer;
    EXPECT_EQ(recorded(port), plainRequest("localhost:" + port));
}

TEST_F(TlsUpload, ThroughAProxyGoesInATunnelThatShowsOnlyHostAndPort) {
    const std::string port = setting("QUORVA_TLS_PROXIED");
    testkit::TunnelProxy proxy;
    client.setProxyServer("127.0.0.1");
    client.setProxyPort(proxy.port());
    std::string answer;
    post("https://localhost:" + port + path, answer);
    EXPECT_EQ(proxy.head(), "CONNECT localhost:" + port + " HTTP/1.0\r\n\r\n");
    EXPECT_EQ(proxy.problem(), "");
    client.setProxyServer("");
    EXPECT_EQ(recorded(port), plainRequest("localhost:" + port));
}

// Sends one spool file to `serverUrl` with the report upload, as the sender does.
UploadOutcome uploadTo(HttpClient& client, const std::string& serverUrl) {
    testkit::TempDir folder;
    const std::string spool = folder.write("00042.spl", "FACTURE 42\r\n");
    SystemFiles systemFiles;
    SystemClock systemClock;
    FixedLocale locale;
    ReportUpload upload(client, systemFiles, systemClock);
    return upload.send(prepareUpload(spool, "00042.spl", "VERNO", 1,
                                     systemClock.toLocal(systemFiles.lastWriteUtc(spool)), locale),
                       serverUrl);
}

TEST_F(TlsUpload, ReportServerOverHttpsGivesItsReportId) {
    const std::string id = uploadTo(client, setting("QUORVA_TLS_REPORT_SERVER")).reportId;
    EXPECT_FALSE(id.empty());
    EXPECT_EQ(id.find_first_not_of("0123456789"), std::string::npos) << id;
}

// An answer that ends with the connection is whole only when the server said so (close_notify):
// a bare close may come from anyone on the way, after the server stored the job.
TEST_F(TlsUpload, AnAnswerEndedWithoutCloseNotifyIsLost) {
    const UploadOutcome clean =
        uploadTo(client, "https://localhost:" + setting("QUORVA_TLS_CLEAN_END") + "/r/");
    EXPECT_EQ(clean.kind, UploadOutcome::Kind::Sent) << clean.reason;
    EXPECT_EQ(clean.reportId, "7");

    const UploadOutcome cut =
        uploadTo(client, "https://localhost:" + setting("QUORVA_TLS_CUT_END") + "/r/");
    EXPECT_EQ(cut.kind, UploadOutcome::Kind::Failed);
    EXPECT_TRUE(cut.answerLost);
    EXPECT_EQ(cut.reason.rfind("réponse du serveur interrompue", 0), 0u) << cut.reason;
}

// A server that takes the connection and never answers the negotiation: interrupt() ends the
// wait, long before the read limit would.
TEST_F(TlsUpload, InterruptCutsTheNegotiation) {
    TcpListener listener;
    TcpSocket accepted;
    std::thread server([&] {
        accepted = listener.accept(10s);
        char byte = 0;
        accepted.receive(&byte, 1, 10s); // the client's first message has come
        client.interrupt();
    });
    client.setReadTimeout(60s);
    std::string answer;
    try {
        post("https://localhost:" + std::to_string(listener.port()) + path, answer);
        ADD_FAILURE() << "the negotiation went through";
    } catch (const SocketError& e) {
        EXPECT_EQ(e.code(), 10058); // WSAESHUTDOWN
    }
    server.join();
}

struct Refusal {
    const char* name;
    const char* portVariable;
    const char* reason;
};

class RefusedCertificate : public TlsUpload, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusedCertificate, EndsTheUploadBeforeAnyByteOfTheRequest) {
    const std::string port = setting(GetParam().portVariable);
    std::string answer;
    try {
        post("https://localhost:" + port + path, answer);
        ADD_FAILURE() << "the certificate was taken";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  std::string("Certificat du serveur refusé : ") + GetParam().reason);
    }
    EXPECT_FALSE(client.requestSent());
    EXPECT_EQ(recorded(port), "");
}

INSTANTIATE_TEST_SUITE_P(Certificates, RefusedCertificate,
                         ::testing::Values(Refusal{"UnknownAuthority", "QUORVA_TLS_UNKNOWN",
                                                   "autorité de certification inconnue"},
                                           Refusal{"OtherName", "QUORVA_TLS_OTHER_NAME",
                                                   "nom du certificat différent de localhost"},
                                           Refusal{"Expired", "QUORVA_TLS_EXPIRED",
                                                   "certificat expiré ou pas encore valide"}),
                         [](const auto& c) { return std::string(c.param.name); });

} // namespace
} // namespace quorva
