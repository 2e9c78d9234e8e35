#pragma once

// What the card tab and the job grid's popup menu show for one job, kept apart from the window so
// that the rules can be checked without one.

#include "capture/job.h"
#include "platform/clock.h"
#include "platform/locale.h"

#include <string>

namespace quorva {

// The validity date printed on the card for a row's document text: the date that follows the
// first " du " (any case), one year on, less one day, in the short date format, with the long
// time after it when not midnight. A text after " du " that is not a date stands for now. Empty
// when the document text holds no " du ".
std::string cardValidityText(const std::string& documentText, const Locale& locale,
                             const Clock& clock);

// The four card labels, in the system's ANSI code page.
struct CardLabels {
    std::string customer;
    std::string registration;
    std::string chassis;
    std::string validity;

    bool operator==(const CardLabels&) const = default;
};

// The card for a job: name, registration and chassis as they stand, validity from the document
// text.
CardLabels cardLabelsFor(const Job& job, const Locale& locale, const Clock& clock);

// Which commands of the job grid's popup menu the selected job offers.
struct JobPopupItems {
    bool loadPdf = false;   // the job has a report identifier
    bool printCard = false; // a card printer is set and the job has a document text

    bool operator==(const JobPopupItems&) const = default;
};

JobPopupItems jobPopupItemsFor(const Job& job, const std::string& cardPrinter);

} // namespace quorva
