#include "daemon/web/websocket_handshake.h"

#include "daemon/command/send_all_bytes.h"
#include "daemon/web/http_response.h"
#include "daemon/web/request_origin.h"
#include "daemon/web/websocket_accept_key.h"

namespace {

const char kVersion[] = "13";

// Sends the refusal; the session does not begin, whether or not it arrived.
bool Refuse(SOCKET connection, int status, const std::string& extraFields = std::string()) {
    SendHttpError(connection, status, extraFields);
    return false;
}

}  // namespace

bool AnswerWebSocketHandshake(SOCKET connection, const HttpRequest& request) {
    if (request.method != "GET") return Refuse(connection, 405, "Allow: GET\r\n");
    // No Origin: a client outside any browser, which no web page controls.
    std::string origin;
    if (request.Field("Origin", origin) && !IsAllowedOrigin(origin)) return Refuse(connection, 403);
    if (request.version != "HTTP/1.1" || !request.FieldHasToken("Upgrade", "websocket") ||
        !request.FieldHasToken("Connection", "Upgrade"))
        return Refuse(connection, 400);
    std::string version;
    if (!request.Field("Sec-WebSocket-Version", version)) return Refuse(connection, 400);
    if (version != kVersion)
        return Refuse(connection, 426, std::string("Sec-WebSocket-Version: ") + kVersion + "\r\n");
    std::string key;
    if (!request.Field("Sec-WebSocket-Key", key) || !IsWellFormedWebSocketKey(key))
        return Refuse(connection, 400);
    const std::string accept = WebSocketAcceptKey(key);
    if (accept.empty()) return Refuse(connection, 500);
    return SendAllBytes(connection,
                        "HTTP/1.1 101 Switching Protocols\r\n"
                        "Upgrade: websocket\r\n"
                        "Connection: Upgrade\r\n" +
                            std::string(kIsolationFields) + kContentSecurityPolicyField + "Sec-WebSocket-Accept: " + accept + "\r\n\r\n");
}
