#include "upload/invoice_extraction.h"

#include "platform/error.h"
#include "platform/files.h"
#include "support/fakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorva {
namespace {

const std::string k30(30, ' ');

// Chassis number in columns 20 to 36, registration in columns 66 to 75.
std::string recordLine(const std::string& chassis, const std::string& registration) {
    std::string line = "CLIO V 1.0 TCE 90  " + chassis;
    line.resize(65, ' ');
    return line + registration + "     45210";
}

// An invoice as the management system prints it, in code page 850; each part can be changed.
struct Invoice {
    std::vector<std::string> leading{"ZENTOR AUTOMOBILES SAS          Concession agr\x82\x82"
                                     "e",
                                     "12, avenue de la R\x82publique", ""};
    std::string nameLine = k30 + "MR DUPONT JEAN-FRAN\x80OIS   ";
    std::vector<std::string> continuation{k30 + "14 RUE DES LILAS", k30 + "69100 VILLEURBANNE"};
    std::string documentLine = "FACTURE N\xF8 123456 DU 12/10/26              Page 1/1";
    std::vector<std::string> further{
        "", "Conseiller : M. PETIT     Client : 041125", std::string(80, '-'),
        "V\x82hicule           N\xF8 de s\x82rie                                  Immat.    Km"};
    std::string record = recordLine("VF15RBF0A12345678", "AB-123-CD");
    std::string trailing = std::string(80, '-') + "\r\n" + std::string(50, ' ') + "Total TTC\r\n\f";

