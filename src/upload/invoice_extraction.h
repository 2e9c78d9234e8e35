#pragma once

// Reading an invoice out of a settled spool file. The dealer management system prints its
// invoices as plain text in a DOS code page; the fields stand at fixed places of a fixed layout,
// which is all that tells an invoice apart from any other print job.

#include "capture/job.h"
#include "platform/locale.h"

#include <optional>
#include <string>
#include <string_view>

namespace quorva {

// The fields as UTF-16 text. They are found by bytes, at the layout's byte positions, and then
// converted from the invoice's DOS (OEM) code page, so that names keep their real letters.
struct InvoiceFields {
    std::wstring name;         // customer name, "MR "/"MME "/"STE " prefixes normalised
    std::wstring registration; // columns 66 to 75 of the record line, trimmed
    std::wstring chassis;      // columns 20 to 36 of the record line, trimmed
    // The first two characters of the document line and what follows its number marker
    // (" N" and the degree sign 0xF8, one separator), lower-cased; nothing without the marker.
    std::optional<std::wstring> document;
};

// The invoice's fields, or nothing when the text lacks the invoice layout. Nothing behind the
// first zero byte is ever looked at; the text is read only up to the end of the record line.
std::optional<InvoiceFields> extractInvoice(std::string_view text, const Locale& locale);

// When `text` holds an invoice, writes its name, registration and chassis into the job and, when
// the document line has its number marker, its document, and returns true. Without the layout
// nothing is written.
bool extractIntoJob(Job& job, std::string_view text, const Locale& locale);

} // namespace quorva
