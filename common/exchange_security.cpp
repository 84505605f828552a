#include "common/exchange_security.h"

#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <string>

namespace {

struct LocalFreeDeleter {
    void operator()(void* memory) const { ::LocalFree(memory); }
};

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) { return sid && ::IsWellKnownSid(sid, type); }

std::wstring SidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!::ConvertSidToStringSidW(sid, &text)) return std::wstring();
    std::wstring result(text);
    ::LocalFree(text);
    return result;
}

}  // namespace

namespace {

// A SID the process token holds: TokenUser or TokenOwner, whose structures
// both start with the SID's pointer.
std::vector<BYTE> TokenSid(TOKEN_INFORMATION_CLASS kind) {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
    DWORD bytes = 0;
    ::GetTokenInformation(raw, kind, nullptr, 0, &bytes);
    std::vector<BYTE> buffer(bytes);
    const bool read = bytes >= sizeof(PSID) && ::GetTokenInformation(raw, kind, buffer.data(), bytes, &bytes);
    ::CloseHandle(raw);
    if (!read) return {};
    const PSID sid = *reinterpret_cast<PSID*>(buffer.data());
    if (!sid || !::IsValidSid(sid)) return {};
    const BYTE* start = static_cast<const BYTE*>(sid);
    return std::vector<BYTE>(start, start + ::GetLengthSid(sid));
}

}  // namespace

std::vector<BYTE> CurrentUserSid() { return TokenSid(TokenUser); }

std::vector<BYTE> CurrentDefaultOwnerSid() { return TokenSid(TokenOwner); }

std::wstring ExchangeSecurityText(const std::wstring& userSid) {
    // D:P  protected DACL, nothing inherited
    // GA   for the user and SYSTEM (SY)
    // GR   for ALL APPLICATION PACKAGES
    // S:   the mandatory label: medium (ME), no write up (NW)
    return L"D:P(A;;GA;;;" + userSid + L")(A;;GA;;;SY)(A;;GR;;;S-1-15-2-1)S:(ML;;NW;;;ME)";
}

CExchangeSecurity::CExchangeSecurity() {
    std::vector<BYTE> user = CurrentUserSid();
    if (user.empty()) return;
    const std::wstring text = ExchangeSecurityText(SidText(user.data()));
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1, &m_descriptor,
                                                                 nullptr))
        m_descriptor = nullptr;
    m_attributes.nLength = sizeof(m_attributes);
    m_attributes.lpSecurityDescriptor = m_descriptor;
    m_attributes.bInheritHandle = FALSE;
}

CExchangeSecurity::~CExchangeSecurity() {
    if (m_descriptor) ::LocalFree(m_descriptor);
}

HRESULT JudgeMappingSecurity(const MappingSecurity& seen, PSID user, PSID defaultOwner) {
    const bool ours = seen.owner && ((user && ::EqualSid(seen.owner, user)) ||
                                     (defaultOwner && ::EqualSid(seen.owner, defaultOwner)) ||
                                     IsWellKnown(seen.owner, WinLocalSystemSid) ||
                                     IsWellKnown(seen.owner, WinBuiltinAdministratorsSid));
    if (!ours) return kExchangeForeignOwner;
    if (seen.integrityRid < SECURITY_MANDATORY_MEDIUM_RID) return kExchangeLowerIntegrity;
    return S_OK;
}

HRESULT JudgeExistingMapping(HANDLE mapping) {
    PSID owner = nullptr;
    PACL sacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD error = ::GetSecurityInfo(mapping, SE_KERNEL_OBJECT,
                                          OWNER_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION, &owner, nullptr,
                                          nullptr, &sacl, &descriptor);
    if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
    std::unique_ptr<void, LocalFreeDeleter> held(descriptor);
    MappingSecurity seen = {owner, SECURITY_MANDATORY_MEDIUM_RID};
    if (sacl) {
        for (DWORD i = 0; i < sacl->AceCount; ++i) {
            ACE_HEADER* ace = nullptr;
            if (!::GetAce(sacl, i, reinterpret_cast<void**>(&ace)) || ace->AceType != SYSTEM_MANDATORY_LABEL_ACE_TYPE)
                continue;
            const PSID label = &reinterpret_cast<SYSTEM_MANDATORY_LABEL_ACE*>(ace)->SidStart;
            const UCHAR count = *::GetSidSubAuthorityCount(label);
            if (count > 0) seen.integrityRid = *::GetSidSubAuthority(label, count - 1);
        }
    }
    std::vector<BYTE> user = CurrentUserSid();
    std::vector<BYTE> defaultOwner = CurrentDefaultOwnerSid();
    return JudgeMappingSecurity(seen, user.empty() ? nullptr : user.data(),
                                defaultOwner.empty() ? nullptr : defaultOwner.data());
}
