#include "report-server/options.h"

#include "report-server/text_util.h"

namespace quorva::report {

const std::string_view usageText =
    "Usage: quorva-report-server [--port N] [--bind ADDRESS] [--prefix PATH] [--data FOLDER]\n"
    "                            [--cert FILE --key FILE] [--token SECRET]\n"
    "\n"
    "Stands in for the dealership's report server: stores the spool files that the desk\n"
    "uploads and serves each stored invoice as a PDF.\n"
    "\n"
    "  --port N         TCP port, 0 for any free one (default 8080)\n"
    "  --bind ADDRESS   address to listen on (default 127.0.0.1)\n"
    "  --prefix PATH    path in front of ReportSPL and ReportPDF (default /KelbBin/Kelb.dll/)\n"
    "  --data FOLDER    where the reports are kept (default ./report-data)\n"
    "  --cert FILE      serve HTTPS with this certificate (PEM, the server's first, then its\n"
    "                   authorities)\n"
    "  --key FILE       the certificate's private key (PEM)\n"
    "  --token SECRET   every request must carry \"Authorization: Bearer SECRET\", or Basic\n"
    "                   with the password SECRET (any user), else it gets 401; needed to\n"
    "                   listen on an address other than loopback\n"
    "  --help           this text\n"
    "\n"
    "Prints \"listening on http://ADDRESS:PORT<prefix>\" (https with --cert) once ready, then\n"
    "one line per request: time (UTC), client address, method, target (control bytes and % as\n"
    "%XX), status, body bytes, report id (- when none). Stops on SIGINT or SIGTERM.\n";

std::variant<Options, std::string> parseOptions(std::span<const std::string_view> args) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view name = args[i];
        if (name == "--help") {
            options.help = true;
            continue;
        }
        if (name != "--port" && name != "--bind" && name != "--prefix" && name != "--data" &&
            name != "--cert" && name != "--key" && name != "--token")
            return "unknown option " + std::string(name);
        if (i + 1 == args.size())
            return std::string(name) + " needs a value";
        const std::string_view value = args[++i];
        if (name == "--port") {
            const auto port = parseDecimal(value);
            if (!port || *port > 65535)
                return "--port needs a number from 0 to 65535, not " + std::string(value);
            options.port = static_cast<int>(*port);
        } else if (name == "--bind") {
            if (value.empty())
                return std::string("--bind needs an address");
            options.bindAddress = value;
        } else if (name == "--prefix") {
            if (!value.starts_with('/'))
                return "--prefix must start with /, not " + std::string(value);
            options.prefix = value;
        } else if (name == "--cert") {
            options.certificate = value;
        } else if (name == "--key") {
            options.key = value;
        } else if (name == "--token") {
            if (value.empty())
                return std::string("--token needs a secret");
            options.token = value;
        } else {
            if (value.empty())
                return std::string("--data needs a folder");
            options.dataFolder = value;
        }
    }
    if (options.certificate.empty() != options.key.empty())
        return std::string("--cert and --key go together");
    const std::string_view bind = options.bindAddress;
    const bool loopback = bind == "localhost" || bind == "::1" || bind.starts_with("127.");
    if (!loopback && options.token.empty())
        return "--bind " + options.bindAddress +
               " reaches beyond this machine: give --token, or anyone who reaches the port can "
               "upload reports and read every stored invoice";
    return options;
}

} // namespace quorva::report
