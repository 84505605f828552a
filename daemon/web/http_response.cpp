#include "daemon/web/http_response.h"

#include "daemon/command/send_all_bytes.h"

const char kIsolationFields[] =
    "Cross-Origin-Opener-Policy: same-origin\r\n"
    "Cross-Origin-Resource-Policy: same-origin\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "Referrer-Policy: no-referrer\r\n";

const char kContentSecurityPolicyField[] =
    "Content-Security-Policy: default-src 'self'; connect-src 'self' ws://127.0.0.1:19724 "
    "ws://localhost:19724; img-src 'self' data:; frame-ancestors 'none'\r\n";

namespace {

const char* Reason(int status) {
    switch (status) {
    case 101: return "Switching Protocols";
    case 200: return "OK";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 426: return "Upgrade Required";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    default: return "Internal Server Error";
    }
}

}  // namespace

bool SendHttpResponse(SOCKET connection, int status, const std::string& contentType, const std::string& body,
                      const std::string& extraFields) {
    std::string response = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n";
    response += "Content-Type: " + contentType + "\r\n";
    response += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    response += kIsolationFields;
    response +=
        "Cache-Control: no-store\r\n"
        "X-Frame-Options: DENY\r\n";
    response += kContentSecurityPolicyField;
    response += "Connection: close\r\n";
    response += extraFields;
    response += "\r\n";
    response += body;
    return SendAllBytes(connection, response);
}

bool SendHttpError(SOCKET connection, int status, const std::string& extraFields) {
    return SendHttpResponse(connection, status, "text/plain; charset=utf-8",
                            std::to_string(status) + " " + Reason(status) + "\n", extraFields);
}
