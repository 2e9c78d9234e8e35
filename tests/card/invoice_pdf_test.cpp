#include "card/invoice_pdf.h"

#include "platform/error.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

namespace quorva {
namespace {

using testkit::MemoryRegistry;
using testkit::RecordingShell;

constexpr const char* kCommandKey = "\\htmlfile\\shell\\open\\command";

RegistryValue text(const std::string& value, RegistryType type = RegistryType::String) {
    RegistryValue v;
    v.type = type;
    v.text = value;
    v.empty = value.empty();
    return v;
}

void setBrowserCommand(MemoryRegistry& registry, const RegistryValue& value) {
    registry.key(RegistryRoot::ClassesRoot, kCommandKey).values[""] = value;
}

TEST(pdfAddress, JoinsTheFourPiecesWithTheIdentifierEncoded) {
    EXPECT_EQ(
        pdfAddress("http://reports.local:8080/Quorva/", "123"),
        "http://reports.local:8080/Quorva/ReportPDF?rptSelect=idDocument=123&rptName=Facture");
    // Only the identifier is encoded: the setting stays as the user wrote it.
    EXPECT_EQ(pdfAddress("http://h/a b", "A-z.9_~ &c#d%=\xE9"),
              "http://h/a bReportPDF?rptSelect=idDocument=A-z.9_~%20%26c%23d%25%3D%E9"
              "&rptName=Facture");
}

struct ProgramCase {
    const char* command;
    const char* program;
};

class BrowserCommand : public ::testing::TestWithParam<ProgramCase> {};

TEST_P(BrowserCommand, ProgramIsBetweenTheFirstTwoQuotes) {
    EXPECT_EQ(browserProgram(GetParam().command), GetParam().program);
}

INSTANTIATE_TEST_SUITE_P(
    openUrlInBrowser, BrowserCommand,
    ::testing::Values(
        ProgramCase{"\"C:\\Program Files\\Web\\browser.exe\" -nohome -osint -url \"%1\"",
                    "C:\\Program Files\\Web\\browser.exe"},
        ProgramCase{"\"C:\\Web\\browser.exe\"", "C:\\Web\\browser.exe"},
        ProgramCase{"C:\\Web\\browser.exe -nohome", ""},
        ProgramCase{"\"C:\\Web\\browser.exe -nohome", ""},
        ProgramCase{"C:\\Web\\browser.exe \"%1\"", "%1"}, ProgramCase{"\"\" %1", ""},
        ProgramCase{"", ""}));

TEST(quotedArgument, OneArgumentWhateverTheText) {
    EXPECT_EQ(quotedArgument("http://h/a b&c#d"), "\"http://h/a b&c#d\"");
    EXPECT_EQ(quotedArgument("1\" --user-data-dir=/tmp/x \""),
              "\"1%22 --user-data-dir=/tmp/x %22\"");
    EXPECT_EQ(quotedArgument("a\r\nb\tc"), "\"a%0D%0Ab%09c\"");
    // Backslashes are literal inside, doubled only where they meet the closing quote.
    EXPECT_EQ(quotedArgument("C:\\x\\y"), "\"C:\\x\\y\"");
    EXPECT_EQ(quotedArgument("C:\\x\\\\"), "\"C:\\x\\\\\\\\\"");
    EXPECT_EQ(quotedArgument(""), "\"\"");
}

TEST(openUrlInBrowser, StartsTheQuotedProgramWithTheAddressAsItsOnlyArgument) {
    MemoryRegistry registry;
    RecordingShell shell;
    setBrowserCommand(registry, text("\"C:\\Web\\browser.exe\" -nohome \"%1\""));

    EXPECT_TRUE(openUrlInBrowser("http://h/ReportPDF?rptSelect=idDocument=123&rptName=Facture",
                                 registry, shell));
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].verb, "open");
    EXPECT_EQ(shell.calls[0].file, "C:\\Web\\browser.exe");
    EXPECT_EQ(shell.calls[0].parameters,
              "\"http://h/ReportPDF?rptSelect=idDocument=123&rptName=Facture\"");
    EXPECT_EQ(shell.calls[0].show, 5);
}

TEST(openUrlInBrowser, ExpandableStringTakenAsStored) {
    MemoryRegistry registry;
    RecordingShell shell;
    setBrowserCommand(registry,
                      text("\"%ProgramFiles%\\Web\\browser.exe\" %1", RegistryType::ExpandString));
    EXPECT_TRUE(openUrlInBrowser("http://h/", registry, shell));
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].file, "%ProgramFiles%\\Web\\browser.exe");
}

