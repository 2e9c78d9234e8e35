#include "card/card_preview.h"

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

CardLabels cardLabelsFor(const Job& job, const Locale& locale, const Clock& clock) {
    CardLabels labels;
    labels.customer = locale.wideToAnsi(job.customer);
    labels.registration = locale.wideToAnsi(job.registration);
    labels.chassis = locale.wideToAnsi(job.chassis);
    labels.validity = cardValidityText(locale.wideToAnsi(job.document), locale, clock);
    return labels;
}

JobPopupItems jobPopupItemsFor(const Job& job, const std::string& cardPrinter) {
    JobPopupItems items;
    items.loadPdf = !job.reportId.empty();
    items.printCard = !cardPrinter.empty() && !job.document.empty();
    return items;
}

} // namespace quorva
