// The installer as an administrator runs it, in a fresh Wine prefix of its
// own (installer_test.sh makes it): a silent installation of an older
// version, an upgrade over that copy while it runs, a move to another
// folder with the administrator's switches, and the uninstaller. The tests
// run in this order and each starts from the state the one before left.
#include <windows.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "camera/filter/camera_identity.h"
#include "tests/camera/module/device_registry.h"
#include "tests/installer/installed_copy.h"

namespace {

const wchar_t kPreviousVersion[] = L"0.9.0";
const wchar_t kCurrentVersion[] = L"1.0.0";
// The daemon's greeting ends with the protocol version.
const char kGreetingEnd[] = "$1.0.0";
const DWORD kDaemonStartMs = 30000;

std::wstring BuildDir() { return TestBinDir() + L"..\\"; }
std::wstring CurrentSetup() { return BuildDir() + L"installer\\QvPushSetup.exe"; }
std::wstring PreviousSetup() { return BuildDir() + L"installer-test\\QvPushSetup-0.9.0.exe"; }

// Each installed file and where the installer took it from.
struct Payload {
    const wchar_t* installed;
    std::wstring source;
};
std::vector<Payload> PayloadOf(const std::wstring& bin, const std::wstring& x86Bin) {
    return {{L"QvPushServer.exe", bin + L"QvPushServer.exe"}, {L"QvShow.exe", bin + L"QvShow.exe"},
            {L"QvGraph.exe", bin + L"QvGraph.exe"},           {L"QvCamera.dll", bin + L"QvCamera.dll"},
            {L"x86\\QvCamera.dll", x86Bin + L"QvCamera.dll"}};
}
std::vector<Payload> CurrentPayload() { return PayloadOf(TestBinDir(), BuildDir() + L"x86\\bin\\"); }
std::vector<Payload> PreviousPayload() {
    return PayloadOf(BuildDir() + L"installer-test\\previous\\bin\\", BuildDir() + L"installer-test\\previous\\x86\\");
}

void PrintTime(const char* what, const SetupRun& setup) { std::printf("%s took %.1f s\n", what, setup.seconds); }

void ExpectSetupRan(const SetupRun& setup) {
    ASSERT_TRUE(setup.run.started);
    ASSERT_FALSE(setup.run.timedOut);
    ASSERT_EQ(0u, setup.run.exitCode);
}

std::vector<RunningProgram> Daemons() { return RunningPrograms(L"QvPushServer.exe"); }

class InstallerFlow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ::CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    static void TearDownTestSuite() { ::CoUninitialize(); }

