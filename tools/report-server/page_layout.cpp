#include "report-server/page_layout.h"

#include "platform/cp850.h"
#include "platform/utf8.h"

namespace quorva::report {

namespace {

constexpr unsigned char lineFeed = 0x0A;
constexpr unsigned char formFeed = 0x0C;
constexpr unsigned char tab = 0x09;

class PageBuilder {
public:
    void add(unsigned char byte) {
        if (byte == lineFeed) {
            endLine();
        } else if (byte == formFeed) {
            endPage();
        } else if (byte == tab) {
            const std::size_t spaces = tabWidth - column_ % tabWidth;
            line_.append(spaces, ' ');
            column_ += spaces;
        } else if (byte >= 0x20 && byte != 0x7F) {
            appendUtf8(line_, cp850ToUnicode(byte));
            ++column_;
        }
    }

    std::vector<Page> finish() && {
        if (!line_.empty())
            endLine();
        if (pages_.size() > 1 && pages_.back().empty())
            pages_.pop_back();
        return std::move(pages_);
    }

private:
    void endLine() {
        // A full page is closed only when the next line arrives, so that a form feed right
        // after the 66th line does not leave a blank page.
        if (pages_.back().size() == linesPerPage)
            pages_.emplace_back();
        pages_.back().push_back(std::move(line_));
        line_.clear();
        column_ = 0;
    }

    void endPage() {
        if (!line_.empty())
            endLine();
        if (!pages_.back().empty())
            pages_.emplace_back();
    }

    std::vector<Page> pages_{1};
    std::string line_;
    std::size_t column_ = 0;
};

} // namespace

std::vector<Page> layoutPages(std::string_view cp850Text) {
    PageBuilder builder;
    for (const char c : cp850Text)
        builder.add(static_cast<unsigned char>(c));
    return std::move(builder).finish();
}

} // namespace quorva::report
