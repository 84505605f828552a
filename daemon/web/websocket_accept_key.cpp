#include "daemon/web/websocket_accept_key.h"

#include <windows.h>
#include <bcrypt.h>
#include <wincrypt.h>

#include <vector>

#include "common/unique_handle.h"

namespace {

const char kProtocolGuid[] = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
const DWORD kKeyBytes = 16;
const DWORD kSha1Bytes = 20;

// The provider's close takes flags as well, so it needs traits of its own.
struct AlgorithmTraits {
    using Handle = BCRYPT_ALG_HANDLE;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle h) { return h != nullptr; }
    static void Close(Handle h) { ::BCryptCloseAlgorithmProvider(h, 0); }
};

bool Sha1(const std::string& text, unsigned char (&digest)[kSha1Bytes]) {
    UniqueHandleT<AlgorithmTraits> algorithm;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_SHA1_ALGORITHM, nullptr, 0)))
        return false;
    UniqueHandleT<NullableHandleTraits<BCRYPT_HASH_HANDLE, ::BCryptDestroyHash>> hash;
    if (!BCRYPT_SUCCESS(::BCryptCreateHash(algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0))) return false;
    std::vector<UCHAR> bytes(text.begin(), text.end());
    return BCRYPT_SUCCESS(::BCryptHashData(hash.get(), bytes.data(), static_cast<ULONG>(bytes.size()), 0)) &&
           BCRYPT_SUCCESS(::BCryptFinishHash(hash.get(), digest, kSha1Bytes, 0));
}

}  // namespace

bool IsWellFormedWebSocketKey(const std::string& key) {
    // 16 bytes are 24 base64 characters ending in "==".
    if (key.size() != 24) return false;
    BYTE decoded[kKeyBytes + 4] = {};
    DWORD size = sizeof(decoded);
    return ::CryptStringToBinaryA(key.c_str(), static_cast<DWORD>(key.size()), CRYPT_STRING_BASE64, decoded, &size,
                                  nullptr, nullptr) &&
           size == kKeyBytes;
}

std::string WebSocketAcceptKey(const std::string& key) {
    unsigned char digest[kSha1Bytes];
    if (!Sha1(key + kProtocolGuid, digest)) return std::string();
    const DWORD flags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
    DWORD size = 0;
    if (!::CryptBinaryToStringA(digest, kSha1Bytes, flags, nullptr, &size)) return std::string();
    std::string text(size, '\0');
    if (!::CryptBinaryToStringA(digest, kSha1Bytes, flags, &text[0], &size)) return std::string();
    text.resize(size);
    // Some versions count the terminating NUL, some a line end despite the flag.
    while (!text.empty() && (text.back() == '\0' || text.back() == '\r' || text.back() == '\n')) text.pop_back();
    return text;
}
