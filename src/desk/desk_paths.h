#pragma once

// Where the desk keeps its own files, decided once when the program starts; tests build one on a
// temporary folder.

#include <string>

namespace quorva {

struct DeskPaths {
    // The user's settings folder (roaming), and the settings file in it.
    std::string settingsFolder;
    std::string settingsFile;
    // The desk's own daily log (the error boxes it showed), the user's local one; empty: none.
    std::string logFolder;

    // The desk's paths under the user's roaming and local application-data folders.
    static DeskPaths under(const std::string& appData, const std::string& localAppData);
    // From APPDATA and LOCALAPPDATA; without APPDATA the settings go to the current drive's root,
    // without LOCALAPPDATA the desk keeps no log.
    static DeskPaths fromEnvironment();
};

} // namespace quorva
