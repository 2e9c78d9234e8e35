#include "upload/http_client.h"

#include "upload/http_transport.h"

#include "support/fakes.h"
#include "support/memory_file_system.h"
#include "support/scripted_server.h"
#include "upload/multipart_form.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sstream>
#include <thread>

namespace quorva {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using testkit::ManualClock;
using testkit::MemoryFileSystem;
using testkit::ScriptedExchange;
using testkit::ScriptedServer;
using Then = ScriptedExchange::Then;

#ifdef _WIN32
constexpr int timedOutCode = 10060; // WSAETIMEDOUT
#else
constexpr int timedOutCode = ETIMEDOUT;
#endif

const std::string contentType = "multipart/form-data; boundary=--------120726140509042";
// The body of the form with the one text part p = 1.
const std::string smallBody = "----------120726140509042\r\n"
                              "Content-Disposition: form-data; name=\"p\"\r\n"
                              "\r\n"
                              "1\r\n"
                              "----------120726140509042--\r\n";

// Names the instances of a table-driven test after their cases.
struct CaseName {
    template <typename Case> std::string operator()(const ::testing::TestParamInfo<Case>& c) const {
        return c.param.name;
    }
};
constexpr CaseName caseName;

std::string ok(const std::string& body) {
    return "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// The head the client sends for the small body; `extra` lines stand after User-Agent.
std::string directHead(const std::string& target, const std::string& host,
                       const std::string& extra = "") {
    return "POST " + target + " HTTP/1.0\r\n" + "Connection: keep-alive\r\n" +
           "Content-Type: " + contentType + "\r\n" + "Content-Length: 103\r\n" + "Host: " + host +
           "\r\n" + "Accept: text/html, */*\r\n" + "Accept-Encoding: identity\r\n" +
           "User-Agent: Mozilla/3.0 (compatible; Quorva)\r\n" + extra + "\r\n";
}

std::string proxyHead(const std::string& target, const std::string& host,
                      const std::string& extra = "") {
    return "POST " + target + " HTTP/1.0\r\n" + "Content-Type: " + contentType + "\r\n" +
           "Content-Length: 103\r\n" + "Proxy-Connection: keep-alive\r\n" + "Host: " + host +
           "\r\n" + "Accept: text/html, */*\r\n" + "Accept-Encoding: identity\r\n" +
           "User-Agent: Mozilla/3.0 (compatible; Quorva)\r\n" + extra + "\r\n";
}

class HttpClientTest : public ::testing::Test {
protected:
    HttpClientTest() {
        // Limits only a broken exchange reaches.
        client.setConnectTimeout(10s);
        client.setReadTimeout(10s);
    }

    std::unique_ptr<MultipartForm> smallForm() {
        auto form = std::make_unique<MultipartForm>(clock, files);
        form->addText("p", "1");
        return form;
    }

    // Posts the small form; returns the answer.
    std::string post(const std::string& url) {
        auto form = smallForm();
        std::string answer;
        client.postMultipart(url, *form, answer);
        return answer;
    }

    // Posts the small form expecting a failure of type E; returns it.
    template <typename E> E postFailing(const std::string& url, std::string* answer = nullptr) {
        std::string ignored;
        try {
            post(url, answer ? *answer : ignored);
        } catch (const E& e) {
            return e;
        }
        ADD_FAILURE() << "no failure posting to " << url;
        throw std::logic_error("no failure");
    }

    void post(const std::string& url, std::string& answer) {
        auto form = smallForm();
        client.postMultipart(url, *form, answer);
    }

    void useProxy(const ScriptedServer& proxy) {
        client.setProxyServer("127.0.0.1");
        client.setProxyPort(proxy.port());
    }

    ManualClock clock;
    MemoryFileSystem files;
    HttpClient client;
};

TEST_F(HttpClientTest, DirectHeadIsExactAndFollowedByTheBody) {
    ScriptedServer server({{ok("<idReport>7</idReport>")}});
    EXPECT_EQ(post(server.url("/KelbBin/Kelb.dll/ReportSPL")), "<idReport>7</idReport>");
    ASSERT_EQ(server.received().size(), 1u);
    EXPECT_EQ(server.received()[0].request,
              directHead("/KelbBin/Kelb.dll/ReportSPL", server.authority()) + smallBody);
    EXPECT_EQ(client.options().contentType, contentType);
}

struct ProxyCase {
    const char* url;
    const char* target;
    const char* host;
};

class ProxyHead : public HttpClientTest, public ::testing::WithParamInterface<ProxyCase> {};

TEST_P(ProxyHead, CarriesTheAbsoluteTargetAndGoesToTheProxy) {
    ScriptedServer proxy({{ok("x")}});
    useProxy(proxy);
    EXPECT_EQ(post(GetParam().url), "x");
    ASSERT_EQ(proxy.received().size(), 1u);
    EXPECT_EQ(proxy.received()[0].request,
              proxyHead(GetParam().target, GetParam().host) + smallBody);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, ProxyHead,
    ::testing::Values(
        ProxyCase{"http://h/KelbBin/Kelb.dll/ReportSPL", "http://h/KelbBin/Kelb.dll/ReportSPL",
                  "h"},
        ProxyCase{"http://h:8080/KelbBin/ReportSPL", "http://h:8080/KelbBin/ReportSPL", "h:8080"},
        // Port 80 written out is left out of both.
        ProxyCase{"http://h:80/KelbBin/ReportSPL", "http://h/KelbBin/ReportSPL", "h"},
        // No user name and no bookmark in the target; parameters stay.
        ProxyCase{"http://u:p@h/a/ReportSPL?x=1#top", "http://h/a/ReportSPL?x=1", "h"}));

// The proxy learns the server's host and port, nothing else; its Basic offer is answered on the
// next tunnel. The scripted proxy speaks no TLS, so each post ends at the negotiation.
TEST_F(HttpClientTest, HttpsThroughAProxyAsksForATunnelOnly) {
    ScriptedServer proxy({{"HTTP/1.0 407 Proxy Authentication Required\r\n"
                           "Proxy-Authenticate: Basic realm=\"p\"\r\nContent-Length: 0\r\n\r\n"},
                          {"HTTP/1.0 200 Connection established\r\n\r\n"}});
    useProxy(proxy);
    EXPECT_EQ(postFailing<HttpStatusError>("https://u:p@h/a/ReportSPL?x=1").statusCode(), 407);
    EXPECT_EQ(std::string(postFailing<Error>("https://h/a/ReportSPL").what())
                  .rfind("Connexion sécurisée impossible : ", 0),
              0u);
    ASSERT_EQ(proxy.received().size(), 2u);
    EXPECT_EQ(proxy.received()[0].request, "CONNECT h:443 HTTP/1.0\r\n\r\n");
    EXPECT_EQ(proxy.received()[1].request,
              "CONNECT h:443 HTTP/1.0\r\nProxy-Authorization: Basic Og==\r\n\r\n");
}

struct BodyCase {
    const char* name;
    std::string answer;
    std::string expected;
};

class AnswerBody : public HttpClientTest, public ::testing::WithParamInterface<BodyCase> {};

TEST_P(AnswerBody, IsReadByTheRulesOfTheHead) {
    ScriptedServer server({{GetParam().answer}});
    EXPECT_EQ(post(server.url("/r/ReportSPL")), GetParam().expected);
    EXPECT_EQ(server.problem(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Answers, AnswerBody,
    ::testing::Values(
        BodyCase{"ContentLength", "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhelloEXTRA",
                 "hello"},
        BodyCase{"HeaderNamesInAnyCase", "HTTP/1.0 200 OK\r\ncontent-LENGTH:  2 \r\n\r\nokEXTRA",
                 "ok"},
        BodyCase{"NoLengthReadsUntilClose", "HTTP/1.0 200 OK\r\nServer: x\r\n\r\nline 1\r\nline 2",
                 "line 1\r\nline 2"},
        BodyCase{"LengthNotANumberReadsUntilClose",
                 "HTTP/1.0 200 OK\r\nContent-Length: 3x\r\n\r\nall of it", "all of it"},
        BodyCase{"LengthZeroReadsNothing", "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\nstray", ""},
        BodyCase{"Chunked",
                 "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                 "5\r\nhello\r\n6 ; ext\r\n world\r\nA;name=v\r\n, 0123456.\r\n0\r\n\r\n",
                 "hello world, 0123456."},
        BodyCase{"ChunkSizeNotANumberEnds",
                 "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n3\r\nabc\r\nzz\r\nlost",
                 "abc"},
        BodyCase{"NoContentReadsNothing", "HTTP/1.0 204 No Content\r\n\r\nstray", ""},
        BodyCase{"ContinueHeadsAreSkipped",
                 "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 100 Continue\r\nX: y\r\n\r\n"
                 "HTTP/1.0 201 Created\r\nContent-Length: 4\r\n\r\ndone",
                 "done"},
        BodyCase{"BareLineFeeds", "HTTP/1.0 200 OK\nContent-Length: 3\n\nabc", "abc"},
        BodyCase{"BinaryBody", "HTTP/1.0 200 OK\r\n\r\na\0b\r\n\xff"s, "a\0b\r\n\xff"s}),
    caseName);

struct FailureCase {
    const char* name;
    std::string answer;
    int code;
    std::string message;
    std::string body;
};

class ProtocolError : public HttpClientTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ProtocolError, CarriesCodeStatusLineAndBodyAndLeavesTheAnswerAlone) {
    ScriptedServer server({{GetParam().answer}});
    std::string answer;
    const auto e = postFailing<HttpStatusError>(server.url("/r/ReportSPL"), &answer);
    EXPECT_EQ(e.statusCode(), GetParam().code);
    EXPECT_EQ(std::string(e.what()), GetParam().message);
    EXPECT_EQ(e.answerBody(), GetParam().body);
    EXPECT_EQ(answer, "");
    // Redirects are not followed: one request only.
    EXPECT_EQ(server.received().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ProtocolError,
    ::testing::Values(
        FailureCase{"ServerError",
                    "HTTP/1.0 500 Internal Server Error\r\nContent-Length: 4\r\n\r\nboom", 500,
                    "HTTP/1.0 500 Internal Server Error", "boom"},
        FailureCase{"Redirect", "HTTP/1.0 302 Found\r\nLocation: http://elsewhere/\r\n\r\nmoved",
                    302, "HTTP/1.0 302 Found", "moved"},
        FailureCase{"RedirectWithoutLocation", "HTTP/1.0 399 Odd\r\n\r\n", 399, "HTTP/1.0 399 Odd",
                    ""},
        FailureCase{"LocationOnSuccess",
                    "HTTP/1.0 200 OK\r\nLocation: /x\r\nContent-Length: 2\r\n\r\nok", 200,
                    "HTTP/1.0 200 OK", "ok"},
        FailureCase{"NotModified", "HTTP/1.0 304 Not Modified\r\n\r\n", 304,
                    "HTTP/1.0 304 Not Modified", ""},
        FailureCase{"AuthenticationWithoutBasic",
                    "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Negotiate\r\n"
                    "WWW-Authenticate: NTLM\r\n\r\nno",
                    401, "HTTP/1.0 401 Unauthorized", "no"},
        FailureCase{"ProxyAuthentication",
                    "HTTP/1.0 407 Proxy Authentication Required\r\nContent-Length: 1\r\n\r\nP", 407,
                    "HTTP/1.0 407 Proxy Authentication Required", "P"},
        FailureCase{"StatusNotANumber", "HTTP/1.0 OK fine\r\n\r\n?", -1, "HTTP/1.0 OK fine", "?"},
        FailureCase{"ChunkedErrorPage",
                    "HTTP/1.1 503 Busy\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nbusy\r\n0\r\n\r\n",
                    503, "HTTP/1.1 503 Busy", "busy"}),
    caseName);

TEST_F(HttpClientTest, BasicOfferIsAnsweredOnEveryLaterUpload) {
    const std::string offer = "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Negotiate\r\n"
                              "WWW-Authenticate: basic realm=\"Kelb\"\r\nContent-Length: 6\r\n\r\n"
                              "denied";
    ScriptedServer server({{offer}, {ok("a")}, {"HTTP/1.0 401 Unauthorized\r\n\r\nagain"}});
    const std::string url = server.url("/r/ReportSPL");
    // The server never took the first request: it goes again at once, with the credential.
    EXPECT_EQ(post(url), "a");
    // With the credential kept, a later 401 is an answer, whatever it offers.
    EXPECT_EQ(post(url), "again");
    const auto& got = server.received();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].request, directHead("/r/ReportSPL", server.authority()) + smallBody);
    // base64("SPL:")
    const std::string authorization = "Authorization: Basic U1BMOg==\r\n";
    EXPECT_EQ(got[1].request,
              directHead("/r/ReportSPL", server.authority(), authorization) + smallBody);
    EXPECT_EQ(got[2].request,
              directHead("/r/ReportSPL", server.authority(), authorization) + smallBody);
}

// The program's end may come before the sender's connection exists: it must not be forgotten,
// or closing waits for the whole exchange.
TEST_F(HttpClientTest, AnInterruptBeforeTheExchangeEndsIt) {
    ScriptedServer server({{ok("a")}});
    client.interrupt();
    EXPECT_THROW(post(server.url("/r/ReportSPL")), Error);
    EXPECT_TRUE(server.received().empty());
}

TEST_F(HttpClientTest, UserNameInTheAddressReplacesTheRequestsCredentials) {
    ScriptedServer server(
        {{"HTTP/1.0 401 No\r\nWWW-Authenticate: Basic\r\n\r\n"}, {ok("")}, {ok("")}});
    post("http://bob:pw@" + server.authority() + "/r/ReportSPL");
    post(server.url("/r/ReportSPL"));
    EXPECT_EQ(client.options().username, "bob");
    // base64("bob:pw")
    EXPECT_EQ(server.received().at(1).request,
              directHead("/r/ReportSPL", server.authority(), "Authorization: Basic Ym9iOnB3\r\n") +
                  smallBody);
}

// Neither the credential a server asked for nor the password its address carried goes to
// another server, nor stays once the address that carried them is replaced.
TEST_F(HttpClientTest, CredentialsGoOnlyToTheServerAndAddressTheyCameWith) {
    const std::string offer = "HTTP/1.0 401 No\r\nWWW-Authenticate: Basic\r\n\r\n";
    ScriptedServer first({{offer}, {ok("")}});
    ScriptedServer second({{offer}, {ok("")}});
    post("http://bob:pw@" + first.authority() + "/r/ReportSPL");
    post(second.url("/r/ReportSPL"));
    ASSERT_EQ(second.received().size(), 2u);
    EXPECT_EQ(second.received()[0].request,
              directHead("/r/ReportSPL", second.authority()) + smallBody);
    // base64("SPL:")
    EXPECT_EQ(second.received()[1].request,
              directHead("/r/ReportSPL", second.authority(), "Authorization: Basic U1BMOg==\r\n") +
                  smallBody);

    ScriptedServer server(
        {{offer}, {ok("<idReport>1</idReport>")}, {ok("<idReport>2</idReport>")}});
    files.put("c:\\spool\\00001.spl", "FACTURE");
    HttpTransport transport(files, clock);
    const UploadRequest request{"c:\\spool\\00001.spl", {}, "00001.spl", "07/12/2026", "V", 1};
    transport.send(request, {"http://bob:pw@" + server.authority() + "/r/", "", 80});
    transport.send(request, {server.url("/r/"), "", 80});
    const auto& got = server.received();
    ASSERT_EQ(got.size(), 3u);
    // base64("bob:pw")
    EXPECT_NE(got[1].request.find("Authorization: Basic Ym9iOnB3\r\n"), std::string::npos);
    EXPECT_EQ(got[2].request.find("Authorization"), std::string::npos) << got[2].request;
}

TEST_F(HttpClientTest, OtherAuthenticationSchemeFormsNoCredential) {
    ScriptedServer server(
        {{"HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Digest realm=x\r\n\r\n"}, {ok("")}});
    EXPECT_EQ(postFailing<HttpStatusError>(server.url("/r/ReportSPL")).statusCode(), 401);
    post(server.url("/r/ReportSPL"));
    EXPECT_EQ(server.received().at(1).request,
              directHead("/r/ReportSPL", server.authority()) + smallBody);
}

TEST_F(HttpClientTest, ProxyBasicOfferGivesAnEmptyProxyCredentialToLaterUploads) {
    ScriptedServer proxy({{"HTTP/1.0 407 Proxy Authentication Required\r\n"
                           "Proxy-Authenticate: Basic realm=\"proxy\"\r\n\r\n"},
                          {ok("")}});
    useProxy(proxy);
    EXPECT_EQ(postFailing<HttpStatusError>("http://h/r/ReportSPL").statusCode(), 407);
    post("http://h/r/ReportSPL");
    // base64(":")
    EXPECT_EQ(proxy.received().at(1).request,
              proxyHead("http://h/r/ReportSPL", "h", "Proxy-Authorization: Basic Og==\r\n") +
                  smallBody);
}

TEST_F(HttpClientTest, ProxyCredentialNeedsBasicAsTheFirstOffer) {
    ScriptedServer proxy({{"HTTP/1.0 407 Proxy Authentication Required\r\n"
                           "Proxy-Authenticate: NTLM\r\nProxy-Authenticate: Basic\r\n\r\n"},
                          {ok("")}});
    useProxy(proxy);
    EXPECT_EQ(postFailing<HttpStatusError>("http://h/r/ReportSPL").statusCode(), 407);
    post("http://h/r/ReportSPL");
    EXPECT_EQ(proxy.received().at(1).request, proxyHead("http://h/r/ReportSPL", "h") + smallBody);
}

TEST_F(HttpClientTest, CookiesSetByAnAnswerGoBackWithTheNextUploads) {
    const std::string setting = "HTTP/1.0 200 OK\r\n"
                                "Set-Cookie: session=abc; Path=/\r\n"
                                "Set-Cookie2: v2=\"two\"; Version=\"1\"\r\n"
                                "set-cookie: empty=\r\n"
                                "Set-Cookie: elsewhere=1; Domain=example.com\r\n"
                                "Set-Cookie: https=1; Secure\r\n"
                                "Set-Cookie: other=1; Path=/other/\r\n"
                                "Set-Cookie: gone=1; Expires=Sun, 06 Nov 1994 08:49:37 GMT\r\n"
                                "Set-Cookie: soon=1; Max-Age=3600\r\n"
                                "Content-Length: 0\r\n\r\n";
    const std::string changing = "HTTP/1.0 200 OK\r\n"
                                 "Set-Cookie: session=xyz; Path=/\r\n"
                                 "Set-Cookie: soon=1; Max-Age=0\r\n\r\n";
    ScriptedServer server({{setting}, {changing}, {ok("")}});
    const std::string url = server.url("/r/ReportSPL");
    post(url);
    post(url);
    post(url);
    const auto& got = server.received();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].request, directHead("/r/ReportSPL", server.authority()) + smallBody);
    EXPECT_EQ(got[1].request, directHead("/r/ReportSPL", server.authority(),
                                         "Cookie: session=abc; v2=\"two\"; soon=1\r\n") +
                                  smallBody);
    EXPECT_EQ(got[2].request, directHead("/r/ReportSPL", server.authority(),
                                         "Cookie: session=xyz; v2=\"two\"\r\n") +
                                  smallBody);
}

