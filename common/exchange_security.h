#pragma once
// Who may use the named frame exchange. It carries the pictures a capture
// program shows as the user's camera, so it belongs to the user:
//   - created with an explicit security descriptor: full access for the user
//     and SYSTEM; read access for ALL APPLICATION PACKAGES (S-1-15-2-1), as
//     current conferencing clients load a DirectShow camera inside a
//     low-integrity AppContainer, where a mapping with the default security
//     cannot be opened; and a medium mandatory label with no-write-up, so
//     that nothing below medium integrity writes pictures into it;
//   - an existing mapping of the name is used only when the user, the
//     owner the user's token gives new objects, SYSTEM or the
//     Administrators group (the owner an elevated process of the user gives
//     its objects) owns it, at medium integrity or above. Someone who made
//     it first to feed or read the user's camera gets nothing.
// Wine 8 keeps an owner and a mandatory label given explicitly, gives a
// mapping made with a descriptor that names no owner the token's primary
// group (S-1-5-21-0-0-0-513) as owner and one made without a descriptor no
// owner at all, and enforces neither integrity levels nor AppContainers:
// JudgeMappingSecurity is the seam the whole rule is tested through.
#include "common/non_copyable.h"
#include <windows.h>

#include <string>
#include <vector>

// What Open says of a mapping it does not use.
constexpr HRESULT kExchangeForeignOwner = HRESULT_FROM_WIN32(ERROR_INVALID_OWNER);
constexpr HRESULT kExchangeLowerIntegrity = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);

// The security descriptor and attributes to create the mapping with, for
// the life of the object.
class CExchangeSecurity : CNonCopyable {
public:
    CExchangeSecurity();
    ~CExchangeSecurity();

    // Null when the descriptor could not be made (the user's SID unknown).
    SECURITY_ATTRIBUTES* Attributes() { return m_descriptor ? &m_attributes : nullptr; }

private:
    PSECURITY_DESCRIPTOR m_descriptor = nullptr;
    SECURITY_ATTRIBUTES m_attributes = {};
};

// The SDDL text of that descriptor for the user's SID.
std::wstring ExchangeSecurityText(const std::wstring& userSid);

// What a mapping's security says: its owner and its mandatory label (a
// mapping without one counts as medium, as Windows takes it).
struct MappingSecurity {
    PSID owner;
    DWORD integrityRid;  // SECURITY_MANDATORY_*_RID
};

// S_OK when an existing mapping with that security may be used by `user`
// whose token gives new objects `defaultOwner` (may be null); else
// kExchangeForeignOwner or kExchangeLowerIntegrity.
HRESULT JudgeMappingSecurity(const MappingSecurity& seen, PSID user, PSID defaultOwner = nullptr);

// The security of an open mapping, judged for the process's user.
HRESULT JudgeExistingMapping(HANDLE mapping);

// The process user's SID, and the owner its token gives new objects, as
// bytes (empty when they cannot be read).
std::vector<BYTE> CurrentUserSid();
std::vector<BYTE> CurrentDefaultOwnerSid();
