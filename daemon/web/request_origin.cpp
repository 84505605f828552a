#include "daemon/web/request_origin.h"

#include "daemon/text/diagnostics.h"
#include "daemon/web/http_request.h"
#include "daemon/text/utf8_text.h"

#include <windows.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <vector>

namespace {

const wchar_t kAllowlistKey[] = L"Software\\QvPush";
const wchar_t kAllowlistValue[] = L"AllowedOrigins";

// The REG_MULTI_SZ's strings; none when the value is absent or of another type.
std::vector<std::wstring> ReadAllowlist() {
    DWORD bytes = 0;
    if (::RegGetValueW(HKEY_CURRENT_USER, kAllowlistKey, kAllowlistValue, RRF_RT_REG_MULTI_SZ, nullptr, nullptr,
                       &bytes) != ERROR_SUCCESS)
        return {};
    std::vector<wchar_t> data(bytes / sizeof(wchar_t) + 2, L'\0');
    bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    if (::RegGetValueW(HKEY_CURRENT_USER, kAllowlistKey, kAllowlistValue, RRF_RT_REG_MULTI_SZ, nullptr, data.data(),
                       &bytes) != ERROR_SUCCESS)
        return {};
    std::vector<std::wstring> origins;
    for (const wchar_t* s = data.data(); *s; s += wcslen(s) + 1) origins.emplace_back(s);
    return origins;
}

std::string LowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsSchemeChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

// An entry that can never match is told once per process and text, not on
// every handshake that reads the list again.
void ReportUselessEntry(const std::string& entry) {
    static std::mutex reportedMutex;
    static std::set<std::string> reported;
    std::lock_guard<std::mutex> guard(reportedMutex);
    if (!reported.insert(entry).second) return;
    DebugText("AllowedOrigins: \"" + entry + "\" admits nothing (an origin is scheme://host[:port])");
}

}  // namespace

bool NormaliseOrigin(const std::string& text, std::string& origin) {
    const std::string lower = LowerAscii(text);
    const size_t schemeEnd = lower.find("://");
    if (schemeEnd == std::string::npos || schemeEnd == 0) return false;
    const std::string scheme = lower.substr(0, schemeEnd);
    if (!std::all_of(scheme.begin(), scheme.end(), IsSchemeChar)) return false;
    std::string authority = lower.substr(schemeEnd + 3);
    if (!authority.empty() && authority.back() == '/') authority.pop_back();
    // A path, a query, user information or blanks make it no origin.
    if (authority.empty() || authority.find_first_of("/?#@ \t*") != std::string::npos) return false;
    const size_t bracket = authority.rfind(']');
    const size_t colon = authority.rfind(':');
    if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
        const std::string port = authority.substr(colon + 1);
        if (colon == 0 || port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), IsDigit))
            return false;
        if ((scheme == "http" && port == "80") || (scheme == "https" && port == "443")) authority.resize(colon);
    }
    origin = scheme + "://" + authority;
    return true;
}

bool IsAllowedHost(const std::string& host) {
    const std::string port = ":" + std::to_string(kWebPort);
    return host == "127.0.0.1" + port || EqualsIgnoringCase(host, "localhost" + port);
}

bool IsAllowedOrigin(const std::string& origin) {
    const std::string port = ":" + std::to_string(kWebPort);
    if (origin == "http://127.0.0.1" + port || origin == "http://localhost" + port) return true;
    std::string normal;
    if (!IsValidUtf8(origin) || !NormaliseOrigin(origin, normal)) return false;
    bool allowed = false;
    for (const std::wstring& entry : ReadAllowlist()) {
        if (entry.empty()) continue;
        const std::string text = WideToUtf8(entry);
        std::string entryNormal;
        if (!NormaliseOrigin(text, entryNormal)) {
            ReportUselessEntry(text);
            continue;
        }
        if (entryNormal == normal) allowed = true;
    }
    return allowed;
}
