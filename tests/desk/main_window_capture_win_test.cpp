// The capture in the main window under Wine: a spool file dropped into the watched folder is
// polled until it settles, its invoice fields fill the row, it is posted to the report server
// and the report identifier lands in the row.

#include "main_window_fixture.h"
#include "store/job_store.h"
#include "store/outbox.h"
#include "store/sqlite.h"
#include "support/scripted_server.h"
#include "upload/http_transport.h"

#include <sqlite3.h>

#include <future>

namespace quorva {
namespace {

using testkit::ScriptedExchange;
using testkit::ScriptedServer;

std::string sample(const std::string& name) {
    std::ifstream file(std::string(QUORVA_TEST_DATA) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string answerWithId(const std::string& id) {
    const std::string body = "<Report><idReport>" + id + "</idReport></Report>";
    return "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

class MainWindowCaptureTest : public MainWindowFixture {
protected:
    void drop(const std::string& name, const std::string& bytes) {
        std::ofstream(spool + "\\" + name, std::ios::binary) << bytes;
    }
    // The job of this run named `name`; null while there is none.
    static const Job* named(MainWindow& form, const std::string& name) {
        const JobId id = form.jobs().findByName(name);
        return id == kNoJob ? nullptr : &form.jobs().at(id);
    }
    static bool hasId(MainWindow& form, const std::string& name) {
        const Job* job = named(form, name);
        return job != nullptr && !job->reportId.empty();
    }
    // What the grid shows of a job.
    std::wstring shown(const Job& job, JobColumn column) const {
        return jobCellText(job, column, locale);
    }
    static bool logged(MainWindow& form, const std::string& text) {
        const ListBox& events = form.spoolTab().events();
        for (int i = 0; i < events.count(); ++i) {
            if (events.item(i).find(text) != std::string::npos)
                return true;
        }
        return false;
    }
    // The request's job number, as the form field carries it.
    static std::string jobIdField(int number) {
        return "name=\"JobID\"\r\n\r\n" + std::to_string(number) + "\r\n";
    }
};

TEST_F(MainWindowCaptureTest, ASettledInvoiceIsExtractedUploadedOnceAndGetsItsId) {
    ScriptedServer server({{answerWithId("4711")}});
    const auto form =
        openOnSpool("NomURL=" + server.url("/KelbBin/Kelb.dll/") + "\r\nNomSite=ESSAI\r\n");
    drop("00031.SPL", sample("invoice-1.spl"));

    ASSERT_TRUE(pumpUntil(
        [&] {
            const Job* job = named(*form, "00031.spl");
            return job != nullptr && job->reportId == "4711";
        },
        30000));
    const Job& job = *named(*form, "00031.spl");
    // The invoice's DOS code page letters, in the grid and on the card.
    EXPECT_EQ(shown(job, JobColumn::Customer), L"M DUPONT JEAN-FRAN\u00c7OIS");
    form->showCard(form->jobs().findByName("00031.spl"));
    EXPECT_EQ(form->cardTab().customerLabel().text(), "M DUPONT JEAN-FRANÇOIS");
    EXPECT_EQ(shown(job, JobColumn::Registration), L"AB-123-CD");
    EXPECT_EQ(shown(job, JobColumn::Chassis), L"VF15RBF0A12345678");
    EXPECT_EQ(shown(job, JobColumn::Document), L"FA123456 du 12/10/26");
    EXPECT_TRUE(job.done());

    const auto& received = server.received();
    ASSERT_EQ(received.size(), 1u);
    const std::string& request = received[0].request;
    EXPECT_EQ(request.rfind("POST /KelbBin/Kelb.dll/ReportSPL HTTP/1.0\r\n", 0), 0u);
    EXPECT_NE(request.find("name=\"Site\"\r\n\r\nESSAI\r\n"), std::string::npos);
    EXPECT_NE(request.find("name=\"FileName\"\r\n\r\n00031.spl\r\n"), std::string::npos);
    EXPECT_NE(request.find(jobIdField(1)), std::string::npos);
    EXPECT_NE(request.find(sample("invoice-1.spl")), std::string::npos);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(MainWindowCaptureTest, AFileThatIsNotAnInvoiceIsLeftAloneAndNothingIsSent) {
    ScriptedServer server({});
    const auto form = openOnSpool("NomURL=" + server.url("/KelbBin/Kelb.dll/") + "\r\n");
    drop("00032.SPL", sample("not-an-invoice.spl"));

    ASSERT_TRUE(pumpUntil(
        [&] {
            const Job* job = named(*form, "00032.spl");
            return job != nullptr && job->done();
        },
        30000));
    const Job& job = *named(*form, "00032.spl");
    for (const JobColumn column : {JobColumn::Customer, JobColumn::Registration, JobColumn::Chassis,
                                   JobColumn::Document, JobColumn::ReportId})
        EXPECT_EQ(shown(job, column), L"") << static_cast<int>(column);
    EXPECT_TRUE(server.received().empty());
}

// The server accepts and stays silent: the window goes on answering, the transfer fails, and the
// invoice is sent again, the same request byte for byte, with its possible double told.
TEST_F(MainWindowCaptureTest, ASilentServerNeitherFreezesTheWindowNorLosesTheInvoice) {
    ScriptedServer server({{"", ScriptedExchange::Then::Silent}, {answerWithId("4712")}});
    makeTransport = [this] {
        auto transport = std::make_unique<HttpTransport>(files, clock);
        transport->client().setReadTimeout(std::chrono::seconds(3));
        return transport;
    };
    const auto form = openOnSpool("NomURL=" + server.url("/KelbBin/Kelb.dll/") + "\r\n");
    drop("00034.SPL", sample("invoice-2.spl"));
    const auto state = [&] {
        const Job* job = named(*form, "00034.spl");
        return job == nullptr ? std::wstring() : shown(*job, JobColumn::State);
    };
    ASSERT_TRUE(pumpUntil([&] { return !state().empty(); }, 30000));
    EXPECT_EQ(state(), L"En attente d'envoi");

    // Asked from another thread while the exchange hangs, the window answers.
    auto answered = std::async(std::launch::async, [&] {
        DWORD_PTR result = 0;
        return SendMessageTimeoutW(form->hwnd(), WM_NULL, 0, 0, SMTO_NORMAL, 100, &result) != 0;
    });
    ASSERT_TRUE(pumpUntil(
        [&] { return answered.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        5000));
    EXPECT_TRUE(answered.get());

    ASSERT_TRUE(pumpUntil([&] { return state().rfind(L"\u00c9chec : ", 0) == 0; }, 30000));
    EXPECT_NE(state().find(L" \u2014 nouvel essai \u00e0 14:05"), std::wstring::npos) << state();
    const JobId id = form->jobs().findByName("00034.spl");
    form->jobsTab().grid().selectJob(id);
    form->jobsTab().sendAgain();
    ASSERT_TRUE(
        pumpUntil([&] { return state() == L"envoy\u00e9e (peut-\u00eatre en double)"; }, 30000));
    EXPECT_EQ(named(*form, "00034.spl")->reportId, "4712");
    const auto& received = server.received();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].request, received[1].request);
}

// After a restart the job list shows the week's jobs; a new spool file of the same name (the
// spooler reuses numbers) starts a row of its own.
TEST_F(MainWindowCaptureTest, YesterdaysJobsShowAfterARestart) {
    ScriptedServer server({{answerWithId("4711")}, {answerWithId("4713")}});
    const std::string settings = "NomURL=" + server.url("/KelbBin/Kelb.dll/") + "\r\n";
    auto form = openOnSpool(settings);
    drop("00031.SPL", sample("invoice-1.spl"));
    ASSERT_TRUE(pumpUntil(
        [&] {
            const Job* job = named(*form, "00031.spl");
            return job != nullptr && shown(*job, JobColumn::State) == L"Envoy\u00e9e";
        },
        30000));
    form.reset();

    clock.set({2026, 12, 8, 9, 0, 0, 0});
    form = openOnSpool(settings);
    const JobList& jobs = form->jobs();
    ASSERT_EQ(jobs.size(), 1);
    EXPECT_EQ(shown(jobs.at(0), JobColumn::Customer), L"M DUPONT JEAN-FRAN\u00c7OIS");
    EXPECT_EQ(jobs.at(0).reportId, "4711");
    EXPECT_EQ(shown(jobs.at(0), JobColumn::State), L"Envoy\u00e9e");
    EXPECT_EQ(shown(jobs.at(0), JobColumn::ChangeTime).substr(0, 10), L"07/12/2026");

    drop("00031.SPL", sample("invoice-2.spl"));
    ASSERT_TRUE(
        pumpUntil([&] { return jobs.size() == 2 && jobs.at(1).reportId == "4713"; }, 30000));
    EXPECT_EQ(jobs.at(0).reportId, "4711");
    EXPECT_EQ(shown(jobs.at(1), JobColumn::Customer), L"Mme LEF\u00c8VRE H\u00c9L\u00c8NE");
}

TEST_F(MainWindowCaptureTest, TheHeartbeatAlternatesWhileThePollRuns) {
    const auto form = openOnSpool("NomURL=\r\n");
    const Label& heartbeat = form->jobsTab().heartbeat();
    EXPECT_EQ(heartbeat.text(), "..");
    drop("00033.SPL", "x");
    std::vector<std::string> seen;
    pumpUntil(
        [&] {
            const std::string text = heartbeat.text();
            if (seen.empty() || seen.back() != text)
                seen.push_back(text);
            return seen.size() >= 4;
        },
        10000);
    ASSERT_GE(seen.size(), 4u);
    EXPECT_EQ(seen[0], "..");
    EXPECT_EQ(seen[1], "...");
    EXPECT_EQ(seen[2], "..");
    EXPECT_EQ(seen[3], "...");
}

TEST_F(MainWindowCaptureTest, AJobHeldOpenThroughAPauseIsSentOnceWhole) {
    const auto form = openOnSpool();
    const std::string invoice = sample("invoice-1.spl");
    const std::string path = spool + "\\00053.SPL";
    // Written the way the spooler writes: others may read, none may write.
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    const auto write = [&](std::string_view bytes) {
        DWORD written = 0;
        EXPECT_TRUE(
            WriteFile(writer, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    };
    write(std::string_view(invoice).substr(0, invoice.size() / 2));
    pumpFor(5000); // longer than a file takes to settle
    const Job* job = named(*form, "00053.spl");
    ASSERT_NE(job, nullptr);
    EXPECT_EQ(job->storeKey, 0) << "recorded while its writer held it";
    EXPECT_TRUE(boxes.boxes.empty());

    ScriptedServer server({{answerWithId("4714")}});
    changeServerUrl(server.url("/KelbBin/Kelb.dll/"));
    write(std::string_view(invoice).substr(invoice.size() / 2));
    CloseHandle(writer);
    ASSERT_TRUE(pumpUntil([&] { return hasId(*form, "00053.spl"); }, 30000));
    ASSERT_EQ(server.received().size(), 1u);
    EXPECT_NE(server.received()[0].request.find(invoice), std::string::npos);
    EXPECT_NE(server.received()[0].request.find(jobIdField(1)), std::string::npos);
}

TEST_F(MainWindowCaptureTest, KeptJobsAreNotSentAgainWhenABurstMakesTheFolderBeRescanned) {
    ScriptedServer server({{answerWithId("4712")}});
    drop("00050.SPL", sample("invoice-1.spl")); // printed and kept before this start
    const auto form = openOnSpool("NomURL=" + server.url("/KelbBin/Kelb.dll/") + "\r\n");

    // Written while this thread runs no messages, far more than one change buffer holds.
    drop("00051.SPL", sample("invoice-2.spl"));
    for (int i = 0; i < 500; ++i)
        drop("burst-" + std::to_string(i) + ".tmp", "x");
    ASSERT_TRUE(pumpUntil([&] { return hasId(*form, "00051.spl"); }, 60000));
    ASSERT_TRUE(logged(*form, "Trop de changements : relecture du dossier"));
    pumpFor(3000); // long enough for a kept job to settle and go, which it must not

    EXPECT_EQ(named(*form, "00050.spl"), nullptr);
    ASSERT_EQ(server.received().size(), 1u);
    EXPECT_NE(server.received()[0].request.find("00051.spl"), std::string::npos);
    EXPECT_NE(server.received()[0].request.find(jobIdField(1)), std::string::npos);
}

TEST_F(MainWindowCaptureTest, ALostSpoolFolderIsToldThenReadAgainWhenItComesBack) {
    const auto form = openOnSpool();
    const std::string lost = "Dossier du spouleur inaccessible : ";
    // Moved away, as a share that drops or a folder deleted: its path names nothing any more.
    std::filesystem::rename(spool, temp.file("spool-gone"));
    const Label& status = form->jobsTab().statusLine();
    ASSERT_TRUE(pumpUntil([&] { return status.text().rfind(lost, 0) == 0; }, 20000))
        << status.text();
    EXPECT_GT(status.text().size(), lost.size()); // with the reason
    EXPECT_TRUE(logged(*form, lost));

    // Made again, with a job written while nothing watched it; meanwhile the machine's server
    // address changed, which the capture takes without a restart.
    ScriptedServer server({{answerWithId("4713")}});
    changeServerUrl(server.url("/KelbBin/Kelb.dll/"));
    std::filesystem::create_directory(spool);
    drop("00052.SPL", sample("invoice-1.spl"));
    ASSERT_TRUE(pumpUntil([&] { return hasId(*form, "00052.spl"); }, 30000));
    // The folder's loss no longer takes the line: the server's state is back on it.
    EXPECT_TRUE(pumpUntil([&] { return status.text() == "Serveur joignable"; })) << status.text();
    EXPECT_TRUE(logged(*form, "Dossier du spouleur de nouveau accessible"));
    EXPECT_EQ(server.received().size(), 1u);
}

// Another program holds the job store: the status line says why capture waits, and an invoice
// printed meanwhile goes once the store is free.
TEST_F(MainWindowCaptureTest, AStoreHeldByAnotherProgramHoldsCaptureBackUntilItIsFree) {
    ScriptedServer server({{answerWithId("4716")}});
    std::filesystem::create_directories(dataFolder);
    JobStore(dataFolder + "\\quorva.db").markWatched(clock.now());
    auto holder =
        std::make_unique<sqlite::Database>(dataFolder + "\\quorva.db", SQLITE_OPEN_READWRITE, "");
    holder->exec("BEGIN IMMEDIATE");
    const auto form = openOnSpool("NomURL=" + server.url("/KelbBin/Kelb.dll/") + "\r\n");
    const Label& status = form->jobsTab().statusLine();
    ASSERT_TRUE(pumpUntil(
        [&] { return status.text().find("occupée par un autre programme") != std::string::npos; },
        20000))
        << status.text();

    drop("00070.SPL", sample("invoice-1.spl"));
    holder.reset();
    ASSERT_TRUE(pumpUntil([&] { return hasId(*form, "00070.spl"); }, 30000));
    EXPECT_EQ(server.received().size(), 1u);
}

// The machine's proxy is given to the sender before it starts: the job the last run left waiting
// goes out through it too. The scripted server is the proxy; the report server's name
// resolves nowhere, so only the proxy can carry the request.
TEST_F(MainWindowCaptureTest, AJobLeftWaitingByTheLastRunGoesThroughTheProxy) {
    ScriptedServer proxy({{answerWithId("4715")}});
    {
        const std::string& data = dataFolder;
        std::filesystem::create_directories(data + "\\outbox");
        JobStore store(data + "\\quorva.db");
        // The copy as the capture keeps it.
        const std::string copy =
            Outbox(files, data + "\\outbox")
                .keep(sample("invoice-1.spl"), "00060.spl", "07/12/2026", clock.now(), store)
                .path;
        StoredJob job;
        job.spoolName = "00060.spl";
        job.spoolPath = spool + "\\00060.spl";
        job.capturedAt = clock.now();
        job.printDate = "07/12/2026";
        job.site = "VERNO";
        job.jobNumber = 1;
        job.copyPath = copy;
        store.add(job);
    }
    proxyHost = "127.0.0.1";
    proxyPort = proxy.port();
    const auto form = openOnSpool("NomURL=http://rapports.invalid/KelbBin/Kelb.dll/\r\n");

    const JobList& jobs = form->jobs();
    ASSERT_TRUE(
        pumpUntil([&] { return jobs.size() == 1 && jobs.at(0).reportId == "4715"; }, 30000));
    ASSERT_EQ(proxy.received().size(), 1u);
    EXPECT_EQ(proxy.received()[0].request.rfind(
                  "POST http://rapports.invalid/KelbBin/Kelb.dll/ReportSPL HTTP/1.0\r\n", 0),
              0u);
    EXPECT_TRUE(boxes.boxes.empty());
}

} // namespace
} // namespace quorva
