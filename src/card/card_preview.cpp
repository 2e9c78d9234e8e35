#include "card/card_preview.h"

#include "capture/job_table.h"
#include "platform/date_format.h"
#include "platform/date_time.h"

namespace quorva {

namespace {

constexpr std::string_view kDateMarker = " du ";
constexpr size_t kDateTextLimit = 100;

} // namespace

std::string cardValidityText(const std::string& documentText, const Locale& locale,
                             const Clock& clock) {
    // Lower-casing keeps the length, so the position found in the copy holds in the cell text.
    const size_t marker = locale.lowerAnsi(documentText).find(kDateMarker);
    if (marker == std::string::npos)
        return {};
    const std::string dateText = documentText.substr(marker + kDateMarker.size(), kDateTextLimit);

    const DateTime now = clock.now();
    const DateTime documentDate = parseDate(dateText, locale, now).value_or(now);
    // One year on lands a day early after a 29 February, or on the 28th for a document dated
    // 29 February: move on to the document's day of the month, then step back one day.
    DateTime anniversary = addDays(documentDate, 365);
    while (anniversary.day != documentDate.day)
        anniversary = addDays(anniversary, 1);
    const DateTime validUntil = addDays(anniversary, -1);

    std::string text = formatPicture(validUntil, locale.shortDateFormat());
    if (!isMidnight(validUntil))
        text += " " + formatPicture(validUntil, locale.longTimeFormat());
    return text;
}

CardLabels cardLabelsForRow(const RowCells& cells, const Locale& locale, const Clock& clock) {
    CardLabels labels;
    labels.customer = locale.wideToAnsi(cells(colCustomer));
    labels.registration = locale.wideToAnsi(cells(colRegistration));
    labels.chassis = locale.wideToAnsi(cells(colChassis));
    labels.validity = cardValidityText(locale.wideToAnsi(cells(colDocument)), locale, clock);
    return labels;
}

JobPopupItems jobPopupItemsForRow(const RowCells& cells, const std::string& cardPrinter) {
    JobPopupItems items;
    items.loadPdf = !cells(colReportId).empty();
    items.printCard = !cardPrinter.empty() && !cells(colDocument).empty();
    return items;
}

} // namespace quorva
