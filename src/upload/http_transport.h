#pragma once

// The sender's transport to the report server: its own HTTP client and report upload, which no
// other thread touches.

#include "upload/http_client.h"
#include "upload/report_upload.h"
#include "upload/sender.h"

namespace quorva {

class HttpTransport final : public Transport {
public:
    HttpTransport(const Files& files, const Clock& clock) : upload_(http_, files, clock) {}

    UploadOutcome send(const UploadRequest& request, const SenderSettings& settings) override {
        http_.setProxyServer(settings.proxyServer);
        http_.setProxyPort(settings.proxyPort);
        // A changed address takes its own user and password, or none.
        if (settings.serverUrl != serverUrl_) {
            http_.forgetCredentials();
            serverUrl_ = settings.serverUrl;
        }
        return upload_.send(request, settings.serverUrl);
    }
    void interrupt() override { http_.interrupt(); }

    // For tests that cannot wait a minute for a silent server.
    HttpClient& client() { return http_; }

private:
    HttpClient http_;
    ReportUpload upload_;
    std::string serverUrl_;
};

} // namespace quorva
