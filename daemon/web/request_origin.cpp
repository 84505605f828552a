#include "daemon/web/request_origin.h"

#include "daemon/web/http_request.h"
#include "daemon/web/utf8_text.h"

#include <windows.h>

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

}  // namespace

bool IsAllowedHost(const std::string& host) {
    const std::string port = ":" + std::to_string(kWebPort);
    return host == "127.0.0.1" + port || EqualsIgnoringCase(host, "localhost" + port);
}

bool IsAllowedOrigin(const std::string& origin) {
    const std::string port = ":" + std::to_string(kWebPort);
    if (origin == "http://127.0.0.1" + port || origin == "http://localhost" + port) return true;
    if (!IsValidUtf8(origin)) return false;
    const std::wstring wide = Utf8ToWide(origin);
    for (const std::wstring& allowed : ReadAllowlist())
        if (!allowed.empty() && allowed == wide) return true;
    return false;
}
