#pragma once

#include <string>

namespace quorva {

// The system's message for an error code, with trailing blanks, line ends and full stops removed.
std::string systemErrorText(unsigned long code);
// Whether the code says another program holds the file without sharing it (Windows' share modes;
// POSIX has none).
bool isSharingRefusal(unsigned long code);
// Whether the code says the disk, or the user's quota on it, is full.
bool isDiskFull(unsigned long code);

} // namespace quorva
