// quorva-report-server: the substitute report server. See options.cpp for the command line.

#include "report-server/options.h"
#include "report-server/report_store.h"
#include "report-server/server.h"

#include <pthread.h>
#include <signal.h>

#include <iostream>
#include <memory>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

using namespace quorva::report;

namespace {

constexpr std::string_view programName = "quorva-report-server";

int serve(const Options& options) {
    // Blocked in every thread, so that only the waiting thread below receives them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::unique_ptr<ReportStore> store;
    try {
        store = std::make_unique<ReportStore>(options.dataFolder);
    } catch (const StoreError& e) {
        std::cerr << programName << ": cannot use the data folder " << options.dataFolder.string()
                  << ": " << e.what() << std::endl;
        return 1;
    }
    std::optional<TlsIdentity> tls;
    if (!options.certificate.empty())
        tls = TlsIdentity{options.certificate, options.key};
    std::unique_ptr<ReportServer> server;
    try {
        server = std::make_unique<ReportServer>(*store, options.prefix, std::cout, ServerLimits{},
                                                tls, options.token);
    } catch (const TlsSetupError& e) {
        std::cerr << programName << ": " << e.what() << std::endl;
        return 1;
    }
    int port = 0;
    try {
        port = server->bind(options.bindAddress, options.port);
    } catch (const BindError& e) {
        std::cerr << programName << ": cannot listen on " << options.bindAddress << ':'
                  << options.port << ": " << e.what() << std::endl;
        return 1;
    }
    std::cout << "listening on "
              << serverUrl(options.bindAddress, port, options.prefix, tls.has_value()) << std::endl;

    // SIGUSR1 only wakes the waiter when serving ended by itself.
    std::thread waiter([&server, &signals] {
        int received = 0;
        sigwait(&signals, &received);
        server->stop();
    });
    const bool served = server->run();
    pthread_kill(waiter.native_handle(), SIGUSR1);
    waiter.join();
    if (!served) {
        std::cerr << programName << ": the server stopped on an error" << std::endl;
        return 1;
    }
    std::cout << "stopped" << std::endl;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const auto parsed = parseOptions(args);
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        std::cerr << programName << ": " << *error << "\n" << usageText;
        return 2;
    }
    const Options& options = std::get<Options>(parsed);
    if (options.help) {
        std::cout << usageText;
        return 0;
    }
    return serve(options);
}