    std::string text() const {
        std::string out;
        const auto line = [&out](const std::string& l) { out += l + "\r\n"; };
        std::for_each(leading.begin(), leading.end(), line);
        line(nameLine);
        std::for_each(continuation.begin(), continuation.end(), line);
        line(documentLine);
        std::for_each(further.begin(), further.end(), line);
        line(record);
        return out + trailing;
    }
};

class ExtractionTest : public ::testing::Test {
protected:
    std::optional<InvoiceFields> extract(const std::string& text) const {
        return extractInvoice(text, locale);
    }
    // The layout cases are written in the invoice's code page, like the invoice.
    std::wstring oem(const std::string& text) const { return locale.oemToWide(text); }
    std::optional<std::wstring> oem(const std::optional<std::string>& text) const {
        return text ? std::optional(oem(*text)) : std::nullopt;
    }
    FixedLocale locale;
};

TEST_F(ExtractionTest, NameNormalisation) {
    const std::string longName(1500, 'A');
    const std::pair<std::string, std::string> cases[] = {
        {"MR DUPONT JEAN", "M DUPONT JEAN"},
        {"MME MARTIN", "Mme MARTIN"},
        {"STE GARAGE DU NORD", "GARAGE DU NORD"},
        {"MRS LEE", "MRS LEE"},
        {"Mr Smith", "Mr Smith"},
        {"mme martin", "mme martin"},
        {"MR", "MR"},
        {"MME  DEUX ESPACES", "Mme  DEUX ESPACES"},
        {"STE MR X", "MR X"}, // the tests run in order, each once
        {"MR MME X", "M MME X"},
        {"MME L\xD4"
         "FEVRE H\x90L\xD4NE",
         "Mme L\xD4"
         "FEVRE H\x90L\xD4NE"},
        {"\t\x01MR TAB\x1f", "M TAB"}, // bytes up to 32 trimmed at both ends
        {"MR " + longName, "M " + longName.substr(0, 1000)},
        {"STE " + longName, longName.substr(0, 1000)},
        {longName, longName},
    };
    for (const auto& [written, expected] : cases) {
        SCOPED_TRACE(written.substr(0, 40));
        Invoice invoice;
        invoice.nameLine = k30 + written + "  ";
        const auto fields = extract(invoice.text());
        ASSERT_TRUE(fields);
        EXPECT_EQ(fields->name, oem(expected));
    }
}

TEST_F(ExtractionTest, DocumentNumber) {
    const std::pair<std::string, std::optional<std::wstring>> cases[] = {
        {"FACTURE N\xF8 123456", L"FA123456"},
        {"FACTURE N\xF8 12345 DU 12/10/14", L"FA12345 du 12/10/14"},
        {"FACTURE N\xF8 0001234 DU 12/10/2014", L"FA0001234 du 12/10/2"},
        {"AVOIR N\xF8"
         "12345",
         L"AV2345"},
        {"BON DE COMMANDE", std::nullopt},
        {"FACTURE No 123456", std::nullopt},
        {"FACTURE N\xB0 123456", std::nullopt}, // the Windows degree sign is not the marker
        {"   FACTURE N\xF8 42", L"FA42"},       // trimmed before the leading two are taken
        {"FACTURE N\xF8", L"FA"},
        {"FACTURE N\xF8:X\x90T\x90", L"FAx\u00e9t\u00e9"}, // lower-cased after conversion
        {"FA N\xF8 1 N\xF8 2", L"FA1 n\u00b0 2"},          // the first marker counts
    };
    for (const auto& [line, expected] : cases) {
        SCOPED_TRACE(line);
        Invoice invoice;
        invoice.documentLine = line;
        const auto fields = extract(invoice.text());
        ASSERT_TRUE(fields);
        EXPECT_EQ(fields->document, expected);
    }
}

TEST_F(ExtractionTest, RecordLineColumns) {
    struct Case {
        std::string record;
        std::string chassis;
        std::string registration;
    };
    const Case cases[] = {
        {recordLine("VF1MA000X56789012", "GH-456-JK"), "VF1MA000X56789012", "GH-456-JK"},
        {recordLine("  SHORT", " 1234 AB 69"), "SHORT", "1234 AB 6"},
        {recordLine("VF1MA000X567890123", "ABCDEFGHIJKL"), "VF1MA000X56789012", "ABCDEFGHIJ"},
        {std::string(19, ' ') + "VF1MA000X56789012" + std::string(20, ' ') + "X",
         "VF1MA000X56789012", ""},
        {"SHORT LINE", "", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.record);
        Invoice invoice;
        invoice.record = c.record;
        const auto fields = extract(invoice.text());
        ASSERT_TRUE(fields);
        EXPECT_EQ(fields->chassis, oem(c.chassis));
        EXPECT_EQ(fields->registration, oem(c.registration));
    }
}

TEST_F(ExtractionTest, LayoutVariantsThatAreFound) {
    struct Case {
        const char* what;
        Invoice invoice;
        std::string name;
        std::optional<std::string> document;
        std::string chassis;
    };
    std::vector<Case> cases;
    const auto add = [&cases](const char* what, auto change, std::string name,
                              std::optional<std::string> document, std::string chassis) {
        Invoice invoice;
        change(invoice);
        cases.push_back({what, invoice, std::move(name), std::move(document), std::move(chassis)});
    };
    const std::string dupont = "M DUPONT JEAN-FRAN\x80OIS";
    const std::string fa = "FA123456 du 12/10/26";
    const std::string vin = "VF15RBF0A12345678";
    add(
        "first line of 30 spaces is not the name line",
        [](Invoice& i) { i.leading.insert(i.leading.begin(), k30 + "FACTURE ATELIER"); }, dupont,
        fa, vin);
    add(
        "a 29-space line is not the name line",
        [](Invoice& i) { i.leading.push_back(std::string(29, ' ') + "X"); }, dupont, fa, vin);
    add(
        "name line of spaces only", [](Invoice& i) { i.nameLine = k30 + "   "; }, "", fa, vin);
    add(
        "continuation lines of exactly 8 spaces",
        [](Invoice& i) {
            i.continuation = {"        ZI DES \x90TANGS", "        38200 VIENNE"};
        },
        dupont, fa, vin);
    add(
        "no continuation line", [](Invoice& i) { i.continuation.clear(); }, dupont, fa, vin);
    add(
        "empty document line", [](Invoice& i) { i.documentLine.clear(); }, dupont, std::nullopt,
        vin);
    add(
        "empty line right after the name line",
        [](Invoice& i) {
            i.continuation.clear();
            i.documentLine.clear();
        },
        dupont, std::nullopt, vin);
    // A line of 7 spaces is the document line: the record line comes one line early.
    add(
        "7 spaces end the continuation lines",
        [](Invoice& i) { i.continuation = {"       7 ESPACES"}; }, dupont, std::nullopt,
        "N\xF8 de s\x82rie");
    add(
        "zero byte after the record line's CR LF",
        [](Invoice& i) { i.trailing = std::string("\0garbage", 8); }, dupont, fa, vin);
    add(
        "CR or LF alone inside lines",
        [](Invoice& i) {
            i.nameLine += "\rX\nY";
            i.further[1] += "\r";
        },
        "M DUPONT JEAN-FRAN\x80OIS   \rX\nY", fa, vin);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto fields = extract(c.invoice.text());
        ASSERT_TRUE(fields);
        EXPECT_EQ(fields->name, oem(c.name));
        EXPECT_EQ(fields->document, oem(c.document));
        EXPECT_EQ(fields->chassis, oem(c.chassis));
    }
}

