#include "daemon/web/web_connection.h"

#include "daemon/command/peer_owner.h"
#include "daemon/web/http_request.h"
#include "daemon/web/http_response.h"
#include "daemon/web/page_resources.h"
#include "daemon/web/request_origin.h"
#include "daemon/web/websocket_handshake.h"
#include "daemon/web/websocket_session.h"

namespace {

const char kWebSocketPath[] = "/ws";

struct ConnectionParameter {
    std::shared_ptr<SharedSocket> connection;
    OpenConnections* open;
};

void Serve(SharedSocket& connection) {
    const SOCKET socket = connection.get();
    std::string head, rest;
    switch (ReadRequestHead(socket, ::GetTickCount64() + kRequestHeadTimeoutMs, head, rest)) {
    case HeadRead::Complete:
        break;
    case HeadRead::TimedOut:
        SendHttpError(socket, 408);
        return;
    case HeadRead::TooLarge:
        SendHttpError(socket, 431);
        return;
    case HeadRead::Gone:
        return;
    }
    HttpRequest request;
    if (!ParseRequestHead(head, request)) {
        SendHttpError(socket, 400);
        return;
    }
    std::string host;
    if (!request.Field("Host", host) || !IsAllowedHost(host)) {
        SendHttpError(socket, 403);
        return;
    }
    const std::string path = request.target.substr(0, request.target.find('?'));
    if (path == kWebSocketPath) {
        // Only a session can act; the page's files are the same for anyone.
        // Checked on this thread, not the accept thread: the check reads the
        // TCP table, which takes from tens of milliseconds to seconds under Wine.
        if (!MayServePeer(socket, kWebPort)) return;
        if (AnswerWebSocketHandshake(socket, request)) RunWebSocketSession(connection, std::move(rest));
        return;
    }
    if (request.method != "GET") {
        SendHttpError(socket, 405, "Allow: GET\r\n");
        return;
    }
    PageFile file;
    if (!FindPageFile(path, file)) {
        SendHttpError(socket, 404);
        return;
    }
    SendHttpResponse(socket, 200, file.contentType, file.bytes);
}

}  // namespace

LPVOID MakeWebConnectionParameter(std::shared_ptr<SharedSocket> connection, OpenConnections& open) {
    return new ConnectionParameter{std::move(connection), &open};
}

void FreeWebConnectionParameter(LPVOID parameter) { delete static_cast<ConnectionParameter*>(parameter); }

DWORD WINAPI WebConnection(LPVOID parameter) {
    const ConnectionParameter taken = *static_cast<ConnectionParameter*>(parameter);
    FreeWebConnectionParameter(parameter);
    try {
        Serve(*taken.connection);
    } catch (...) {
        // Out of memory at worst; the connection is closed below all the same.
    }
    // Closed before it leaves the set, so that a stop never misses it open.
    taken.connection->Close();
    taken.open->Remove(taken.connection);
    return 0;
}