    // Everything an installation of `version` from `payload` into `folder`
    // must have left.
    static void ExpectInstalled(const std::wstring& folder, const std::vector<Payload>& payload,
                                const std::wstring& version) {
        // Files: the payload byte for byte, the log and the uninstaller.
        std::vector<std::wstring> expected = {L"install.log", L"uninstall.exe"};
        for (const Payload& file : payload) {
            expected.push_back(file.installed);
            EXPECT_EQ(ReadFileBytes(file.source), ReadFileBytes(folder + L"\\" + file.installed))
                << ToUtf8(file.installed) << " differs from " << ToUtf8(file.source);
        }
        const std::string log = ReadInstallLog(folder);
        if (::GetFileAttributesW((folder + L"\\ffmpeg.exe").c_str()) != INVALID_FILE_ATTRIBUTES) {
            expected.push_back(L"ffmpeg.exe");
            if (log.find("FFmpeg installed") != std::string::npos) expected.push_back(L"ffmpeg-LICENSE.txt");
        } else {
            EXPECT_NE(std::string::npos, log.find("Put a Windows build of ffmpeg.exe into " + ToUtf8(folder)))
                << log;
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(expected, FilesBelow(folder));

        // The 32-bit camera is registered where 32-bit programs run, and
        // skipped with a note where they cannot (this machine).
        const bool wow64 = ::GetFileAttributesW(L"C:\\windows\\syswow64\\regsvr32.exe") != INVALID_FILE_ATTRIBUTES;
        EXPECT_NE(std::string::npos, log.find(wow64 ? "32-bit camera registered" : "32-bit camera not registered"))
            << log;

        // One COM class and one video capture device, from this folder.
        const std::wstring classKey = L"CLSID\\" + GuidText(CLSID_VirtualCamera);
        std::wstring text;
        EXPECT_TRUE(ReadRegistryString(HKEY_CLASSES_ROOT, classKey, nullptr, text) &&
                    text == kCameraFriendlyName);
        EXPECT_TRUE(ReadRegistryString(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", nullptr, text));
        EXPECT_EQ(ToUtf8(folder + L"\\QvCamera.dll"), ToUtf8(text));
        EXPECT_EQ(1u, VideoInputInstancesOf(CLSID_VirtualCamera).size());
        const auto devices = DevicesOfClass(CLSID_VideoInputDeviceCategory, CLSID_VirtualCamera);
        ASSERT_EQ(1u, devices.size());
        EXPECT_EQ(ToUtf8(kCameraFriendlyName), ToUtf8(devices[0].friendlyName));

        const std::wstring quoted = L"\"" + folder + L"\\uninstall.exe\"";
        const struct {
            const wchar_t* value;
            std::wstring expected;
        } entry[] = {{L"DisplayName", L"QvPush"},
                     {L"DisplayVersion", version},
                     {L"Publisher", L"QvPush"},
                     {L"InstallLocation", folder},
                     {L"UninstallString", quoted},
                     {L"QuietUninstallString", quoted + L" /S"}};
        for (const auto& row : entry) {
            EXPECT_TRUE(ReadRegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, row.value, text) && text == row.expected)
                << ToUtf8(row.value) << " = " << ToUtf8(text);
        }
        DWORD sizeKb = 0;
        EXPECT_TRUE(ReadRegistryDword(HKEY_LOCAL_MACHINE, kUninstallKey, L"EstimatedSize", sizeKb));
        EXPECT_GE(sizeKb, ReadFileBytes(folder + L"\\QvPushServer.exe").size() / 1024);
    }

    // The daemon: exactly one, from this folder, serving the port.
    static void ExpectServing(const std::wstring& folder) {
        const std::string greeting = ReadGreeting(kDaemonStartMs);
        EXPECT_TRUE(greeting.size() >= sizeof(kGreetingEnd) - 1 &&
                    greeting.compare(greeting.size() - (sizeof(kGreetingEnd) - 1), std::string::npos, kGreetingEnd) == 0)
            << "greeting: " << greeting;
        const auto daemons = Daemons();
        ASSERT_EQ(1u, daemons.size());
        EXPECT_EQ(ToUtf8(folder + L"\\QvPushServer.exe"), ToUtf8(daemons[0].image));
    }

    // Nothing of ours in files, registry, device list, processes, port.
    static void ExpectNothingLeft(const std::wstring& folder) {
        EXPECT_FALSE(FolderExists(folder)) << "left: " << ::testing::PrintToString(FilesBelow(folder));
        EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidText(CLSID_VirtualCamera)));
        EXPECT_TRUE(VideoInputInstancesOf(CLSID_VirtualCamera).empty());
        EXPECT_TRUE(DevicesOfClass(CLSID_VideoInputDeviceCategory, CLSID_VirtualCamera).empty());
        EXPECT_TRUE(DevicesOfClass(CLSID_LegacyAmFilterCategory, CLSID_VirtualCamera).empty());
        std::wstring text;
        EXPECT_FALSE(ReadRegistryString(HKEY_CURRENT_USER, kRunKey, kRunValue, text)) << ToUtf8(text);
        EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, kUserKey));
        EXPECT_TRUE(Daemons().empty());
        EXPECT_EQ("", ReadGreeting(0));
    }
};

TEST_F(InstallerFlow, SilentInstallIntoProgramFiles) {
    const std::wstring folder = DefaultInstallFolder();
    ASSERT_FALSE(FolderExists(folder)) << "the prefix is not fresh";
    ASSERT_EQ("", ReadGreeting(0)) << "something already serves the command port";

    const SetupRun setup = RunSetup(PreviousSetup(), L"/S");
    PrintTime("silent installation", setup);
    ExpectSetupRan(setup);
    ExpectInstalled(folder, PreviousPayload(), kPreviousVersion);
    ExpectServing(folder);
    std::wstring run;
    EXPECT_TRUE(ReadRegistryString(HKEY_CURRENT_USER, kRunKey, kRunValue, run));
    EXPECT_EQ(ToUtf8(L"\"" + folder + L"\\QvPushServer.exe\""), ToUtf8(run));
}

