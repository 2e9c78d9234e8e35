#include "settings/nth_field.h"

#include <gtest/gtest.h>

namespace quorva {
namespace {

struct Case {
    const char* text;
    int n;
    const char* expected;
};

TEST(nthField, PicksTheFieldBetweenSemicolons) {
    const Case cases[] = {
        {"a;b;c", 2, "b"},     {"a;;c", 2, ""},   {"a", 2, ""},      {"a;b", 0, ""},
        {"a;b", -3, ""},       {"a;b;c", 1, "a"}, {"a;b;c", 3, "c"}, {"a;b;c", 4, ""},
        {"", 1, ""},           {";b", 1, ""},     {";b", 2, "b"},    {"host;8080;x", 2, "8080"},
        {"a b;c d", 2, "c d"}, {"a;b;", 3, ""},   {"abc", 1, "abc"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(nthField(c.text, c.n), c.expected) << '"' << c.text << "\" field " << c.n;
}

} // namespace
} // namespace quorva