TEST(openUrlInBrowser, HostileReportIdStaysInsideTheAddress) {
    MemoryRegistry registry;
    RecordingShell shell;
    setBrowserCommand(registry, text("\"C:\\Web\\browser.exe\" %1"));
    const std::string url = pdfAddress("http://h/", "1\" --user-data-dir=/tmp/x \"");

    openUrlInBrowser(url, registry, shell);
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].parameters,
              "\"http://h/ReportPDF?rptSelect=idDocument=1%22%20--user-data-dir%3D%2Ftmp%2Fx%20"
              "%22&rptName=Facture\"");
}

TEST(openUrlInBrowser, ARefusedAddressIsToldWithoutItsPassword) {
    MemoryRegistry registry;
    RecordingShell shell;
    try {
        openUrlInBrowser("ftp://bob:secret@h/ReportPDF", registry, shell);
        ADD_FAILURE() << "the address was taken";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Adresse du PDF refusée : elle doit commencer par http:// ou "
                               "https:// (ftp://h/ReportPDF)");
    }
}

TEST(openUrlInBrowser, NothingStartsWithoutAUsableCommand) {
    struct Case {
        const char* what;
        std::optional<RegistryValue> value; // nothing: the key is missing
    };
    const Case cases[] = {
        {"key missing", std::nullopt},
        {"value empty", text("")},
        {"program not quoted", text("C:\\Web\\browser.exe -nohome %1")},
        {"one quote only", text("\"C:\\Web\\browser.exe -nohome %1")},
    };
    for (const Case& c : cases) {
        MemoryRegistry registry;
        RecordingShell shell;
        if (c.value)
            setBrowserCommand(registry, *c.value);
        EXPECT_FALSE(openUrlInBrowser("http://h/", registry, shell)) << c.what;
        EXPECT_TRUE(shell.calls.empty()) << c.what;
    }

    // The key is there but has no default value.
    MemoryRegistry registry;
    RecordingShell shell;
    registry.key(RegistryRoot::ClassesRoot, kCommandKey).values["other"] = text("\"x.exe\"");
    EXPECT_FALSE(openUrlInBrowser("http://h/", registry, shell));
    EXPECT_TRUE(shell.calls.empty());
    EXPECT_TRUE(registry.hasKey(RegistryRoot::ClassesRoot, kCommandKey));
}

TEST(openUrlInBrowser, NeverCreatesTheKey) {
    MemoryRegistry registry;
    RecordingShell shell;
    EXPECT_FALSE(openUrlInBrowser("http://h/", registry, shell));
    EXPECT_FALSE(registry.hasKey(RegistryRoot::ClassesRoot, kCommandKey));
}

TEST(openUrlInBrowser, NonTextValueIsAnError) {
    MemoryRegistry registry;
    RecordingShell shell;
    RegistryValue number;
    number.type = RegistryType::Dword;
    number.number = 1;
    setBrowserCommand(registry, number);
    try {
        openUrlInBrowser("http://h/", registry, shell);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Type de données incorrect pour ''");
    }
    EXPECT_TRUE(shell.calls.empty());
}

TEST(openInvoicePdf, OnlyAWebAddressReachesTheBrowser) {
    MemoryRegistry registry;
    setBrowserCommand(registry, text("\"C:\\Web\\browser.exe\" %1"));
    for (const char* serverUrl : {"--renderer-cmd-prefix=calc /", "file://c:/", "httpx://h/"}) {
        RecordingShell shell;
        try {
            openInvoicePdf(serverUrl, "1", registry, shell);
            ADD_FAILURE() << "opened " << serverUrl;
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Adresse du PDF refus", 0), 0u) << e.what();
        }
        EXPECT_TRUE(shell.calls.empty()) << serverUrl;
    }
    for (const char* serverUrl : {"HTTP://h/", "https://h/"}) {
        RecordingShell shell;
        openInvoicePdf(serverUrl, "1", registry, shell);
        EXPECT_EQ(shell.calls.size(), 1u) << serverUrl;
    }
}

TEST(openInvoicePdf, NeedsAServerUrl) {
    MemoryRegistry registry;
    setBrowserCommand(registry, text("\"C:\\Web\\browser.exe\" %1"));

    RecordingShell withoutUrl;
    openInvoicePdf("", "123", registry, withoutUrl);
    EXPECT_TRUE(withoutUrl.calls.empty());

    RecordingShell withUrl;
    openInvoicePdf("http://reports.local/", "123", registry, withUrl);
    ASSERT_EQ(withUrl.calls.size(), 1u);
    EXPECT_EQ(withUrl.calls[0].parameters,
              "\"http://reports.local/ReportPDF?rptSelect=idDocument=123&rptName=Facture\"");
}

} // namespace
} // namespace quorva
