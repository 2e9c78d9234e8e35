#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace quorva::report {

struct Options {
    int port = 8080;
    std::string bindAddress = "127.0.0.1";
    std::string prefix = "/KelbBin/Kelb.dll/";
    std::filesystem::path dataFolder = "report-data";
    // Both set: HTTPS with this certificate (PEM, with its chain) and private key (PEM).
    std::string certificate;
    std::string key;
    // Set: every request must carry it (Bearer, or as a Basic password).
    std::string token;
    bool help = false;
};

// Reads the command line's arguments (without the program name), or yields what is wrong
// with them.
std::variant<Options, std::string> parseOptions(std::span<const std::string_view> args);

extern const std::string_view usageText;

} // namespace quorva::report
