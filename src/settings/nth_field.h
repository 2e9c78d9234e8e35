#pragma once

#include <string>

namespace quorva {

// The n-th field (counting from 1) of a text whose fields are separated by ";". A field beyond
// the last, an empty field and n below 1 give the empty text.
std::string nthField(const std::string& text, int n);

} // namespace quorva
