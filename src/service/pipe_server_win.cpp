#include "service/pipe_server_win.h"

#include "ipc/pipe_connection_win.h"
#include "platform/error.h"
#include "platform/system_error.h"

#include <sddl.h>

#include <algorithm>
#include <memory>
#include <utility>

namespace quorva {

namespace {

constexpr DWORD kPipeBufferBytes = 64 * 1024;
// What an interactive user's desk may do with the pipe: read, write its requests and read the
// pipe's attributes; not FILE_CREATE_PIPE_INSTANCE, so that no user can serve the pipe's name.
constexpr DWORD kDeskAccess = FILE_GENERIC_READ | FILE_WRITE_DATA;

std::wstring processUserSid() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw))
        throw Error(systemErrorText(GetLastError()));
    const UniqueHandle token(raw);
    char buffer[256] = {};
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &size))
        throw Error(systemErrorText(GetLastError()));
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text))
        throw Error(systemErrorText(GetLastError()));
    std::wstring sid(text);
    LocalFree(text);
    return sid;
}

// SYSTEM, the administrators and the account the capture runs as (SYSTEM for the service, the
// developer for --console) hold the pipe; interactive users may connect to it.
UniqueHandle createInstance(const std::wstring& name, bool first) {
    const std::wstring sddl = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;" + processUserSid() +
                              L")(A;;" + std::to_wstring(kDeskAccess) + L";;;IU)";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        throw Error(systemErrorText(GetLastError()));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    // The first instance must be ours: a name someone else created first is refused.
    UniqueHandle pipe(CreateNamedPipeW(
        name.c_str(),
        PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
        PIPE_UNLIMITED_INSTANCES, kPipeBufferBytes, kPipeBufferBytes, 0, &attributes));
    const DWORD error = GetLastError();
    LocalFree(descriptor);
    if (!pipe)
        throw Error("Canal du service de capture indisponible : " + systemErrorText(error));
    return pipe;
}

} // namespace

PipeServer::PipeServer(std::wstring name, UINT message) : name_(std::move(name)), worker_(message) {
}

PipeServer::~PipeServer() {
    stop();
}

void PipeServer::start(HWND window) {
    // Made here, so that a name already taken fails the start rather than the thread.
    auto first = std::make_shared<UniqueHandle>(createInstance(name_, true));
    worker_.start(window, [this, first] { run(std::move(*first)); });
}

void PipeServer::stop() {
    worker_.stop();
}

void PipeServer::send(ClientId client, std::string frame) {
    worker_.queue({client, std::move(frame)});
}

void PipeServer::disconnect(ClientId client) {
    worker_.queue({client, std::nullopt});
}

std::vector<PipeEvent> PipeServer::takeEvents() {
    return worker_.takeEvents();
}

void PipeServer::run(UniqueHandle listening) {
    struct Client {
        ClientId id;
        std::unique_ptr<PipeConnection> connection;
    };
    std::vector<Client> clients;
    ClientId nextId = 1;
    const auto post = [this](PipeEvent event) { worker_.post(std::move(event)); };
    const auto drop = [&](ClientId id) {
        const auto it = std::find_if(clients.begin(), clients.end(),
                                     [id](const Client& c) { return c.id == id; });
        if (it == clients.end())
            return;
        clients.erase(it);
        post({PipeEvent::Kind::Gone, id, {}});
    };

    UniqueHandle connected(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED connectOverlapped{};
    connectOverlapped.hEvent = connected.get();
    bool listeningPending = false;
    const auto listen = [&] {
        if (ConnectNamedPipe(listening.get(), &connectOverlapped) ||
            GetLastError() == ERROR_IO_PENDING) {
            listeningPending = true;
        } else if (GetLastError() == ERROR_PIPE_CONNECTED) {
            // The client came between creating and connecting.
            listeningPending = true;
            SetEvent(connected.get());
        } else {
            listening.reset();
        }
    };
    listen();

    for (;;) {
        if (!listening) {
            try {
                listening = createInstance(name_, false);
                listen();
            } catch (const Error&) {
                // No new instance now (out of resources): tried again in a second.
            }
        }
        std::vector<HANDLE> handles{worker_.stopEvent(), worker_.wakeEvent()};
        const bool accepting = listeningPending && clients.size() < kMaxClients;
        if (accepting)
            handles.push_back(connected.get());
        const std::size_t firstClient = handles.size();
        for (const Client& client : clients) {
            handles.push_back(client.connection->readEvent());
            handles.push_back(client.connection->writeEvent());
        }
        const DWORD signalled = WaitForMultipleObjects(
            static_cast<DWORD>(handles.size()), handles.data(), FALSE, listening ? INFINITE : 1000);
        if (signalled == WAIT_TIMEOUT)
            continue;
        if (signalled == WAIT_OBJECT_0 || signalled == WAIT_FAILED)
            break;
        const std::size_t index = signalled - WAIT_OBJECT_0;

        if (index == 1) {
            std::vector<ClientId> broken;
            for (Command& command : worker_.takeOutgoing()) {
                const ClientId id = command.client;
                const auto it = std::find_if(clients.begin(), clients.end(),
                                             [id](const Client& c) { return c.id == id; });
                if (it == clients.end())
                    continue;
                if (!command.frame || !it->connection->queue(std::move(*command.frame)))
                    broken.push_back(id);
            }
            for (Client& client : clients) {
                if (!client.connection->pumpWrites())
                    broken.push_back(client.id);
            }
            for (ClientId id : broken)
                drop(id);
            continue;
        }
        if (accepting && index == 2) {
            DWORD ignored = 0;
            listeningPending = false;
            ResetEvent(connected.get());
            if (GetOverlappedResult(listening.get(), &connectOverlapped, &ignored, FALSE)) {
                auto connection = std::make_unique<PipeConnection>(std::move(listening));
                const ClientId id = nextId++;
                if (connection->startRead()) {
                    clients.push_back({id, std::move(connection)});
                    post({PipeEvent::Kind::Connected, id, {}});
                }
            }
            // A new instance for the next desk, also when this one gave up while being accepted.
            listening.reset();
            continue;
        }
        const std::size_t which = (index - firstClient) / 2;
        if (index < firstClient || which >= clients.size())
            continue;
        Client& client = clients[which];
        const ClientId id = client.id;
        bool alive = true;
        if ((index - firstClient) % 2 == 0) {
            std::vector<std::string> payloads;
            try {
                alive = client.connection->finishRead(payloads);
            } catch (const std::exception&) {
                alive = false; // a malformed frame ends that connection only
            }
            for (std::string& payload : payloads)
                post({PipeEvent::Kind::Received, id, std::move(payload)});
        } else {
            alive = client.connection->pumpWrites();
        }
        if (!alive)
            drop(id);
    }
}

} // namespace quorva