TEST_F(InstallerFlow, UpgradeOverTheRunningCopy) {
    const std::wstring folder = DefaultInstallFolder();
    const auto before = Daemons();
    ASSERT_EQ(1u, before.size()) << "the installed copy is not running";
    // An FFmpeg the user put beside the encoder, running: it must be ended
    // before files are replaced, and left in place.
    const std::wstring userFfmpeg = folder + L"\\ffmpeg.exe";
    const bool addFfmpeg = ::GetFileAttributesW(userFfmpeg.c_str()) == INVALID_FILE_ATTRIBUTES;
    if (addFfmpeg) {
        ASSERT_TRUE(::CopyFileW((TestBinDir() + L"installer_test_lingering_program.exe").c_str(), userFfmpeg.c_str(),
                                TRUE));
        ASSERT_TRUE(StartDetached(userFfmpeg));
        ASSERT_EQ(1u, RunningPrograms(L"ffmpeg.exe").size());
    }

    // Also takes back the log-on start that the first installation chose.
    const SetupRun setup = RunSetup(CurrentSetup(), L"/S /NOAUTOSTART");
    PrintTime("upgrade over the running copy", setup);
    ExpectSetupRan(setup);
    ExpectInstalled(folder, CurrentPayload(), kCurrentVersion);
    ExpectServing(folder);
    const auto after = Daemons();
    ASSERT_EQ(1u, after.size());
    EXPECT_NE(before[0].processId, after[0].processId) << "the old daemon still runs";
    if (addFfmpeg) {
        EXPECT_TRUE(RunningPrograms(L"ffmpeg.exe").empty()) << "the user's FFmpeg still runs";
    }
    const std::string log = ReadInstallLog(folder);
    EXPECT_NE(std::string::npos, log.find("1 daemon(s) asked to exit, 1 exited")) << log;
    std::wstring run;
    EXPECT_FALSE(ReadRegistryString(HKEY_CURRENT_USER, kRunKey, kRunValue, run)) << ToUtf8(run);
}

const wchar_t kOtherFolder[] = L"C:\\QvPush 测试";

// Installing into another folder removes the copy in the old one (keeping
// the user's settings); /NOSTART leaves the start at the end out.
TEST_F(InstallerFlow, MoveToAnotherFolderWithoutStart) {
    ASSERT_TRUE(FolderExists(DefaultInstallFolder()));
    // What the browser side keeps for the user.
    HKEY user = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, kUserKey, 0, nullptr, 0, KEY_WRITE, nullptr, &user,
                                               nullptr));
    ::RegSetValueExW(user, L"LastRoom", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"room1"), 12);
    ::RegCloseKey(user);

    const SetupRun setup = RunSetup(CurrentSetup(), std::wstring(L"/S /NOSTART /D=") + kOtherFolder);
    PrintTime("installation into another folder", setup);
    ExpectSetupRan(setup);
    EXPECT_FALSE(FolderExists(DefaultInstallFolder())) << ::testing::PrintToString(FilesBelow(DefaultInstallFolder()));
    ExpectInstalled(kOtherFolder, CurrentPayload(), kCurrentVersion);
    EXPECT_TRUE(RegistryKeyExists(HKEY_CURRENT_USER, kUserKey)) << "the user's settings went with the old copy";
    std::wstring run;
    EXPECT_TRUE(ReadRegistryString(HKEY_CURRENT_USER, kRunKey, kRunValue, run));
    EXPECT_EQ(ToUtf8(L"\"" + std::wstring(kOtherFolder) + L"\\QvPushServer.exe\""), ToUtf8(run));
    EXPECT_TRUE(Daemons().empty());
    EXPECT_NE(std::string::npos, ReadInstallLog(kOtherFolder).find("Not started (/NOSTART)"));
}

TEST_F(InstallerFlow, UninstallerLeavesNothing) {
    ASSERT_TRUE(StartDetached(std::wstring(kOtherFolder) + L"\\QvPushServer.exe"));
    ExpectServing(kOtherFolder);

    const SetupRun setup = RunQuietUninstall();
    PrintTime("silent uninstallation", setup);
    ExpectSetupRan(setup);
    ExpectNothingLeft(kOtherFolder);
}

}  // namespace
