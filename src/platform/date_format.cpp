#include "platform/date_format.h"

#include <array>
#include <cstdio>

namespace quorva {

namespace {

// At least `width` digits, zeros in front.
std::string padded(int value, int width) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
    return buffer;
}

size_t runLength(std::string_view text, size_t pos) {
    size_t n = 1;
    while (pos + n < text.size() && text[pos + n] == text[pos])
        ++n;
    return n;
}

// The number that a picture letter other than 't' stands for.
int fieldNumber(char letter, const DateTime& v) {
    switch (letter) {
    case 'd':
        return v.day;
    case 'M':
        return v.month;
    case 'y':
        return v.year % 100;
    case 'H':
        return v.hour;
    case 'h':
        return v.hour % 12 == 0 ? 12 : v.hour % 12;
    case 'm':
        return v.minute;
    default: // 's'
        return v.second;
    }
}

// `letter` is one of d M y H h m s t, repeated `count` times.
void appendField(std::string& out, char letter, size_t count, const DateTime& v) {
    if (letter == 't')
        out += count >= 2 ? (v.hour < 12 ? "AM" : "PM") : (v.hour < 12 ? "A" : "P");
    else if (letter == 'y' && count >= 3)
        out += padded(v.year, 4);
    else // one letter: the number as it is; a run of two or more: two digits at least
        out += padded(fieldNumber(letter, v), count >= 2 ? 2 : 1);
}

enum class Order { DayMonthYear, MonthDayYear, YearMonthDay };

Order dateOrder(std::string_view format) {
    for (char c : format) {
        switch (c) {
        case 'd':
        case 'D':
            return Order::DayMonthYear;
        case 'm':
        case 'M':
            return Order::MonthDayYear;
        case 'y':
        case 'Y':
        case 'e':
        case 'E':
            return Order::YearMonthDay;
        default:
            break;
        }
    }
    return Order::MonthDayYear;
}

// A left-to-right reader over the text being parsed.
class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    void skipSpaces() {
        while (pos_ < text_.size() && text_[pos_] == ' ')
            ++pos_;
    }
    bool atEnd() const { return pos_ >= text_.size(); }
    bool take(std::string_view token) {
        if (token.empty() || text_.substr(pos_, token.size()) != token)
            return false;
        pos_ += token.size();
        return true;
    }
    bool takeIgnoringCase(std::string_view token) {
        if (text_.size() - pos_ < token.size())
            return false;
        for (size_t i = 0; i < token.size(); ++i) {
            const char a = text_[pos_ + i];
            const char lower = (a >= 'a' && a <= 'z') ? static_cast<char>(a - 32) : a;
            if (lower != token[i])
                return false;
        }
        pos_ += token.size();
        return true;
    }
    // Digits are taken while the value read so far is below 1000.
    std::optional<std::pair<int, int>> number() {
        int value = 0;
        int digits = 0;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9' && value < 1000) {
            value = value * 10 + (text_[pos_] - '0');
            ++digits;
            ++pos_;
        }
        if (digits == 0)
            return std::nullopt;
        return std::make_pair(value, digits);
    }
    bool atDigit() const { return pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9'; }
    size_t position() const { return pos_; }
    void rewindTo(size_t pos) { pos_ = pos; }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

// A number as read: its value and how many digits it had.
using ReadNumber = std::pair<int, int>;

// The numbers of a date: two or three, separated by the date separator with spaces around it, one
// separator allowed after the last; nothing when the text holds no such date.
struct DateNumbers {
    std::array<ReadNumber, 3> numbers{};
    int count = 0;
};

std::optional<DateNumbers> readDateNumbers(Scanner& in, const std::string& sep) {
    DateNumbers read;
    in.skipSpaces();
    auto first = in.number();
    if (!first)
        return std::nullopt;
    read.numbers[read.count++] = *first;
    while (read.count < 3) {
        const size_t mark = in.position();
        in.skipSpaces();
        if (!in.take(sep)) {
            in.rewindTo(mark);
            break;
        }
        in.skipSpaces();
        auto next = in.number();
        if (!next) {
            if (read.count == 1)
                return std::nullopt;
            break; // one trailing separator
        }
        read.numbers[read.count++] = *next;
    }
    if (read.count < 2 || in.atDigit())
        return std::nullopt;
    if (read.count == 3) {
        // One more separator may follow the third number.
        const size_t mark = in.position();
        in.skipSpaces();
        if (!in.take(sep))
            in.rewindTo(mark);
    }
    return read;
}

// A year written with one or two digits falls in the hundred years that begin fifty years before
// today's.
int pivotCentury(const ReadNumber& year, const DateTime& today) {
    if (year.second > 2)
        return year.first;
    const int pivot = today.year - 50;
    int full = year.first + pivot / 100 * 100;
    if (full < pivot)
        full += 100;
    return full;
}

// Day, month and year from the numbers in the short date format's order; with two numbers, the
// year is today's.
DateTime orderDate(const DateNumbers& read, Order order, const DateTime& today) {
    const auto& n = read.numbers;
    DateTime date;
    date.year = today.year;
    if (read.count == 2) {
        const bool dayFirst = order == Order::DayMonthYear;
        date.day = dayFirst ? n[0].first : n[1].first;
        date.month = dayFirst ? n[1].first : n[0].first;
        return date;
    }
    switch (order) {
    case Order::DayMonthYear:
        date.day = n[0].first, date.month = n[1].first, date.year = pivotCentury(n[2], today);
        break;
    case Order::MonthDayYear:
        date.month = n[0].first, date.day = n[1].first, date.year = pivotCentury(n[2], today);
        break;
    case Order::YearMonthDay:
        date.year = pivotCentury(n[0], today), date.month = n[1].first, date.day = n[2].first;
        break;
    }
    return date;
}

// Reads a date and the spaces after it.
std::optional<DateTime> scanDate(Scanner& in, const Locale& locale, const DateTime& today) {
    const auto read = readDateNumbers(in, locale.dateSeparator());
    if (!read)
        return std::nullopt;
    const DateTime date = orderDate(*read, dateOrder(locale.shortDateFormat()), today);
    if (!isValidDate(date.year, date.month, date.day))
        return std::nullopt;
    in.skipSpaces();
    return date;
}

} // namespace

