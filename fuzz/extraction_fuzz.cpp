// Any bytes as a spool file's text: extraction never reads outside it, and what it finds fits
// the fields' widths.

#include "upload/invoice_extraction.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const quorva::FixedLocale locale;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto fields = quorva::extractInvoice(text, locale);
    if (fields && (fields->registration.size() > 10 || fields->chassis.size() > 17 ||
                   (fields->document && fields->document->size() > 20) ||
                   fields->name.size() > size || text.find('\0') < 32))
        std::abort();
    return 0;
}