TEST_F(HttpClientTest, LongCookieHeaderIsFolded) {
    std::string setting = "HTTP/1.0 200 OK\r\n";
    for (char name = 'a'; name <= 'f'; ++name)
        setting += "Set-Cookie: " + std::string(1, name) + "=" + std::string(20, name) + "\r\n";
    ScriptedServer server({{setting + "\r\n"}, {ok("")}});
    post(server.url("/r/ReportSPL"));
    post(server.url("/r/ReportSPL"));
    const std::string a = std::string(20, 'a'), b = std::string(20, 'b'), c = std::string(20, 'c'),
                      d = std::string(20, 'd'), e = std::string(20, 'e'), f = std::string(20, 'f');
    EXPECT_EQ(server.received().at(1).request,
              directHead("/r/ReportSPL", server.authority(),
                         "Cookie: a=" + a + "; b=" + b + ";\r\n c=" + c + "; d=" + d + "; e=" + e +
                             ";\r\n f=" + f + "\r\n") +
                  smallBody);
}

TEST_F(HttpClientTest, EveryUploadOpensItsOwnConnectionEvenAfterKeepAlive) {
    ScriptedServer server({{"HTTP/1.0 200 OK\r\nConnection: Keep-Alive \r\n"
                            "Content-Length: 2\r\n\r\nok",
                            Then::KeepOpen},
                           {ok("second")}});
    const std::string url = server.url("/r/ReportSPL");
    EXPECT_EQ(post(url), "ok");
    EXPECT_TRUE(client.connected());
    EXPECT_EQ(post(url), "second");
    EXPECT_FALSE(client.connected());
    const auto& got = server.received();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(got[0].closedByClient);
    EXPECT_EQ(got[0].afterAnswer, "");
    EXPECT_EQ(got[1].request, directHead("/r/ReportSPL", server.authority()) + smallBody);
}

