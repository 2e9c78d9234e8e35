#pragma once

#include "report-server/page_layout.h"

#include <string>
#include <vector>

namespace quorva::report {

// One A4 portrait PDF page per layout page, lines in a monospaced font (DejaVu Sans Mono,
// 9.5 pt, smaller when the widest line would not fit the width). Returns the PDF's bytes;
// throws std::runtime_error when cairo fails.
std::string renderPdf(const std::vector<Page>& pages, const std::string& title);

} // namespace quorva::report
