#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorva::report {

// A printed invoice is plain text for a line printer: CP850 bytes, lines ended by CR LF, a form
// feed (0x0C) ending a page, 66 lines filling one.
inline constexpr std::size_t linesPerPage = 66;
inline constexpr std::size_t tabWidth = 8;

// The lines of one page, in UTF-8.
using Page = std::vector<std::string>;

// Splits the printed text into pages of lines. An LF ends a line, a CR is dropped, a tab moves
// to the next multiple of eight columns, other control bytes are ignored; a form feed ends the
// current page unless nothing is on it yet, so a feed after a full page adds no blank page.
// Always yields at least one page.
std::vector<Page> layoutPages(std::string_view cp850Text);

} // namespace quorva::report
