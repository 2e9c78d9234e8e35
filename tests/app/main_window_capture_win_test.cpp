// The capture in the main window under Wine: a spool file dropped into the watched folder is
// polled until it settles, its invoice fields fill the row, it is posted to the report server
// and the report identifier lands in the row.

#include "main_window_fixture.h"
#include "support/scripted_server.h"

#include <future>

namespace quorva {
namespace {

using testing::ScriptedExchange;
using testing::ScriptedServer;

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
    static int rowOf(const MainWindow& form, const wchar_t* name) {
        return form.jobTable.findByName(name);
    }
    static bool hasId(const MainWindow& form, const wchar_t* name) {
        const int row = rowOf(form, name);
        return row >= 0 && !form.jobTable.cell(colReportId, row).empty();
    }
    static bool logged(const MainWindow& form, const std::string& text) {
        for (int i = 0; i < form.eventList.count(); ++i) {
            if (form.eventList.item(i).find(text) != std::string::npos)
                return true;
        }
        return false;
    }
};

TEST_F(MainWindowCaptureTest, ASettledInvoiceIsExtractedUploadedOnceAndGetsItsId) {
    ScriptedServer server({{answerWithId("4711")}});
    const auto form =
        openOnSpool("NomURL=" + server.url("/KelbBin/Kelb.dll/") + "\r\nNomSite=ESSAI\r\n");
    drop("00031.SPL", sample("invoice-1.spl"));

    ASSERT_TRUE(pumpUntil(
        [&] {
            const int row = rowOf(*form, L"00031.spl");
            return row >= 0 && form->jobTable.cell(colReportId, row) == L"4711";
        },
        30000));
    const int row = rowOf(*form, L"00031.spl");
    // The invoice's DOS code page letters, in the grid and on the card.
    EXPECT_EQ(form->jobTable.cell(colCustomer, row), L"M DUPONT JEAN-FRAN\u00c7OIS");
    form->fillCardLabels(row);
    EXPECT_EQ(form->cardCustomerLabel.text(), "M DUPONT JEAN-FRANÇOIS");
    EXPECT_EQ(form->jobTable.cell(colRegistration, row), L"AB-123-CD");
    EXPECT_EQ(form->jobTable.cell(colChassis, row), L"VF15RBF0A12345678");
    EXPECT_EQ(form->jobTable.cell(colDocument, row), L"FA123456 du 12/10/26");
    EXPECT_EQ(form->jobTable.cell(colSteadyReadings, row), L"6");
    EXPECT_EQ(form->reportUpload.jobCounter(), 1);

    const auto& received = server.received();
    ASSERT_EQ(received.size(), 1u);
    const std::string& request = received[0].request;
    EXPECT_EQ(request.rfind("POST /KelbBin/Kelb.dll/ReportSPL HTTP/1.0\r\n", 0), 0u);
    EXPECT_NE(request.find("name=\"Site\"\r\n\r\nESSAI\r\n"), std::string::npos);
    EXPECT_NE(request.find("name=\"FileName\"\r\n\r\n00031.spl\r\n"), std::string::npos);
    EXPECT_NE(request.find(sample("invoice-1.spl")), std::string::npos);
    EXPECT_TRUE(boxes.boxes.empty());

    // Settled and done: the poll stops and the row is not uploaded again.
    EXPECT_TRUE(pumpUntil([&] { return !form->settlingTimer.enabled(); }, 5000));
    EXPECT_FALSE(form->settlingTimer.enabled());
}

TEST_F(MainWindowCaptureTest, AFileThatIsNotAnInvoiceIsLeftAloneAndNothingIsSent) {
    ScriptedServer server({});
    const auto form = openOnSpool("NomURL=" + server.url("/KelbBin/Kelb.dll/") + "\r\n");
    drop("00032.SPL", sample("not-an-invoice.spl"));

    ASSERT_TRUE(pumpUntil(
        [&] {
            const int row = rowOf(*form, L"00032.spl");
            return row >= 0 && form->jobTable.cell(colSteadyReadings, row) == L"6";
        },
        30000));
    const int row = rowOf(*form, L"00032.spl");
    for (int column = colCustomer; column <= colReportId; ++column)
        EXPECT_EQ(form->jobTable.cell(column, row), L"") << column;
    EXPECT_EQ(form->reportUpload.jobCounter(), 0);
    EXPECT_TRUE(server.received().empty());
}

// The server accepts and stays silent: the window goes on answering, the transfer fails, and the
// invoice is sent again, the same request byte for byte, with its possible double told.
TEST_F(MainWindowCaptureTest, ASilentServerNeitherFreezesTheWindowNorLosesTheInvoice) {
    ScriptedServer server({{"", ScriptedExchange::Then::Silent}, {answerWithId("4712")}});
    const auto form = openOnSpool("NomURL=" + server.url("/KelbBin/Kelb.dll/") + "\r\n");
    form->httpClient.setReadTimeout(std::chrono::seconds(3));
    drop("00034.SPL", sample("invoice-2.spl"));
    const auto state = [&] { return form->jobTable.cell(colState, rowOf(*form, L"00034.spl")); };
    ASSERT_TRUE(
        pumpUntil([&] { return rowOf(*form, L"00034.spl") >= 0 && !state().empty(); }, 30000));
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
    form->hoverRow = rowOf(*form, L"00034.spl");
    form->onResendItem();
    ASSERT_TRUE(
        pumpUntil([&] { return state() == L"envoy\u00e9e (peut-\u00eatre en double)"; }, 30000));
    EXPECT_EQ(form->jobTable.cell(colReportId, rowOf(*form, L"00034.spl")), L"4712");
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
            const int row = rowOf(*form, L"00031.spl");
            return row >= 0 && form->jobTable.cell(colState, row) == L"Envoy\u00e9e";
        },
        30000));
    form.reset();

    clock.set({2026, 12, 8, 9, 0, 0, 0});
    form = openOnSpool(settings);
    ASSERT_EQ(form->jobTable.rowCount(), 1);
    EXPECT_EQ(form->jobTable.cell(colCustomer, 0), L"M DUPONT JEAN-FRAN\u00c7OIS");
    EXPECT_EQ(form->jobTable.cell(colReportId, 0), L"4711");
    EXPECT_EQ(form->jobTable.cell(colState, 0), L"Envoy\u00e9e");
    EXPECT_EQ(form->jobTable.cell(colChangeTime, 0).substr(0, 10), L"07/12/2026");

    drop("00031.SPL", sample("invoice-2.spl"));
    ASSERT_TRUE(pumpUntil(
        [&] {
            return form->jobTable.rowCount() == 2 && form->jobTable.cell(colReportId, 1) == L"4713";
        },
        30000));
    EXPECT_EQ(form->jobTable.cell(colReportId, 0), L"4711");
    EXPECT_EQ(form->jobTable.cell(colCustomer, 1), L"Mme LEF\u00c8VRE H\u00c9L\u00c8NE");
}