struct KeepCase {
    const char* name;
    std::string answer;
    Then then;
    bool stays;
};

class ConnectionAfterAnswer : public HttpClientTest,
                              public ::testing::WithParamInterface<KeepCase> {};

TEST_P(ConnectionAfterAnswer, StaysOpenOnlyWhenKeptAliveAndStillOpen) {
    ScriptedServer server({{GetParam().answer, GetParam().then}});
    std::string answer;
    try {
        post(server.url("/r/ReportSPL"), answer);
    } catch (const HttpStatusError&) {
        // The rule holds for failed exchanges too.
    }
    EXPECT_EQ(client.connected(), GetParam().stays);
    client.interrupt(); // the server sees the connection end
    EXPECT_EQ(server.problem(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ConnectionAfterAnswer,
    ::testing::Values(
        KeepCase{"KeepAlive",
                 "HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 0\r\n\r\n",
                 Then::KeepOpen, true},
        KeepCase{"ProxyKeepAlive",
                 "HTTP/1.0 200 OK\r\nProxy-Connection: KEEP-ALIVE\r\nContent-Length: 0\r\n\r\n",
                 Then::KeepOpen, true},
        KeepCase{"KeepAliveOnError",
                 "HTTP/1.0 500 No\r\nConnection: keep-alive\r\nContent-Length: 0\r\n\r\n",
                 Then::KeepOpen, true},
        KeepCase{"ServerClosed", "HTTP/1.0 200 OK\r\nConnection: keep-alive\r\n\r\nuntil close",
                 Then::Close, false},
        KeepCase{"Close", "HTTP/1.0 200 OK\r\nConnection: close\r\nContent-Length: 0\r\n\r\n",
                 Then::KeepOpen, false},
        KeepCase{"NoConnectionHeader", "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n",
                 Then::KeepOpen, false}),
    caseName);

TEST_F(HttpClientTest, ServerClosingBeforeTheStatusLineFails) {
    ScriptedServer server({{"", Then::Close}});
    const auto e = postFailing<Error>(server.url("/r/ReportSPL"));
    EXPECT_STREQ(e.what(), "Connection closed by the server.");
    EXPECT_FALSE(client.connected());
}

TEST_F(HttpClientTest, SilentServerEndsTheExchangeAtTheReadTimeLimit) {
    ScriptedServer server({{"", Then::Silent}});
    client.setReadTimeout(200ms);
    EXPECT_EQ(postFailing<SocketError>(server.url("/r/ReportSPL")).code(), timedOutCode);
    EXPECT_FALSE(client.connected());
    EXPECT_TRUE(server.received().at(0).closedByClient);
}

TEST_F(HttpClientTest, ConnectionThatIsNeverTakenEndsAtTheConnectTimeLimit) {
    // Once the queue of a listener that accepts nothing is full, connection requests hang.
    TcpListener listener(0);
    std::vector<TcpSocket> queued;
    for (int i = 0; i < 4; ++i) {
        try {
            queued.push_back(TcpSocket::connect("127.0.0.1", listener.port(), 200ms));
        } catch (const SocketError&) {
            break;
        }
    }
    client.setConnectTimeout(200ms);
    const std::string url = "http://127.0.0.1:" + std::to_string(listener.port()) + "/r/ReportSPL";
    EXPECT_EQ(postFailing<SocketError>(url).code(), timedOutCode);
}

TEST_F(HttpClientTest, RefusedConnectionIsASocketError) {
    std::uint16_t port;
    {
        TcpListener closedAgain;
        port = closedAgain.port();
    }
    const auto e = postFailing<SocketError>("http://127.0.0.1:" + std::to_string(port) + "/r/x");
    EXPECT_EQ(std::string(e.what()).rfind("Socket error " + std::to_string(e.code()) + ": ", 0),
              0u);
}

// An https address never falls back to plain HTTP: a server that answers the negotiation in
// plain text gets no byte of the request.
TEST_F(HttpClientTest, HttpsAddressSendsNothingToAServerWithoutTls) {
    for (const std::string scheme : {"https", "HTTPS"}) {
        TcpListener listener;
        std::string received;
        std::thread server([&] {
            try {
                TcpSocket peer = listener.accept(10s);
                char buffer[4096];
                received.append(buffer, peer.receive(buffer, sizeof buffer, 10s));
                peer.sendAll("HTTP/1.0 200 OK\r\n\r\n", 10s);
            } catch (const SocketError&) {
                // The client may have given up already.
            }
        });
        const auto e = postFailing<Error>(
            scheme + "://127.0.0.1:" + std::to_string(listener.port()) + "/ReportSPL");
        server.join();
        EXPECT_EQ(std::string(e.what()).rfind("Connexion sécurisée impossible : ", 0), 0u)
            << e.what();
        EXPECT_EQ(received.find("POST"), std::string::npos);
    }
}

TEST_F(HttpClientTest, BodyEndingBeforeItsLengthFailsWithNoDataToRead) {
    // A file that shrank after it was measured: 10 bytes announced, 3 there.
    files.put("c:\\spool\\00012.spl", "abc");
    files.setReportedSize("c:\\spool\\00012.spl", 10);
    auto form = std::make_unique<MultipartForm>(clock, files);
    form->addFile("00012.spl", "c:\\spool\\00012.spl", "multipart/form-data");
    ScriptedServer server({{ok("never")}});
    std::string answer;
    try {
        client.postMultipart(server.url("/r/ReportSPL"), *form, answer);
        FAIL() << "posted a short body";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "No data to read.");
    }
    EXPECT_EQ(answer, "");
    EXPECT_TRUE(server.received().at(0).closedByClient);
}

TEST_F(HttpClientTest, LargeFileArrivesWhole) {
    std::string content(200000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 31 % 256);
    files.put("c:\\spool\\big.spl", content);
    auto form = std::make_unique<MultipartForm>(clock, files);
    form->addText("JobID", "1");
    form->addFile("big.spl", "c:\\spool\\big.spl", "multipart/form-data");
    ScriptedServer server({{ok("done")}});
    std::string answer;
    client.postMultipart(server.url("/r/ReportSPL"), *form, answer);
    EXPECT_EQ(answer, "done");
    std::string body(static_cast<std::size_t>(form->size()), '\0');
    form->rewind();
    ASSERT_EQ(form->read(body.data(), body.size()), body.size());
    const std::string& request = server.received().at(0).request;
    EXPECT_EQ(request.substr(request.find("\r\n\r\n") + 4), body);
    EXPECT_NE(body.find(content), std::string::npos);
}

TEST_F(HttpClientTest, AddressWithoutHostGoesToThePreviousServer) {
    EXPECT_THROW(post("/r/ReportSPL"), Error);
    ScriptedServer server({{ok("")}, {ok("")}});
    post(server.url("/r/ReportSPL"));
    post("/other/ReportPDF?x=1");
    EXPECT_EQ(server.received().at(1).request,
              directHead("/other/ReportPDF?x=1", server.authority()) + smallBody);
}

// Answers that would grow the desk without end; each fails with the limit it passed.
struct UnboundedCase {
    std::string name;
    std::string answer;
    std::string reason;
};

std::string chunks(std::size_t count, std::size_t size) {
    std::string body;
    for (std::size_t i = 0; i < count; ++i)
        body += (std::ostringstream() << std::hex << size).str() + "\r\n" + std::string(size, 'c') +
                "\r\n";
    return body;
}

class UnboundedAnswer : public HttpClientTest,
                        public ::testing::WithParamInterface<UnboundedCase> {};

TEST_P(UnboundedAnswer, FailsAtItsLimit) {
    ScriptedServer server({{GetParam().answer}});
    const auto e = postFailing<Error>(server.url("/r/ReportSPL"));
    EXPECT_NE(std::string(e.what()).find(GetParam().reason), std::string::npos) << e.what();
    EXPECT_FALSE(client.connected());
}

const HttpAnswerLimits limits;
const std::string statusOk = "HTTP/1.0 200 OK\r\n";

INSTANTIATE_TEST_SUITE_P(
    HttpClientTest, UnboundedAnswer,
    ::testing::Values(UnboundedCase{"EndlessLine", statusOk + "X: " + std::string(limits.line, 'a'),
                                    "ligne de plus de 16384 octets"},
                      UnboundedCase{"LongHead",
                                    statusOk +
                                        [] {
                                            std::string lines;
                                            for (int i = 0; i < 80; ++i)
                                                lines += "X: " + std::string(1000, 'h') + "\r\n";
                                            return lines;
                                        }(),
                                    "en-tête de plus de 65536 octets"},
                      UnboundedCase{"EndlessChunks",
                                    statusOk + "Transfer-Encoding: chunked\r\n\r\n" +
                                        chunks(17, 1 << 20),
                                    "corps de plus de 16777216 octets"},
                      UnboundedCase{"EndlessBodyUntilClose",
                                    statusOk + "\r\n" + std::string(limits.body + 1, 'b'),
                                    "corps de plus de 16777216 octets"},
                      UnboundedCase{"EndlessContinues",
                                    [] {
                                        std::string heads;
                                        for (int i = 0; i <= limits.interimHeads; ++i)
                                            heads += "HTTP/1.1 100 Continue\r\nSet-Cookie: c" +
                                                     std::to_string(i) + "=v\r\n\r\n";
                                        return heads + ok("");
                                    }(),
                                    "plus de 20 r"}),
    caseName);

TEST_F(HttpClientTest, TricklingServerEndsAtTheExchangeLimit) {
    ScriptedServer server({{ok(std::string(100, 'x')), Then::Close, 20ms}});
    client.setExchangeLimit(300ms);
    const auto e = postFailing<Error>(server.url("/r/ReportSPL"));
    EXPECT_NE(std::string(e.what()).find("plus de 300 ms"), std::string::npos) << e.what();
}

TEST_F(HttpClientTest, AddressWithLineBreakIsRefusedBeforeConnecting) {
    TcpListener listener;
    const std::string url = "http://127.0.0.1:" + std::to_string(listener.port()) +
                            "/r/ReportSPL HTTP/1.0\r\nX-Injected: 1\r\nY: ";
    const auto e = postFailing<Error>(url);
    EXPECT_EQ(std::string(e.what()).rfind("Adresse du serveur refus", 0), 0u) << e.what();
    EXPECT_THROW(listener.accept(0ms), SocketError);
}

} // namespace
} // namespace quorva
