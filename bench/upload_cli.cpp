// quorva-upload-cli: uploads one spool file the way the desk does, for scripts/bench-upload.
//
//   quorva-upload-cli SERVER_URL SPOOL_FILE [SITE]
//
// SERVER_URL is the base address ("http://127.0.0.1:8080/KelbBin/Kelb.dll/"); "ReportSPL" is
// appended. Prints the report identifier; when the server gave none, prints why ("erreur" and the
// reason for a refusal, the failure's reason on stderr) and exits 1.

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/locale.h"
#include "upload/http_client.h"
#include "upload/report_upload.h"

#include <algorithm>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::cerr << "usage: quorva-upload-cli SERVER_URL SPOOL_FILE [SITE]\n";
        return 2;
    }
    const std::string serverUrl = argv[1];
    const std::string path = argv[2];
    const std::string site = argc > 3 ? argv[3] : "Bench";

    quorva::SystemFiles files;
    quorva::SystemClock clock;
    quorva::FixedLocale locale;
    quorva::HttpClient http;
    quorva::ReportUpload upload(http, files, clock);

    // The job list holds the bare name in lower case.
    std::string name = path.substr(path.find_last_of("/\\") + 1);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    try {
        const auto outcome =
            upload.send(quorva::prepareUpload(path, name, site, 1,
                                              clock.toLocal(files.lastWriteUtc(path)), locale),
                        serverUrl);
        switch (outcome.kind) {
        case quorva::UploadOutcome::Kind::Sent:
            std::cout << outcome.reportId << "\n";
            return 0;
        case quorva::UploadOutcome::Kind::Refused:
            std::cout << "erreur: " << outcome.reason << "\n";
            return 1;
        case quorva::UploadOutcome::Kind::Failed:
            break;
        }
        std::cerr << "quorva-upload-cli: " << outcome.reason << "\n";
        return 1;
    } catch (const quorva::Error& e) {
        std::cerr << "quorva-upload-cli: " << e.what() << "\n";
        return 1;
    }
}
