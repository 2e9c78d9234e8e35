#pragma once

// Opening a job's invoice, rendered as a PDF by the report server, in the browser registered for
// HTML files.

#include "platform/registry.h"
#include "platform/shell.h"

#include <string>
#include <string_view>

namespace quorva {

// The server URL setting as stored, then "ReportPDF?rptSelect=idDocument=", the report
// identifier with every byte but RFC 3986's unreserved ones as %XX, and "&rptName=Facture". No
// "/" is added.
std::string pdfAddress(const std::string& serverUrl, const std::string& reportId);

// The program of a browser command line: the text between its first two double quotes, empty
// when it has fewer than two.
std::string browserProgram(std::string_view command);

// `text` as one command-line argument: in double quotes, with each double quote and control
// character inside written as %XX, and backslashes before the closing quote doubled so that they
// cannot escape it.
std::string quotedArgument(std::string_view text);

// Starts the browser of HKEY_CLASSES_ROOT\htmlfile\shell\open\command with `url` as its only
// argument. False when no browser was started for want of a usable command: the key or its
// default value is missing or empty, or the command holds no quoted program. An address that does
// not start with "http://" or "https://" (any case), and a default value that is not text, throw
// Error.
bool openUrlInBrowser(const std::string& url, const Registry& registry, Shell& shell);

// The popup command for a row: does nothing without a server URL setting.
void openInvoicePdf(const std::string& serverUrl, const std::string& reportId,
                    const Registry& registry, Shell& shell);

} // namespace quorva
