// The install folder check and the list of names the uninstaller may
// delete, decided on what the disk shows. Wine stores no owners (every path
// reads as the same account) and makes no junctions (mklink /j fails), so
// the decision is tested on entries as Windows would report them, and the
// reading of the disk where Wine can show it.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "installer/setup_helper/folder_security.h"
#include "installer/setup_helper/install_folder.h"
#include "installer/setup_helper/pending_restart.h"
#include "tests/support/child_process.h"

namespace {

FolderEntry Top(bool reparse = false, bool trusted = true) { return {L"", true, reparse, trusted}; }
FolderEntry Dir(const wchar_t* name, bool reparse = false, bool trusted = true) { return {name, true, reparse, trusted}; }
FolderEntry File(const wchar_t* name, bool trusted = true) { return {name, false, false, trusted}; }

std::string Describe(const std::vector<RefusedEntry>& refused) {
    std::string text;
    for (const RefusedEntry& entry : refused) {
        text += "[" + ToUtf8(entry.relative) + ":" +
                (entry.why == Refusal::NotOurs ? "not ours" : entry.why == Refusal::Owner ? "owner" : "reparse") + "]";
    }
    return text;
}

TEST(InstallFolderCheck, RefusesWhatAUserCouldHaveMadeFirst) {
    const std::vector<std::wstring> fullList = {L"QvPushServer.exe", L"QvShow.exe", L"QvGraph.exe", L"QvCamera.dll",
                                                L"x86\\QvCamera.dll", L"install.log", L"uninstall.exe",
                                                L"uninstall.dat", L"install.files"};
    const struct {
        const char* what;
        std::vector<FolderEntry> entries;
        std::vector<std::wstring> list;
        bool registered;
        std::string refused;
    } cases[] = {
        {"a new folder", {}, {}, false, ""},
        {"an empty folder", {Top()}, {}, false, ""},
        {"a junction as the folder", {Top(true)}, {}, false, "[:reparse]"},
        {"a folder a user made", {Top(false, false)}, {}, false, "[:owner]"},
        {"an empty subfolder", {Top(), Dir(L"plugins")}, {}, false, "[plugins\\:not ours]"},
        {"an empty x86 made first", {Top(), Dir(L"x86")}, {}, false, "[x86\\:not ours]"},
        {"x86 of an installation", {Top(), Dir(L"x86"), File(L"x86\\QvCamera.dll"), File(L"install.files")},
         fullList, false, ""},
        {"x86 that a user owns", {Top(), Dir(L"x86", false, false), File(L"x86\\QvCamera.dll")}, fullList, false,
         "[x86\\:owner]"},
        {"x86 as a junction", {Top(), Dir(L"x86", true)}, fullList, false, "[x86\\:reparse]"},
        {"a camera a user swapped", {Top(), File(L"QvCamera.dll", false)}, fullList, false, "[QvCamera.dll:owner]"},
        {"after a rollback", {Top(), File(L"install.log")}, {}, false, ""},
        {"after an uninstallation kept ffmpeg.exe", {Top(), File(L"ffmpeg.exe")}, {}, false, ""},
        {"after a carried FFmpeg's uninstallation",
         {Top(), File(L"ffmpeg.exe"), File(L"ffmpeg-LICENSE.txt"), File(L"ffmpeg-version.txt")}, {}, false, ""},
        {"a listed file that no installer writes", {Top(), File(L"readme.txt"), File(L"install.files")},
         {L"readme.txt"}, false, "[readme.txt:not ours]"},
        {"a program without a list", {Top(), File(L"QvPushServer.exe")}, {}, false, "[QvPushServer.exe:not ours]"},
        {"a version before the list", {Top(), File(L"QvPushServer.exe"), File(L"uninstall.exe")}, {}, true, ""},
        {"a list of nothing but traps", {Top(), File(L"QvShow.exe"), File(L"install.files")},
         {L"..\\QvShow.exe", L"C:\\QvShow.exe", L"*"}, false, "[QvShow.exe:not ours]"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.refused, Describe(RefusedEntries(c.entries, c.list, c.registered))) << c.what;
    }
}

TEST(InstallFolderCheck, UninstallerDeletesOnlyNamesTheInstallerWrites) {
    const struct {
        const wchar_t* line;
        bool ours;
    } cases[] = {
        {L"QvPushServer.exe", true},       {L"qvcamera.DLL", true},          {L"x86\\QvCamera.dll", true},
        {L"x86\\QvCamera.dll.new", true},  {L"uninstall.exe", true},         {L"uninstall.dat", true},
        {L"install.log", true},            {L"ffmpeg-version.txt", true},    {L"..\\QvPushServer.exe", false},
        {L"..\\..\\Windows\\System32", false}, {L"C:\\Windows\\win.ini", false}, {L"\\Windows\\win.ini", false},
        {L"*", false},                     {L"*.exe", false},                {L"x86\\..\\..\\QvCamera.dll", false},
        {L"x86", false},                   {L"x86\\", false},                {L"readme.txt", false},
        {L"\\\\?\\C:\\x", false},          {L"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(c.ours, IsInstallerFileName(c.line)) << ToUtf8(c.line);
}

PSID Sid(const wchar_t* text) {
    PSID sid = nullptr;
    ::ConvertStringSidToSidW(text, &sid);
    return sid;  // freed by the process's end
}

TEST(InstallFolderCheck, TrustsOnlyAccountsAUserCannotBe) {
    PSID setupUser = Sid(L"S-1-5-21-1000-2000-3000-500");
    const struct {
        const wchar_t* sid;
        bool trusted;
    } cases[] = {
        {L"S-1-5-32-544", true},                                                        // Administrators
        {L"S-1-5-18", true},                                                            // SYSTEM
        {L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", true},      // TrustedInstaller
        {L"S-1-5-21-1000-2000-3000-500", true},                                         // the setup's administrator
        {L"S-1-5-32-545", false},                                                       // Users
        {L"S-1-1-0", false},                                                            // Everyone
        {L"S-1-5-11", false},                                                           // Authenticated Users
        {L"S-1-5-21-1000-2000-3000-1001", false},                                       // a standard user
        {L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478465", false},     // a look-alike service
    };
    for (const auto& c : cases) EXPECT_EQ(c.trusted, IsTrustedOwner(Sid(c.sid), setupUser)) << ToUtf8(c.sid);
    EXPECT_FALSE(IsTrustedOwner(Sid(L"S-1-5-21-1000-2000-3000-500"), nullptr)) << "an account that is no administrator";
    EXPECT_FALSE(IsTrustedOwner(nullptr, setupUser));
}

// Whether an old copy's folder may have been changed by a user, from its
// permissions (SDDL as Windows would report them).
TEST(InstallFolderCheck, TrustsOnlyPermissionsThatLetNoUserChangeTheFolder) {
    PSID setupUser = Sid(L"S-1-5-21-1000-2000-3000-500");
    const struct {
        const wchar_t* sddl;
        bool trusted;
    } cases[] = {
        {L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)", true},   // what protection sets
        {L"D:P(A;OICI;FA;;;BA)(A;OICIIO;FA;;;CO)(A;OICI;GRGX;;;BU)", true},       // Program Files' kind
        {L"D:P(A;OICI;FA;;;S-1-5-21-1000-2000-3000-500)", true},                  // the setup's administrator
        {L"D:P(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;BU)", false},                  // users may modify
        {L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;AU)", false},                        // authenticated users full
        {L"D:P(A;OICI;FA;;;BA)(A;OICI;WD;;;WD)", false},                        // everyone may change the DACL
        {L"D:P(A;OICI;FA;;;BA)(A;OICI;SD;;;S-1-5-21-1000-2000-3000-1001)", false},  // a user may delete
        {L"D:P(A;OICIIO;FA;;;BU)(A;OICI;FA;;;BA)", true},                       // inherit-only: not on this object
        {L"D:P(D;OICI;FA;;;BU)(A;OICI;FA;;;BA)", true},                         // a deny grants nothing
    };
    for (const auto& c : cases) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(c.sddl, SDDL_REVISION_1, &descriptor,
                                                                            nullptr))
            << ToUtf8(c.sddl);
        BOOL present = FALSE;
        BOOL defaulted = FALSE;
        PACL dacl = nullptr;
        ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
        EXPECT_EQ(c.trusted, OnlyTrustedCanChange(dacl, setupUser)) << ToUtf8(c.sddl);
        ::LocalFree(descriptor);
    }
    EXPECT_FALSE(OnlyTrustedCanChange(nullptr, setupUser)) << "a null DACL lets everyone in";
}

TEST(InstallFolderCheck, FindsRestartOperationsInTheFolder) {
    const std::wstring value = std::wstring(L"\\??\\C:\\Program Files\\QvPush\\QvCamera.dll") + L'\0' + L"" + L'\0' +
                               L"\\??\\C:\\Temp\\nsA.tmp" + L'\0' + L"!\\??\\C:\\Program Files\\QvPush\\x86\\QvCamera.dll" +
                               L'\0' + L"\\??\\C:\\Program Files\\QvPushOther\\a.dll" + L'\0' + L'\0';
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\Program Files\\QvPush\\QvCamera.dll",
                                         L"C:\\Program Files\\QvPush\\x86\\QvCamera.dll"}),
              PendingPathsIn(value, L"C:\\Program Files\\QvPush"));
    EXPECT_TRUE(PendingPathsIn(value, L"C:\\Program Files\\QvPush\\x86\\none").empty());
    EXPECT_TRUE(PendingPathsIn(std::wstring(), L"C:\\Program Files\\QvPush").empty());
}

class InstallFolderOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"qv-install-folder-" + std::to_wstring(::GetCurrentProcessId());
        ASSERT_TRUE(::CreateDirectoryW(m_folder.c_str(), nullptr));
    }
    void TearDown() override { RemoveFolderTree(m_folder); }
    void Write(const std::wstring& name) {
        HANDLE file = ::CreateFileW((m_folder + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file) << ToUtf8(name);
        ::CloseHandle(file);
    }
    std::wstring m_folder;
};

// What Wine can show: the walk, the empty subfolder, and that this
// administrator's own objects pass the owner test.
TEST_F(InstallFolderOnDisk, ReadsEveryObjectAndRefusesAnEmptySubfolder) {
    ASSERT_TRUE(::CreateDirectoryW((m_folder + L"\\x86").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((m_folder + L"\\empty").c_str(), nullptr));
    Write(L"install.log");
    Write(L"x86\\QvCamera.dll");
    const std::vector<FolderEntry> entries = ReadFolderEntries(m_folder);
    ASSERT_EQ(5u, entries.size());
    for (const FolderEntry& entry : entries) {
        EXPECT_TRUE(entry.trustedOwner) << ToUtf8(entry.relative);
        EXPECT_FALSE(entry.reparsePoint) << ToUtf8(entry.relative);
    }
    EXPECT_EQ("[empty\\:not ours][x86\\:not ours][x86\\QvCamera.dll:not ours]", Describe(CheckFolder(m_folder, false)));
    EXPECT_EQ((std::vector<std::wstring>{L"install.log", L"x86\\QvCamera.dll"}), FilesBelow(m_folder));
}

TEST_F(InstallFolderOnDisk, ProtectsEveryObjectAndKeepsThemReadable) {
    ASSERT_TRUE(::CreateDirectoryW((m_folder + L"\\x86").c_str(), nullptr));
    Write(L"x86\\QvCamera.dll");
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), ProtectFolder(m_folder));
    // What Wine reads back after it (it keeps mode bits, not the DACL).
    std::printf("protected folder's DACL reads as trusted here: %s\n", HasTrustedDacl(m_folder) ? "yes" : "no");
    HANDLE file = ::CreateFileW((m_folder + L"\\x86\\QvCamera.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, file);
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), ProtectFolder(m_folder + L"\\none"));
}

TEST_F(InstallFolderOnDisk, PrivateFolderIsNeverOneThatExists) {
    DWORD error = 0;
    const std::wstring first = CreatePrivateFolder(m_folder, L"stage-", error);
    ASSERT_FALSE(first.empty()) << error;
    const std::wstring second = CreatePrivateFolder(m_folder, L"stage-", error);
    ASSERT_FALSE(second.empty()) << error;
    EXPECT_NE(first, second);
}

}  // namespace