std::string formatPicture(const DateTime& value, std::string_view picture) {
    std::string out;
    size_t i = 0;
    while (i < picture.size()) {
        const char c = picture[i];
        if (c == '\'') {
            const size_t end = picture.find('\'', i + 1);
            const size_t stop = end == std::string_view::npos ? picture.size() : end;
            out.append(picture.substr(i + 1, stop - i - 1));
            i = stop == picture.size() ? stop : stop + 1;
            continue;
        }
        if (c == 'd' || c == 'M' || c == 'y' || c == 'H' || c == 'h' || c == 'm' || c == 's' ||
            c == 't') {
            const size_t n = runLength(picture, i);
            appendField(out, c, n, value);
            i += n;
            continue;
        }
        out.push_back(c);
        ++i;
    }
    return out;
}

std::string formatC(const DateTime& value, const Locale& locale) {
    return formatPicture(value, locale.shortDateFormat()) + " " +
           formatPicture(value, locale.longTimeFormat());
}

std::string formatShownDateTime(const DateTime& value, const Locale& locale) {
    if (isMidnight(value))
        return formatPicture(value, locale.shortDateFormat());
    return formatC(value, locale);
}

std::string formatDayMonthYear(const DateTime& value, const Locale& locale) {
    const std::string sep = locale.dateSeparator();
    return formatPicture(value, "dd") + sep + formatPicture(value, "MM") + sep +
           formatPicture(value, "yyyy");
}

std::optional<DateTime> parseDate(std::string_view text, const Locale& locale,
                                  const DateTime& today) {
    Scanner in(text);
    const auto date = scanDate(in, locale, today);
    if (!date || !in.atEnd())
        return std::nullopt;
    return date;
}

std::optional<DateTime> parseDateTime(std::string_view text, const Locale& locale,
                                      const DateTime& today) {
    Scanner in(text);
    auto date = scanDate(in, locale, today);
    if (!date || in.atEnd())
        return date;
    const std::string sep = locale.timeSeparator();
    std::array<int, 3> parts{0, 0, 0};
    int count = 0;
    for (; count < 3; ++count) {
        if (count > 0) {
            in.skipSpaces();
            if (!in.take(sep))
                break;
            in.skipSpaces();
        }
        auto n = in.number();
        if (!n)
            return std::nullopt;
        parts[static_cast<size_t>(count)] = n->first;
    }
    in.skipSpaces();
    int hour = parts[0];
    if (in.takeIgnoringCase("AM")) {
        hour = hour == 12 ? 0 : hour;
    } else if (in.takeIgnoringCase("PM")) {
        hour = hour == 12 ? 12 : hour + 12;
    }
    in.skipSpaces();
    if (!in.atEnd() || hour > 23 || parts[1] > 59 || parts[2] > 59)
        return std::nullopt;
    date->hour = hour;
    date->minute = parts[1];
    date->second = parts[2];
    return date;
}

} // namespace quorva
