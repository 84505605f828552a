#include "installer/setup_helper/folder_security.h"

#include "common/unique_handle.h"

#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <vector>

namespace {

// NT SERVICE\TrustedInstaller, which owns what Windows itself installs.
const wchar_t kTrustedInstallerSid[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

struct LocalFreeDeleter {
    void operator()(void* memory) const { ::LocalFree(memory); }
};

bool SidOf(WELL_KNOWN_SID_TYPE type, std::vector<BYTE>& sid) {
    DWORD size = SECURITY_MAX_SID_SIZE;
    sid.assign(size, 0);
    return ::CreateWellKnownSid(type, nullptr, sid.data(), &size) != FALSE;
}

// This process's account, when it is an administrator (else empty).
std::vector<BYTE> AdministratorAccount() {
    std::vector<BYTE> administrators;
    BOOL member = FALSE;
    if (!SidOf(WinBuiltinAdministratorsSid, administrators) ||
        !::CheckTokenMembership(nullptr, administrators.data(), &member) || !member)
        return {};
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return {};
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return {};
    const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    return std::vector<BYTE>(bytes, bytes + ::GetLengthSid(sid));
}

// One explicit ACL for every object of the folder: the same grants as
// Program Files' own folders.
struct ProtectionAcl {
    std::vector<BYTE> administrators, system, users;
    PACL acl = nullptr;
    DWORD error = ERROR_SUCCESS;

    ProtectionAcl() {
        if (!SidOf(WinBuiltinAdministratorsSid, administrators) || !SidOf(WinLocalSystemSid, system) ||
            !SidOf(WinBuiltinUsersSid, users)) {
            error = ::GetLastError();
            return;
        }
        const struct {
            BYTE* sid;
            DWORD rights;
        } grants[] = {{administrators.data(), GENERIC_ALL},
                      {system.data(), GENERIC_ALL},
                      {users.data(), GENERIC_READ | GENERIC_EXECUTE}};
        EXPLICIT_ACCESSW entries[3] = {};
        for (int i = 0; i < 3; ++i) {
            entries[i].grfAccessPermissions = grants[i].rights;
            entries[i].grfAccessMode = SET_ACCESS;
            entries[i].grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
            entries[i].Trustee.TrusteeForm = TRUSTEE_IS_SID;
            entries[i].Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
            entries[i].Trustee.ptstrName = reinterpret_cast<LPWSTR>(grants[i].sid);
        }
        error = ::SetEntriesInAclW(3, entries, nullptr, &acl);
    }
    ~ProtectionAcl() {
        if (acl) ::LocalFree(acl);
    }
    ProtectionAcl(const ProtectionAcl&) = delete;
    ProtectionAcl& operator=(const ProtectionAcl&) = delete;
};

// Administrators and SYSTEM only: what a staging folder gets.
DWORD AdministratorsOnlyDescriptor(std::unique_ptr<void, LocalFreeDeleter>& descriptor) {
    PSECURITY_DESCRIPTOR made = nullptr;
    // Owner Administrators; protected DACL; full control for SYSTEM and
    // Administrators, inherited by everything below.
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)",
                                                                 SDDL_REVISION_1, &made, nullptr))
        return ::GetLastError();
    descriptor.reset(made);
    return ERROR_SUCCESS;
}

}  // namespace

bool IsTrustedOwner(PSID owner, PSID setupUser) {
    if (!owner || !::IsValidSid(owner)) return false;
    if (::IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || ::IsWellKnownSid(owner, WinLocalSystemSid))
        return true;
    PSID trustedInstaller = nullptr;
    if (::ConvertStringSidToSidW(kTrustedInstallerSid, &trustedInstaller)) {
        const bool same = ::EqualSid(owner, trustedInstaller) != FALSE;
        ::LocalFree(trustedInstaller);
        if (same) return true;
    }
    return setupUser && ::IsValidSid(setupUser) && ::EqualSid(owner, setupUser);
}

bool HasTrustedOwner(const std::wstring& path) {
    static const std::vector<BYTE> setupUser = AdministratorAccount();
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    const bool trusted = IsTrustedOwner(owner, setupUser.empty() ? nullptr : const_cast<BYTE*>(setupUser.data()));
    ::LocalFree(descriptor);
    return trusted;
}

bool OnlyTrustedCanChange(PACL acl, PSID setupUser) {
    if (!acl) return false;
    const ACCESS_MASK changes = GENERIC_ALL | GENERIC_WRITE | FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER;
    ACL_SIZE_INFORMATION size = {};
    if (!::GetAclInformation(acl, &size, sizeof(size), AclSizeInformation)) return false;
    for (DWORD i = 0; i < size.AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(acl, i, &ace)) return false;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;  // a deny, audit or object entry grants nothing here
        if (header->AceFlags & INHERIT_ONLY_ACE) continue;
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        if (!(allowed->Mask & changes)) continue;
        PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        if (!IsTrustedOwner(sid, setupUser) && !::IsWellKnownSid(sid, WinCreatorOwnerSid)) return false;
    }
    return true;
}

bool HasTrustedDacl(const std::wstring& path) {
    static const std::vector<BYTE> setupUser = AdministratorAccount();
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    const bool trusted = OnlyTrustedCanChange(dacl, setupUser.empty() ? nullptr : const_cast<BYTE*>(setupUser.data()));
    ::LocalFree(descriptor);
    return trusted;
}

DWORD ProtectObject(const std::wstring& path) {
    static const ProtectionAcl protection;
    if (protection.error != ERROR_SUCCESS) return protection.error;
    std::wstring name = path;
    return ::SetNamedSecurityInfoW(&name[0], SE_FILE_OBJECT,
                                   OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                       PROTECTED_DACL_SECURITY_INFORMATION,
                                   const_cast<BYTE*>(protection.administrators.data()), nullptr, protection.acl,
                                   nullptr);
}

std::wstring CreatePrivateFolder(const std::wstring& parent, const std::wstring& prefix, DWORD& error) {
    std::unique_ptr<void, LocalFreeDeleter> descriptor;
    error = AdministratorsOnlyDescriptor(descriptor);
    if (error != ERROR_SUCCESS) return std::wstring();
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.get(), FALSE};
    ::CreateDirectoryW(parent.c_str(), nullptr);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::wstring folder = parent + L"\\" + prefix + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                    std::to_wstring(::GetTickCount64() + attempt);
        // Fails when the name exists: a folder someone made first is never
        // taken, whatever its permissions say.
        if (::CreateDirectoryW(folder.c_str(), &attributes)) {
            error = ERROR_SUCCESS;
            return folder;
        }
        error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS) return std::wstring();
    }
    return std::wstring();
}

void RemoveFolderTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found = {};
    HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            const bool directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (directory && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                RemoveFolderTree(path);
            } else if (directory) {
                ::RemoveDirectoryW(path.c_str());  // the link only, never what it leads to
            } else if (!::DeleteFileW(path.c_str())) {
                ::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
            }
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }
    if (!::RemoveDirectoryW(folder.c_str())) ::MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}
