#include "daemon/publisher/stream_signing.h"

#include "daemon/publisher/md5.h"
#include "daemon/publisher/publish_state.h"
#include "daemon/text/diagnostics.h"
#include "daemon/text/text_conversion.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>

namespace {

const char kPrivateKey[] = "qa7x_m2_hrt5kw9b_8zn3pfdc0u";
const char kApplicationPath[] = "/kavo/";
const size_t kApplicationPathLength = sizeof(kApplicationPath) - 1;
const char kTokenKey[] = "?k=";
const char kTimeKey[] = "&t=";

}  // namespace

std::string SigningTimeText(int64_t secondsSince1970) {
    char text[24] = {};
    snprintf(text, sizeof(text), "%" PRIx64, static_cast<uint64_t>(secondsSince1970));
    return text;
}

std::string StreamNameOf(const std::string& url) {
    size_t path = url.find(kApplicationPath);
    if (path == std::string::npos) return std::string();
    // The search starts one character past the name's first position, so
    // "/kavo/?" alone gives no name.
    size_t query = url.find('?', path + kApplicationPathLength + 1);
    if (query == std::string::npos) return std::string();
    size_t start = path + kApplicationPathLength;
    return url.substr(start, query - start);
}

SignedStreamUrl SignStreamUrl(const std::string& url, int64_t secondsSince1970) {
    std::string timeText = SigningTimeText(secondsSince1970);
    SignedStreamUrl signedUrl;
    signedUrl.m_token = Md5Hex(kPrivateKey + std::string(kApplicationPath) + StreamNameOf(url) + timeText);
    // Without a "?k=" the whole URL is the prefix and gains the query.
    std::string prefix = url.substr(0, url.find(kTokenKey));
    signedUrl.m_url = prefix + kTokenKey + signedUrl.m_token + kTimeKey + timeText;
    return signedUrl;
}

void ResignStreamUrl() {
    // 64-bit seconds on both builds, past 2038.
    int64_t now = static_cast<int64_t>(_time64(nullptr));
    SignedStreamUrl signedUrl;
    ThePublishState().ChangeStreamUrl([&](const std::wstring& url) {
        signedUrl = SignStreamUrl(WideToNarrow(url), now);
        return NarrowToWide(signedUrl.m_url);
    });
    DebugText(signedUrl.m_token);
    DebugText(signedUrl.m_url);
}