TEST_F(ExtractionTest, LayoutVariantsThatAreNotFound) {
    std::vector<std::pair<const char*, std::string>> cases;
    const auto add = [&cases](const char* what, auto change) {
        Invoice invoice;
        change(invoice);
        cases.push_back({what, invoice.text()});
    };
    const std::string full = Invoice().text();
    cases.push_back({"empty text", ""});
    cases.push_back({"record line without CR LF", full.substr(0, full.find("45210\r\n") + 5)});
    // Without the continuation and total lines, which begin with 30 spaces too.
    const auto noNameLine = [&add](const char* what, const std::string& first,
                                   const std::string& name) {
        add(what, [&](Invoice& i) {
            i.leading = {first};
            i.nameLine = name;
            i.continuation.clear();
            i.trailing.clear();
        });
    };
    noNameLine("no line of 30 spaces", "ZENTOR", std::string(29, ' ') + "MR X");
    noNameLine("only the first line has 30 spaces", k30 + "MR X", "MR Y");
    add("zero byte in the leading lines", [](Invoice& i) { i.leading[0][5] = '\0'; });
    add("zero byte in the name line", [](Invoice& i) { i.nameLine += '\0'; });
    add("zero byte in a continuation line", [](Invoice& i) { i.continuation[1] += '\0'; });
    add("zero byte in the document line", [](Invoice& i) { i.documentLine[0] = '\0'; });
    add("zero byte in a further line", [](Invoice& i) { i.further[3] += '\0'; });
    add("zero byte in the record line", [](Invoice& i) { i.record[70] = '\0'; });
    add("zero byte between the record line's CR and LF", [](Invoice& i) {
        i.record += '\r';
        i.record += '\0';
    });
    add("fewer than five lines after the document line", [](Invoice& i) {
        i.further.pop_back();
        i.trailing.clear();
    });
    std::string lf = full;
    for (size_t at = lf.find("\r\n"); at != std::string::npos; at = lf.find("\r\n", at))
        lf.erase(at, 1);
    cases.push_back({"LF line ends", lf});
    cases.push_back({"continuation line without CR LF", "A\r\n" + k30 + "MR X\r\n        ZI"});
    for (const auto& [what, text] : cases) {
        SCOPED_TRACE(what);
        EXPECT_FALSE(extract(text));
    }
}

class ExtractIntoJobTest : public ::testing::Test {
protected:
    ExtractIntoJobTest() {
        job.customer = job.registration = job.chassis = job.document = L"before";
    }
    bool run(const std::string& text) { return extractIntoJob(job, text, locale); }
    std::vector<std::wstring> fields() const {
        return {job.customer, job.registration, job.chassis, job.document};
    }

    FixedLocale locale;
    Job job;
};

TEST_F(ExtractIntoJobTest, InvoiceFillsTheJob) {
    EXPECT_TRUE(run(Invoice().text()));
    // 0x80 is a C cedilla in the invoice's DOS code page.
    EXPECT_THAT(fields(), ::testing::ElementsAre(L"M DUPONT JEAN-FRAN\u00c7OIS", L"AB-123-CD",
                                                 L"VF15RBF0A12345678", L"FA123456 du 12/10/26"));
}

TEST_F(ExtractIntoJobTest, DocumentWithoutMarkerKeepsTheDocument) {
    Invoice invoice;
    invoice.documentLine = "BON DE COMMANDE";
    EXPECT_TRUE(run(invoice.text()));
    EXPECT_THAT(fields(), ::testing::ElementsAre(L"M DUPONT JEAN-FRAN\u00c7OIS", L"AB-123-CD",
                                                 L"VF15RBF0A12345678", L"before"));
}

TEST_F(ExtractIntoJobTest, OtherPrintJobIsLeftAlone) {
    EXPECT_FALSE(run(std::string("%!PS-Adobe-3.0\r\n\0\0\x1b", 20)));
    EXPECT_THAT(fields(), ::testing::Each(L"before"));
}

TEST(SampleSpoolFilesTest, ExtractTheirFields) {
    struct Case {
        const char* file;
        std::optional<InvoiceFields> expected;
    };
    const Case cases[] = {
        {"invoice-1.spl", InvoiceFields{L"M DUPONT JEAN-FRAN\u00c7OIS", L"AB-123-CD",
                                        L"VF15RBF0A12345678", L"FA123456 du 12/10/26"}},
        {"invoice-2.spl", InvoiceFields{L"Mme LEF\u00c8VRE H\u00c9L\u00c8NE", L"GH-456-JK",
                                        L"VF1MA000X56789012", L"FA200417 du 03/11/26"}},
        {"not-an-invoice.spl", std::nullopt},
    };
    FixedLocale locale;
    SystemFiles files;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const auto fields =
            extractInvoice(files.readShared(std::string(QUORVA_TEST_DATA) + "/" + c.file), locale);
        ASSERT_EQ(fields.has_value(), c.expected.has_value());
        if (!fields)
            continue;
        EXPECT_EQ(fields->name, c.expected->name);
        EXPECT_EQ(fields->registration, c.expected->registration);
        EXPECT_EQ(fields->chassis, c.expected->chassis);
        EXPECT_EQ(fields->document, c.expected->document);
    }
}

} // namespace
} // namespace quorva
