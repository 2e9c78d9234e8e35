#pragma once

#include <string>
#include <string_view>

namespace quorva {

// The pieces of an address such as "http://user:pw@host:8080/a/b/doc.dll?x=1#top".
struct Url {
    std::string protocol; // "http"; empty when the text has no "://"
    std::string username;
    std::string password;
    std::string host;
    std::string port;     // as written; "80" for http and "443" for https when none is written
    std::string path;     // "/a/b/": up to and including the last slash before the parameters
    std::string document; // "doc.dll"
    std::string params;   // "?x=1", with its question mark; empty when there is none
};

// Splits an address. Backslashes count as slashes; the bookmark ("#...") is dropped. Without
// "://" the whole text is path, document and parameters.
Url parseUrl(std::string_view text);

// The address without the "user:password@" after the scheme: what is logged or shown never
// carries the credentials.
std::string withoutCredentials(std::string_view url);

} // namespace quorva
