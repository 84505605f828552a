#include "tests/daemon/publisher/system_md5.h"

#include <windows.h>
#include <wincrypt.h>

std::string SystemMd5(const std::string& bytes) {
    HCRYPTPROV provider = 0;
    std::string hex = "<no md5>";
    if (!::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return hex;
    HCRYPTHASH hash = 0;
    if (::CryptCreateHash(provider, CALG_MD5, 0, 0, &hash)) {
        BYTE digest[16] = {};
        DWORD size = sizeof(digest);
        if (::CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0) &&
            ::CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0)) {
            static const char kDigits[] = "0123456789abcdef";
            hex.clear();
            for (BYTE b : digest) {
                hex.push_back(kDigits[b >> 4]);
                hex.push_back(kDigits[b & 15]);
            }
        }
        ::CryptDestroyHash(hash);
    }
    ::CryptReleaseContext(provider, 0);
    return hex;
}