TEST_F(MainWindowCaptureTest, TheHeartbeatAlternatesWhileThePollRuns) {
    const auto form = openOnSpool("NomURL=\r\n");
    EXPECT_EQ(form->heartbeatLabel.text(), "..");
    drop("00033.SPL", "x");
    std::vector<std::string> seen;
    pumpUntil(
        [&] {
            const std::string text = form->heartbeatLabel.text();
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
    EXPECT_EQ(form->reportUpload.jobCounter(), 0);
    EXPECT_TRUE(boxes.boxes.empty());

    ScriptedServer server({{answerWithId("4714")}});
    form->serverUrlEdit.setText(server.url("/KelbBin/Kelb.dll/"));
    form->onServerUrlEdited();
    write(std::string_view(invoice).substr(invoice.size() / 2));
    CloseHandle(writer);
    ASSERT_TRUE(pumpUntil([&] { return hasId(*form, L"00053.spl"); }, 30000));
    EXPECT_EQ(form->reportUpload.jobCounter(), 1);
    ASSERT_EQ(server.received().size(), 1u);
    EXPECT_NE(server.received()[0].request.find(invoice), std::string::npos);
}

TEST_F(MainWindowCaptureTest, KeptJobsAreNotSentAgainWhenABurstMakesTheFolderBeRescanned) {
    ScriptedServer server({{answerWithId("4712")}});
    drop("00050.SPL", sample("invoice-1.spl")); // printed and kept before this start
    const auto form = openOnSpool("NomURL=" + server.url("/KelbBin/Kelb.dll/") + "\r\n");

    // Written while this thread runs no messages, far more than one change buffer holds.
    drop("00051.SPL", sample("invoice-2.spl"));
    for (int i = 0; i < 500; ++i)
        drop("burst-" + std::to_string(i) + ".tmp", "x");
    ASSERT_TRUE(pumpUntil([&] { return hasId(*form, L"00051.spl"); }, 60000));
    ASSERT_TRUE(logged(*form, "Trop de changements : relecture du dossier"));
    EXPECT_TRUE(pumpUntil([&] { return !form->settlingTimer.enabled(); }, 30000));

    EXPECT_EQ(rowOf(*form, L"00050.spl"), -1);
    EXPECT_EQ(form->reportUpload.jobCounter(), 1);
    ASSERT_EQ(server.received().size(), 1u);
    EXPECT_NE(server.received()[0].request.find("00051.spl"), std::string::npos);
}

TEST_F(MainWindowCaptureTest, ALostSpoolFolderIsToldThenReadAgainWhenItComesBack) {
    const auto form = openOnSpool();
    const std::string lost = "Dossier du spouleur inaccessible : ";
    // Moved away, as a share that drops or a folder deleted: its path names nothing any more.
    std::filesystem::rename(spool, temp.file("spool-gone"));
    ASSERT_TRUE(pumpUntil([&] { return form->statusLabel.text().rfind(lost, 0) == 0; }, 20000))
        << form->statusLabel.text();
    EXPECT_GT(form->statusLabel.text().size(), lost.size()); // with the reason
    EXPECT_TRUE(logged(*form, lost));

    // Made again, with a job written while nothing watched it.
    ScriptedServer server({{answerWithId("4713")}});
    form->serverUrlEdit.setText(server.url("/KelbBin/Kelb.dll/"));
    form->onServerUrlEdited();
    std::filesystem::create_directory(spool);
    drop("00052.SPL", sample("invoice-1.spl"));
    ASSERT_TRUE(pumpUntil([&] { return hasId(*form, L"00052.spl"); }, 30000));
    EXPECT_EQ(form->statusLabel.text(), "");
    EXPECT_TRUE(logged(*form, "Dossier du spouleur de nouveau accessible"));
    EXPECT_EQ(server.received().size(), 1u);
}

} // namespace
} // namespace quorva
