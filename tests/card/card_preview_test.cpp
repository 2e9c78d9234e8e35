#include "card/card_preview.h"

#include "capture/job.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <vector>

namespace quorva {
namespace {

using testkit::ManualClock;

struct ValidityCase {
    const char* documentText;
    const char* expected;
};

// Today is 7 December 2026, 14:05:09 (the fake clock's default): two-digit years fall in
// 1976-2075 and a date written without a year is in 2026.
class DayMonthYear : public ::testing::TestWithParam<ValidityCase> {};

TEST_P(DayMonthYear, ValidityText) {
    const FixedLocale locale; // dd/MM/yyyy, "/", HH:mm:ss
    const ManualClock clock;
    EXPECT_EQ(cardValidityText(GetParam().documentText, locale, clock), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    CardValidity, DayMonthYear,
    ::testing::Values(
        // One year on, less a day; a leap day on the way moves the start one day back.
        ValidityCase{"FACTURE N 4512 du 12/03/2014", "11/03/2015"},
        ValidityCase{"FACTURE N 4512 du 12/01/2016", "11/01/2017"},
        ValidityCase{"FACTURE N 4512 du 01/03/2015", "29/02/2016"},
        ValidityCase{"FACTURE N 4512 du 29/02/2016", "28/03/2017"},
        ValidityCase{"FACTURE N 4512 du 31/12/2014", "30/12/2015"},
        // The marker in any case.
        ValidityCase{"FACTURE N 4512 DU 12/03/2014", "11/03/2015"},
        ValidityCase{"Facture N 4512 Du 12/03/2014", "11/03/2015"},
        // Two-digit years fall in the hundred years from 1976.
        ValidityCase{"Facture du 12/03/14", "11/03/2015"},
        ValidityCase{"Facture du 12/03/76", "11/03/1977"},
        ValidityCase{"Facture du 12/03/75", "11/03/2076"},
        ValidityCase{"Facture du 1/3/5", "28/02/2006"},
        // Day and month only: this year.
        ValidityCase{"Facture du 12/03", "11/03/2027"},
        // Spaces around the numbers, at the end, one trailing separator.
        ValidityCase{"Facture du 12/03/2014   ", "11/03/2015"},
        ValidityCase{"Facture du  12 / 03 / 2014", "11/03/2015"},
        ValidityCase{"Facture du 12/03/2014/", "11/03/2015"},
        ValidityCase{"Facture du 12/03/", "11/03/2027"},
        // The first " du " counts, the date is cut at 100 characters.
        ValidityCase{"Avoir du 12/03/2014 du 01/01/2015", "06/12/2027 14:05:09"},
        // Not a date: one year from now, with the time.
        ValidityCase{"Facture du ", "06/12/2027 14:05:09"},
        ValidityCase{"Facture du 12/03/2014 page 1", "06/12/2027 14:05:09"},
        ValidityCase{"Facture du 12/03/2014\t", "06/12/2027 14:05:09"},
        ValidityCase{"Facture du 12/03/2014//", "06/12/2027 14:05:09"},
        ValidityCase{"Facture du 12/03/20145", "06/12/2027 14:05:09"},
        ValidityCase{"Facture du 31/02/2014", "06/12/2027 14:05:09"},
        ValidityCase{"Facture du 12", "06/12/2027 14:05:09"},
        ValidityCase{"Facture du 12.03.2014", "06/12/2027 14:05:09"},
        // No " du ": no validity.
        ValidityCase{"Facture 12/03/2014", ""}, ValidityCase{"du 12/03/2014", ""},
        ValidityCase{"Facture du\t12/03/2014", ""}, ValidityCase{"Facture dudu 12/03/2014", ""},
        ValidityCase{"", ""}));

TEST(CardValidity, ReadsAtMostOneHundredCharactersAfterTheMarker) {
    const FixedLocale locale;
    const ManualClock clock;
    const std::string date = "12/03/2014";
    // Ninety spaces bring the date text to exactly 100 characters; what follows is not read.
    EXPECT_EQ(
        cardValidityText("Facture du " + date + std::string(90, ' ') + "page 2", locale, clock),
        "11/03/2015");
    EXPECT_EQ(
        cardValidityText("Facture du " + date + std::string(89, ' ') + "page 2", locale, clock),
        "06/12/2027 14:05:09");
}

TEST(CardValidity, FallbackAtMidnightShowsNoTime) {
    const FixedLocale locale;
    const ManualClock clock({2026, 12, 7, 0, 0, 0, 0});
    EXPECT_EQ(cardValidityText("Facture du ?", locale, clock), "06/12/2027");
}

TEST(CardValidity, FallbackOnALeapDayRunsToTheTwentyNinthOfMarch) {
    const FixedLocale locale;
    const ManualClock clock({2028, 2, 29, 10, 30, 0, 500});
    EXPECT_EQ(cardValidityText("Facture du", locale, clock), "");
    EXPECT_EQ(cardValidityText("Facture du -", locale, clock), "28/03/2029 10:30:00");
}

TEST(CardValidity, MonthFirstFormat) {
    const FixedLocale locale("MM/dd/yyyy", "/", "h:mm:ss tt");
    const ManualClock clock;
    EXPECT_EQ(cardValidityText("Invoice du 03/12/2014", locale, clock), "03/11/2015");
    EXPECT_EQ(cardValidityText("Invoice du 02/29/2016", locale, clock), "03/28/2017");
    EXPECT_EQ(cardValidityText("Invoice du 03/12", locale, clock), "03/11/2027");
    EXPECT_EQ(cardValidityText("Invoice du 13/03/2014", locale, clock), "12/06/2027 2:05:09 PM");
}

TEST(CardValidity, YearFirstFormatWithDashes) {
    const FixedLocale locale("yyyy-MM-dd", "-", "HH:mm:ss");
    const ManualClock clock;
    EXPECT_EQ(cardValidityText("Facture du 2014-03-12", locale, clock), "2015-03-11");
    EXPECT_EQ(cardValidityText("Facture du 14-03-12", locale, clock), "2015-03-11");
    // Two numbers are month and day.
    EXPECT_EQ(cardValidityText("Facture du 03-12", locale, clock), "2027-03-11");
    EXPECT_EQ(cardValidityText("Facture du 2014-03-12 -", locale, clock), "2015-03-11");
    // The slash is not this format's separator.
    EXPECT_EQ(cardValidityText("Facture du 2014/03/12", locale, clock), "2027-12-06 14:05:09");
}

TEST(CardValidity, MarkerFoundWithTheCodePageLowerCasing) {
    // A Windows-1252 capital before the marker keeps its byte position when lower-cased.
    const FixedLocale locale;
    const ManualClock clock;
    EXPECT_EQ(cardValidityText("R\xC9GL\xC9 DU 12/03/2014", locale, clock), "11/03/2015");
}

Job jobWith(const std::wstring& customer, const std::wstring& document,
            const std::string& reportId = {}) {
    Job job;
    job.spoolName = "00012.spl";
    job.customer = customer;
    job.document = document;
    job.reportId = reportId;
    return job;
}

TEST(CardLabels, FilledFromTheJob) {
    const FixedLocale locale;
    const ManualClock clock;
    Job job = jobWith(L"M. L\u00C9GER Andr\u00E9", L"FACTURE N\u00B0 4512 du 12/03/2014", "77");
    job.registration = L"AB-123-CD";
    job.chassis = L"XZ9ZZZ00000000042";
    const CardLabels expected{"M. L\xC9GER Andr\xE9", "AB-123-CD", "XZ9ZZZ00000000042",
                              "11/03/2015"};
    EXPECT_EQ(cardLabelsFor(job, locale, clock), expected);
    const CardLabels withoutDate{"DURAND", "", "", ""};
    EXPECT_EQ(cardLabelsFor(jobWith(L"DURAND", L"FACTURE 4512"), locale, clock), withoutDate);
}

struct PopupCase {
    const wchar_t* document;
    const char* reportId;
    const char* cardPrinter;
    JobPopupItems expected;
};

class PopupItems : public ::testing::TestWithParam<PopupCase> {};

TEST_P(PopupItems, EnabledByTheJobAndTheCardPrinter) {
    const PopupCase& c = GetParam();
    EXPECT_EQ(jobPopupItemsFor(jobWith(L"", c.document, c.reportId), c.cardPrinter), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    JobPopup, PopupItems,
    ::testing::Values(PopupCase{L"FACTURE du 12/03/2014", "77", "Carte", {true, true}},
                      PopupCase{L"FACTURE du 12/03/2014", "", "Carte", {false, true}},
                      PopupCase{L"", "77", "Carte", {true, false}},
                      PopupCase{L"FACTURE du 12/03/2014", "77", "", {true, false}},
                      PopupCase{L"", "", "", {false, false}}));

} // namespace

void PrintTo(const CardLabels& labels, std::ostream* out) {
    *out << '{' << labels.customer << " | " << labels.registration << " | " << labels.chassis
         << " | " << labels.validity << '}';
}

void PrintTo(const JobPopupItems& items, std::ostream* out) {
    *out << "{pdf=" << items.loadPdf << " card=" << items.printCard << '}';
}

} // namespace quorva
