// The installer as an administrator runs it, in a fresh Wine prefix of its
// own (installer_test.sh makes it): a silent installation of an older
// version as a deployment tool runs it, an upgrade over that copy while it
// runs and a capture program holds its camera, folders that are not ours
// alone, a move to another folder with the administrator's switches, an
// in-place upgrade whose camera cannot load or cannot register, the
// uninstaller and a list turned against it, the setups that follow an
// uninstallation (one waiting for its restart), a rollback, and an FFmpeg
// the installer carries. The tests run in this order and each starts from
// the state the one before left.
#include <windows.h>
#include <dshow.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "camera/filter/camera_identity.h"
#include "tests/camera/module/device_registry.h"
#include "installer/setup_helper/folder_security.h"
#include "tests/installer/installed_copy.h"
#include "tests/installer/unregistrable_camera.h"

namespace {

const wchar_t kPreviousVersion[] = L"0.9.0";
const wchar_t kCurrentVersion[] = L"1.0.0";
// The daemon's greeting ends with the protocol version.
const char kGreetingEnd[] = "$1.0.0";
const DWORD kDaemonStartMs = 30000;

std::wstring BuildDir() { return TestBinDir() + L"..\\"; }
std::wstring CurrentSetup() { return BuildDir() + L"installer\\QvPushSetup.exe"; }
std::wstring PreviousSetup() { return BuildDir() + L"installer-test\\QvPushSetup-0.9.0.exe"; }
std::wstring FfmpegSetup() { return BuildDir() + L"installer-test\\QvPushSetup-ffmpeg.exe"; }
std::wstring UnregistrableSetup() { return BuildDir() + L"installer-test\\QvPushSetup-unregistrable.exe"; }

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
std::vector<Payload> CurrentPayload() {
    return PayloadOf(BuildDir() + L"installer\\payload\\bin\\", BuildDir() + L"installer\\payload\\x86\\");
}
std::vector<Payload> PreviousPayload() {
    return PayloadOf(BuildDir() + L"installer-test\\previous\\bin\\", BuildDir() + L"installer-test\\previous\\x86\\");
}

void PrintTime(const char* what, const SetupRun& setup) { std::printf("%s took %.1f s\n", what, setup.seconds); }

void ExpectSetupRan(const SetupRun& setup, DWORD exitCode = 0) {
    ASSERT_TRUE(setup.run.started);
    ASSERT_FALSE(setup.run.timedOut);
    ASSERT_EQ(exitCode, setup.run.exitCode);
}

std::string RunValue(const std::wstring& folder) { return ToUtf8(L"\"" + folder + L"\\QvPushServer.exe\""); }

// The log-on start: per machine (64-bit view), never per user.
void ExpectLogOnStart(const std::wstring& folder) {
    std::wstring run;
    EXPECT_TRUE(ReadRegistryString(HKEY_LOCAL_MACHINE, kRunKey, kRunValue, run));
    EXPECT_EQ(RunValue(folder), ToUtf8(run));
    EXPECT_FALSE(ReadRegistryString(HKEY_CURRENT_USER, kRunKey, kRunValue, run)) << ToUtf8(run);
}

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

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
        std::vector<std::wstring> expected = {L"install.files", L"install.log", L"uninstall.dat", L"uninstall.exe"};
        for (const Payload& file : payload) {
            expected.push_back(file.installed);
            EXPECT_EQ(ReadFileBytes(file.source), ReadFileBytes(folder + L"\\" + file.installed))
                << ToUtf8(file.installed) << " differs from " << ToUtf8(file.source);
        }
        const std::string log = ReadInstallLog(folder);
        if (::GetFileAttributesW((folder + L"\\ffmpeg.exe").c_str()) != INVALID_FILE_ATTRIBUTES) {
            expected.push_back(L"ffmpeg.exe");
            if (log.find(ToUtf8(L"已安装 FFmpeg")) != std::string::npos) {
                expected.push_back(L"ffmpeg-LICENSE.txt");
                expected.push_back(L"ffmpeg-version.txt");
            }
        } else {
            // In the system's language (Chinese here).
            EXPECT_NE(std::string::npos, log.find(ToUtf8(L"请把 Windows 版 ffmpeg.exe 放到 " + folder))) << log;
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(expected, FilesBelow(folder));

        // The 32-bit camera is registered where 32-bit programs run, and
        // skipped with a note where they cannot (this machine).
        const bool wow64 = ::GetFileAttributesW(L"C:\\windows\\syswow64\\regsvr32.exe") != INVALID_FILE_ATTRIBUTES;
        EXPECT_NE(std::string::npos, log.find(ToUtf8(wow64 ? L"32 位摄像头已注册" : L"32 位摄像头未注册"))) << log;

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
        // An uninstaller run for this installation (a copy elsewhere) left no
        // removal of the entry for the next restart.
        EXPECT_FALSE(ReadRegistryString(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                                        L"QvPushUninstall", text))
            << ToUtf8(text);
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
        EXPECT_FALSE(ReadRegistryString(HKEY_LOCAL_MACHINE, kRunKey, kRunValue, text)) << ToUtf8(text);
        EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, kUserKey));
        EXPECT_TRUE(Daemons().empty());
        EXPECT_EQ("", ReadGreeting(0));
    }
};

// As a deployment tool runs it (SYSTEM): no route to the desktop user, so
// the daemon is not started at all; the log-on start brings it up. SYSTEM's
// temporary folder is Windows' own, where any user can make a folder first:
// here it is one a user made, and the setup unpacks nothing into it (NSIS's
// own start-up only tries that it can make a file there, an empty one it
// deletes again).
TEST_F(InstallerFlow, SilentInstallWithoutDesktopUserStartsNothing) {
    const std::wstring folder = DefaultInstallFolder();
    ASSERT_FALSE(FolderExists(folder)) << "the prefix is not fresh";
    ASSERT_EQ("", ReadGreeting(0)) << "something already serves the command port";

    const std::wstring userTemp = L"C:\\users\\Public\\Temp";
    ::CreateDirectoryW(userTemp.c_str(), nullptr);
    wchar_t temp[MAX_PATH] = {};
    wchar_t tmp[MAX_PATH] = {};
    ::GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH);
    ::GetEnvironmentVariableW(L"TMP", tmp, MAX_PATH);
    ::SetEnvironmentVariableW(L"TEMP", userTemp.c_str());
    ::SetEnvironmentVariableW(L"TMP", userTemp.c_str());
    FolderWatch watch(userTemp);
    ASSERT_TRUE(watch.Watching());
    const SetupRun setup = RunSetupWithoutElevation(PreviousSetup(), L"/S");
    const std::vector<std::wstring> made = watch.Made();
    for (const std::wstring& name : made) {
        const bool program = name.size() > 4 && (_wcsicmp(name.c_str() + name.size() - 4, L".exe") == 0 ||
                                                  _wcsicmp(name.c_str() + name.size() - 4, L".dll") == 0);
        EXPECT_TRUE(name.find(L'\\') == std::wstring::npos && !program)
            << "unpacked into a temporary folder a user could have made: " << ToUtf8(name);
    }
    EXPECT_TRUE(FilesBelow(userTemp).empty()) << ::testing::PrintToString(FilesBelow(userTemp));
    ::SetEnvironmentVariableW(L"TEMP", temp);
    ::SetEnvironmentVariableW(L"TMP", tmp);
    PrintTime("silent installation", setup);
    ExpectSetupRan(setup);
    ExpectInstalled(folder, PreviousPayload(), kPreviousVersion);
    EXPECT_TRUE(Daemons().empty());
    EXPECT_NE(std::string::npos, ReadInstallLog(folder).find(ToUtf8(L"未启动：没有可用的桌面外壳程序")));
    ExpectLogOnStart(folder);

    // What the log-on start does.
    ASSERT_TRUE(StartDetached(folder + L"\\QvPushServer.exe"));
    ExpectServing(folder);
}

// Under Wine the daemon is started with the setup's linked unelevated
// token (Wine has no shell window). The camera held by a capture program is
// replaced all the same: a loaded module can be renamed. A file held open
// without leave to rename it is put in place at the restart (exit 3010).
TEST_F(InstallerFlow, UpgradeOverTheRunningCopy) {
    const std::wstring folder = DefaultInstallFolder();
    const auto before = Daemons();
    ASSERT_EQ(1u, before.size()) << "the installed copy is not running";
    // An FFmpeg the user put beside the encoder, running: it must be ended
    // before files are replaced, and left in place.
    const std::wstring userFfmpeg = folder + L"\\ffmpeg.exe";
    const std::wstring lingering = TestBinDir() + L"installer_test_lingering_program.exe";
    ASSERT_TRUE(::CopyFileW(lingering.c_str(), userFfmpeg.c_str(), TRUE));
    ASSERT_TRUE(StartDetached(userFfmpeg));
    ASSERT_EQ(1u, RunningPrograms(L"ffmpeg.exe").size());
    ASSERT_TRUE(StartDetached(lingering, folder + L"\\QvCamera.dll"));
    // A program holding a file open without letting it be renamed (a
    // scanner, a backup tool): that file takes its place at the restart.
    const std::wstring x86Camera = folder + L"\\x86\\QvCamera.dll";
    HANDLE held = ::CreateFileW(x86Camera.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);

    // Also takes back the log-on start that the first installation chose.
    const SetupRun setup = RunSetup(CurrentSetup(), L"/S /NOAUTOSTART");
    PrintTime("upgrade over the running copy", setup);
    ::CloseHandle(held);
    ExpectSetupRan(setup, 3010);
    const std::string log = ReadInstallLog(folder);
    // A loaded module can be renamed: the camera is new at once.
    EXPECT_NE(std::string::npos, log.find(ToUtf8(L"已替换（旧文件在下次重启时删除）：QvCamera.dll"))) << log;
    EXPECT_NE(std::string::npos, log.find(ToUtf8(L"将在下次重启时替换：x86\\QvCamera.dll"))) << log;
    EXPECT_EQ(ReadFileBytes(CurrentPayload()[3].source), ReadFileBytes(folder + L"\\QvCamera.dll"));
    EXPECT_EQ(ReadFileBytes(PreviousPayload()[4].source), ReadFileBytes(x86Camera));
    // The restart: Wine's wineboot -r does what Windows does at boot.
    const ProgramResult restart = RunProgram(L"wineboot.exe -r", 60000);
    ASSERT_TRUE(restart.started && !restart.timedOut);
    ExpectInstalled(folder, CurrentPayload(), kCurrentVersion);
    for (const RunningProgram& holder : RunningPrograms(L"installer_test_lingering_program.exe")) {
        UniqueHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, holder.processId));
        if (process) ::TerminateProcess(process.get(), 0);
    }
    ExpectServing(folder);
    const auto after = Daemons();
    ASSERT_EQ(1u, after.size());
    EXPECT_NE(before[0].processId, after[0].processId) << "the old daemon still runs";
    EXPECT_TRUE(RunningPrograms(L"ffmpeg.exe").empty()) << "the user's FFmpeg still runs";
    EXPECT_NE(std::string::npos, log.find(ToUtf8(L"1 个服务程序被要求退出，1 个已退出"))) << log;
    EXPECT_NE(std::string::npos, log.find(ToUtf8(L"已以桌面用户身份启动（使用安装程序关联的未提升令牌）"))) << log;
    std::wstring run;
    EXPECT_FALSE(ReadRegistryString(HKEY_LOCAL_MACHINE, kRunKey, kRunValue, run)) << ToUtf8(run);
}

// Objects and names of the folder and below, for "nothing was written".
std::vector<std::wstring> EntriesOf(const std::wstring& folder) {
    std::vector<std::wstring> names;
    for (const FolderEntry& entry : ReadFolderEntries(folder)) names.push_back(entry.relative);
    std::sort(names.begin(), names.end());
    return names;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream file(path.c_str(), std::ios::binary);
    file.write(bytes.data(), bytes.size());
}

std::string Refusal() {
    std::wstring text;
    ReadRegistryString(HKEY_LOCAL_MACHINE, L"Software\\QvPush", L"SetupRefused", text);
    return ToUtf8(text);
}

// The setup whose camera cannot register, its camera failing as `mode` says.
SetupRun RunUnregistrableSetup(const wchar_t* mode, const std::wstring& arguments) {
    ::SetEnvironmentVariableW(kRegistrationModeVariable, mode);
    const SetupRun setup = RunSetup(UnregistrableSetup(), arguments);
    ::SetEnvironmentVariableW(kRegistrationModeVariable, nullptr);
    return setup;
}

// The setup helper's private registries still below HKLM\Software.
std::vector<std::wstring> RegistrationTrialsLeft() {
    std::vector<std::wstring> left;
    HKEY software = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_READ, &software) != ERROR_SUCCESS) return left;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (::RegEnumKeyExW(software, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if (std::wstring(name).find(L"registration trial") != std::wstring::npos) left.push_back(name);
    }
    ::RegCloseKey(software);
    return left;
}

// Nothing of what the probe camera wrote in the trial reached the machine.
void ExpectNoProbe() {
    const std::wstring key = L"CLSID\\" + GuidText(CLSID_RegistrationProbe);
    EXPECT_FALSE(RegistryKeyExists(HKEY_CLASSES_ROOT, key));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\" + key));
    EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\" + key));
    EXPECT_TRUE(VideoInputInstancesOf(CLSID_RegistrationProbe).empty());
    EXPECT_TRUE(DevicesOfClass(CLSID_VideoInputDeviceCategory, CLSID_RegistrationProbe).empty());
    EXPECT_EQ(std::vector<std::wstring>(), RegistrationTrialsLeft());
}

// A folder that is not ours alone: nothing is written, nothing is stopped,
// and the reason is where an administrator looks. A junction as the folder
// or below it is refused by the same check (install_folder_test; Wine
// cannot make junctions).
TEST_F(InstallerFlow, FolderNotOursAloneIsRefused) {
    const std::wstring lingering = TestBinDir() + L"installer_test_lingering_program.exe";
    const struct {
        const wchar_t* folder;
        const wchar_t* subfolder;  // made empty, as a user would make it first
        bool files;                // someone else's files
    } cases[] = {
        {L"C:\\Tools 测试", nullptr, true},
        {L"C:\\QvPush 空子文件夹", L"plugins", false},
        // Made first, it would stay the user's, who then swaps the 32-bit
        // camera that every 32-bit capture program loads.
        {L"C:\\QvPush x86", L"x86", false},
    };
    const auto daemons = Daemons();
    ASSERT_EQ(1u, daemons.size());
    for (const auto& c : cases) {
        const std::wstring folder = c.folder;
        ::CreateDirectoryW(folder.c_str(), nullptr);
        if (c.subfolder) {
            ASSERT_TRUE(::CreateDirectoryW((folder + L"\\" + c.subfolder).c_str(), nullptr));
        }
        if (c.files) {
            ASSERT_TRUE(::CopyFileW(lingering.c_str(), (folder + L"\\uninstall.exe").c_str(), FALSE));
            WriteBytes(folder + L"\\readme.txt", "mine\r\n");
        }
        const std::vector<std::wstring> before = EntriesOf(folder);

        const SetupRun setup = RunSetup(CurrentSetup(), L"/S /D=" + folder);
        ExpectSetupRan(setup, 2);
        EXPECT_EQ(before, EntriesOf(folder)) << ToUtf8(folder);
        EXPECT_EQ(0u, Refusal().find("2: ")) << Refusal();
        EXPECT_NE(std::string::npos, Refusal().find(ToUtf8(folder))) << Refusal();
        if (c.files) {
            const std::vector<BYTE> readme = ReadFileBytes(folder + L"\\readme.txt");
            EXPECT_EQ("mine\r\n", std::string(readme.begin(), readme.end()));
            EXPECT_EQ(ReadFileBytes(lingering), ReadFileBytes(folder + L"\\uninstall.exe"));
        }
        ASSERT_EQ(1u, Daemons().size());
        EXPECT_EQ(daemons[0].processId, Daemons()[0].processId) << "a refused installation stopped the running copy";
    }
}

const wchar_t kOtherFolder[] = L"C:\\QvPush 测试";

// Installing into another folder removes the copy in the old one (keeping
// the user's settings and carrying the user's FFmpeg over); /NOSTART leaves
// the start at the end out. Outside Program Files the folder gets Program
// Files' permissions.
TEST_F(InstallerFlow, MoveToAnotherFolderWithoutStart) {
    ASSERT_TRUE(FolderExists(DefaultInstallFolder()));
    ASSERT_TRUE(FileExists(DefaultInstallFolder() + L"\\ffmpeg.exe"));
    const std::vector<BYTE> userFfmpeg = ReadFileBytes(DefaultInstallFolder() + L"\\ffmpeg.exe");
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
    EXPECT_EQ(userFfmpeg, ReadFileBytes(std::wstring(kOtherFolder) + L"\\ffmpeg.exe")) << "the user's FFmpeg is lost";
    ExpectInstalled(kOtherFolder, CurrentPayload(), kCurrentVersion);
    EXPECT_TRUE(RegistryKeyExists(HKEY_CURRENT_USER, kUserKey)) << "the user's settings went with the old copy";
    ExpectLogOnStart(kOtherFolder);
    EXPECT_TRUE(Daemons().empty());
    EXPECT_NE(std::string::npos, ReadInstallLog(kOtherFolder).find("/NOSTART"));
    // The old folder (Program Files) was the administrators' alone: its own
    // uninstaller ran.
    EXPECT_NE(std::string::npos, ReadInstallLog(kOtherFolder).find(ToUtf8(L"旧副本的文件夹只属于 QvPush 且受保护")))
        << ReadInstallLog(kOtherFolder);

    // Wine keeps no security descriptor on files (it turns a DACL into Unix
    // mode bits and reads back a made-up one), so the call's success is
    // what can be seen here.
    EXPECT_NE(std::string::npos,
              ReadInstallLog(kOtherFolder)
                  .find(ToUtf8(L"已设置文件夹及其全部内容的权限（管理员和 SYSTEM 完全控制，用户读取和运行）：" +
                               std::wstring(kOtherFolder))));
}

// The new camera is tried from a staging copy before anything of the old
// installation is touched: one that cannot be registered leaves it exactly
// as it was (files, log, entry, camera), instead of rolling it back.
TEST_F(InstallerFlow, InPlaceUpgradeWhoseCameraCannotLoadLeavesTheOldOne) {
    const std::wstring folder = kOtherFolder;
    const std::vector<std::wstring> files = FilesBelow(folder);
    std::vector<std::vector<BYTE>> contents;
    for (const std::wstring& file : files) contents.push_back(ReadFileBytes(folder + L"\\" + file));
    // Wine's own switch: a module overridden as "" is never loaded.
    HKEY overrides = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", 0, nullptr, 0,
                                               KEY_WRITE, nullptr, &overrides, nullptr));
    ::RegSetValueExW(overrides, L"qvcamera", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), sizeof(wchar_t));
    const SetupRun setup = RunSetup(CurrentSetup(), L"/S /NOSTART /D=" + folder);
    ::RegDeleteValueW(overrides, L"qvcamera");
    ::RegCloseKey(overrides);

    ExpectSetupRan(setup, 2);
    EXPECT_EQ(0u, Refusal().find("2: ")) << Refusal();
    ASSERT_EQ(files, FilesBelow(folder));
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(contents[i], ReadFileBytes(folder + L"\\" + files[i])) << ToUtf8(files[i]) << " changed";
    }
    ExpectInstalled(folder, CurrentPayload(), kCurrentVersion);
    ExpectLogOnStart(folder);
}

// A camera that loads but whose registration fails, half way through, is
// refused by the register-test from the staging copy before the old
// installation is touched: files byte for byte, entry, log-on start and
// camera stay, and what it wrote stayed in the helper's private registry.
TEST_F(InstallerFlow, InPlaceUpgradeWhoseCameraCannotRegisterLeavesTheOldOne) {
    const std::wstring folder = kOtherFolder;
    const std::vector<std::wstring> files = FilesBelow(folder);
    std::vector<std::vector<BYTE>> contents;
    for (const std::wstring& file : files) contents.push_back(ReadFileBytes(folder + L"\\" + file));

    const SetupRun setup = RunUnregistrableSetup(L"always", L"/S /NOSTART /D=" + folder);
    PrintTime("upgrade refused by the register-test", setup);

    ExpectSetupRan(setup, 2);
    EXPECT_EQ(0u, Refusal().find("2: ")) << Refusal();
    EXPECT_NE(std::string::npos, Refusal().find("DllRegisterServer")) << Refusal();
    EXPECT_NE(std::string::npos, Refusal().find("0x80040201")) << Refusal();
    ASSERT_EQ(files, FilesBelow(folder));
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(contents[i], ReadFileBytes(folder + L"\\" + files[i])) << ToUtf8(files[i]) << " changed";
    }
    ExpectInstalled(folder, CurrentPayload(), kCurrentVersion);
    ExpectLogOnStart(folder);
    ExpectNoProbe();

    // The control: registered for real, the same camera does leave its
    // server key and its device behind.
    const std::wstring camera = BuildDir() + L"installer-test\\unregistrable-camera\\QvCamera.dll";
    ::SetEnvironmentVariableW(kRegistrationModeVariable, L"always");
    const ProgramResult regsvr32 = RunProgram(L"regsvr32.exe /s \"" + camera + L"\"", 60000);
    ::SetEnvironmentVariableW(kRegistrationModeVariable, nullptr);
    ASSERT_TRUE(regsvr32.started && !regsvr32.timedOut);
    EXPECT_NE(0u, regsvr32.exitCode);
    EXPECT_TRUE(RegistryKeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidText(CLSID_RegistrationProbe)));
    EXPECT_EQ(1u, DevicesOfClass(CLSID_VideoInputDeviceCategory, CLSID_RegistrationProbe).size());
    IFilterMapper2* mapper = nullptr;
    ASSERT_EQ(S_OK, ::CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&mapper)));
    mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, kRegistrationProbeName, CLSID_RegistrationProbe);
    mapper->Release();
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidText(CLSID_RegistrationProbe)).c_str());
    ::RegDeleteKeyW(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidText(CLSID_RegistrationProbe)).c_str());
    ExpectNoProbe();
}

// Exactly what was installed goes, and before the uninstaller returns; the
// user's FFmpeg stays. Lines a user slipped into the list (a way out of the
// folder, a rooted path, wildcards) delete nothing.
TEST_F(InstallerFlow, UninstallerLeavesNothingAndDeletesNothingElse) {
    ASSERT_TRUE(StartDetached(std::wstring(kOtherFolder) + L"\\QvPushServer.exe"));
    ExpectServing(kOtherFolder);
    const std::wstring victims[] = {L"C:\\qv-victim.txt", L"C:\\qv-victim-rooted.txt"};
    for (const std::wstring& victim : victims) WriteBytes(victim, "not QvPush's\r\n");
    const std::wstring traps[] = {L"..\\qv-victim.txt", L"C:\\qv-victim-rooted.txt", L"..\\*.txt", L"*",
                                  L"x86\\..\\..\\qv-victim.txt"};
    {
        std::ofstream list((std::wstring(kOtherFolder) + L"\\install.files").c_str(), std::ios::binary | std::ios::app);
        for (const std::wstring& trap : traps) {
            const std::wstring line = trap + L"\r\n";
            list.write(reinterpret_cast<const char*>(line.data()), line.size() * sizeof(wchar_t));
        }
    }

    const SetupRun setup = RunQuietUninstall();
    PrintTime("silent uninstallation", setup);
    ExpectSetupRan(setup);
    // At once: the uninstaller returned only when it was done.
    EXPECT_EQ(std::vector<std::wstring>{L"ffmpeg.exe"}, FilesBelow(kOtherFolder));
    EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    for (const std::wstring& victim : victims) {
        const std::vector<BYTE> bytes = ReadFileBytes(victim);
        EXPECT_EQ("not QvPush's\r\n", std::string(bytes.begin(), bytes.end()))
            << ToUtf8(victim) << " was deleted by the uninstaller";
        ::DeleteFileW(victim.c_str());
    }
}

// What an uninstallation leaves (the user's ffmpeg.exe) is ours: a setup
// into that folder goes ahead.
TEST_F(InstallerFlow, SetupAfterAnUninstallationThatKeptFfmpeg) {
    ASSERT_EQ(std::vector<std::wstring>{L"ffmpeg.exe"}, FilesBelow(kOtherFolder));
    const SetupRun setup = RunSetup(CurrentSetup(), std::wstring(L"/S /NOSTART /D=") + kOtherFolder);
    ExpectSetupRan(setup);
    ExpectInstalled(kOtherFolder, CurrentPayload(), kCurrentVersion);
    EXPECT_EQ("", Refusal());
}

// An uninstallation with a file in use queues its deletion and the removal
// of the Apps & Features entry for the restart, and says so (3010). A setup
// before the restart would see its new files deleted then: it takes back
// the queued removal of the entry and asks for the restart first (350).
TEST_F(InstallerFlow, ReinstallWaitsForTheRestartThatAnUninstallationQueued) {
    const std::wstring folder = kOtherFolder;
    const std::wstring camera = folder + L"\\QvCamera.dll";
    HANDLE held = ::CreateFileW(camera.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    const SetupRun uninstall = RunSetup(folder + L"\\uninstall.exe", L"/S");
    ExpectSetupRan(uninstall, 3010);
    EXPECT_EQ((std::vector<std::wstring>{L"QvCamera.dll", L"ffmpeg.exe"}), FilesBelow(folder));
    const wchar_t runOnce[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
    std::wstring text;
    EXPECT_TRUE(ReadRegistryString(HKEY_LOCAL_MACHINE, runOnce, L"QvPushUninstall", text));

    const SetupRun early = RunSetup(CurrentSetup(), L"/S /NOSTART /D=" + folder);
    ::CloseHandle(held);
    ExpectSetupRan(early, 350);
    EXPECT_FALSE(ReadRegistryString(HKEY_LOCAL_MACHINE, runOnce, L"QvPushUninstall", text)) << ToUtf8(text);
    EXPECT_EQ(0u, Refusal().find("350: ")) << Refusal();
    EXPECT_EQ((std::vector<std::wstring>{L"QvCamera.dll", L"ffmpeg.exe"}), FilesBelow(folder));

    const ProgramResult restart = RunProgram(L"wineboot.exe -r", 60000);
    ASSERT_TRUE(restart.started && !restart.timedOut);
    EXPECT_EQ(std::vector<std::wstring>{L"ffmpeg.exe"}, FilesBelow(folder));
    ExpectSetupRan(RunSetup(CurrentSetup(), L"/S /NOSTART /D=" + folder));
    ExpectInstalled(folder, CurrentPayload(), kCurrentVersion);

    ExpectSetupRan(RunQuietUninstall());
    EXPECT_EQ(std::vector<std::wstring>{L"ffmpeg.exe"}, FilesBelow(folder));
    ::DeleteFileW((folder + L"\\ffmpeg.exe").c_str());
    ::RemoveDirectoryW(folder.c_str());
    ExpectNothingLeft(folder);
}

// Without a camera that loads there is nothing to capture: refused before
// anything is written.
TEST_F(InstallerFlow, CameraThatCannotLoadIsRefusedBeforeAnythingIsWritten) {
    const std::wstring folder = DefaultInstallFolder();
    HKEY overrides = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", 0, nullptr, 0,
                                               KEY_WRITE, nullptr, &overrides, nullptr));
    ::RegSetValueExW(overrides, L"qvcamera", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), sizeof(wchar_t));
    const SetupRun setup = RunSetup(CurrentSetup(), L"/S /NOSTART");
    ::RegDeleteValueW(overrides, L"qvcamera");
    ::RegCloseKey(overrides);

    ExpectSetupRan(setup, 2);
    EXPECT_EQ(0u, Refusal().find("2: ")) << Refusal();
    EXPECT_NE(std::string::npos, Refusal().find("QvCamera.dll")) << Refusal();
    ExpectNothingLeft(folder);
}

// A registration that fails for real after the register-test passed rolls
// back what this setup wrote and nothing more: the user's FFmpeg, there
// before, stays byte for byte, and the log says why.
TEST_F(InstallerFlow, RollbackRemovesOnlyWhatTheSetupWrote) {
    const std::wstring folder = DefaultInstallFolder();
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring lingering = TestBinDir() + L"installer_test_lingering_program.exe";
    ASSERT_TRUE(::CopyFileW(lingering.c_str(), (folder + L"\\ffmpeg.exe").c_str(), FALSE));

    const SetupRun setup = RunUnregistrableSetup(L"outside-stage", L"/S /NOSTART");
    PrintTime("rolled back installation", setup);

    ExpectSetupRan(setup, 2);
    EXPECT_EQ((std::vector<std::wstring>{L"ffmpeg.exe", L"install.log"}), FilesBelow(folder));
    EXPECT_EQ(ReadFileBytes(lingering), ReadFileBytes(folder + L"\\ffmpeg.exe"));
    const std::string log = ReadInstallLog(folder);
    EXPECT_NE(std::string::npos, log.find(ToUtf8(L"64 位摄像头未注册：安装已回滚"))) << log;
    EXPECT_EQ(std::vector<std::wstring>(), RegistrationTrialsLeft());

    ::DeleteFileW((folder + L"\\ffmpeg.exe").c_str());
    ::DeleteFileW((folder + L"\\install.log").c_str());
    ::RemoveDirectoryW(folder.c_str());
    ExpectNothingLeft(folder);
}

// A carried FFmpeg comes with its licence and build configuration, and as
// a file of the installation it goes with the uninstaller. What a rollback
// leaves (the log) and what an upgrade by a build without FFmpeg leaves
// behind after its uninstallation (the carried FFmpeg and its texts) never
// make the next setup refuse the folder.
TEST_F(InstallerFlow, CarriedFfmpegAndLeftoversOfEarlierRuns) {
    const std::wstring folder = DefaultInstallFolder();
    // What a rollback leaves.
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    WriteBytes(folder + L"\\install.log", "\xFF\xFE");
    const SetupRun setup = RunSetup(FfmpegSetup(), L"/S /NOSTART");
    ExpectSetupRan(setup);
    ExpectInstalled(folder, CurrentPayload(), kCurrentVersion);
    const std::wstring carried = BuildDir() + L"installer-test\\carried-ffmpeg\\";
    EXPECT_EQ(ReadFileBytes(TestBinDir() + L"installer_test_lingering_program.exe"),
              ReadFileBytes(folder + L"\\ffmpeg.exe"));
    EXPECT_EQ(ReadFileBytes(carried + L"LICENSE.txt"), ReadFileBytes(folder + L"\\ffmpeg-LICENSE.txt"));
    EXPECT_EQ(ReadFileBytes(carried + L"version.txt"), ReadFileBytes(folder + L"\\ffmpeg-version.txt"));

    ExpectSetupRan(RunSetup(CurrentSetup(), L"/S /NOSTART"));
    ExpectSetupRan(RunQuietUninstall());
    EXPECT_EQ((std::vector<std::wstring>{L"ffmpeg-LICENSE.txt", L"ffmpeg-version.txt", L"ffmpeg.exe"}),
              FilesBelow(folder));
    ExpectSetupRan(RunSetup(FfmpegSetup(), L"/S /NOSTART"));
    ExpectInstalled(folder, CurrentPayload(), kCurrentVersion);

    ExpectSetupRan(RunQuietUninstall());
    ExpectNothingLeft(folder);
}

// Moving away from a copy in a folder that users may change: its
// uninstaller could have been swapped (here for a program that never ends),
// so nothing is run from there; its files go by name, the user's FFmpeg
// moves along first.
TEST_F(InstallerFlow, MoveAwayFromAnUnprotectedCopyRunsNothingFromIt) {
    const std::wstring old = L"C:\\QvPush 旧";
    ExpectSetupRan(RunSetup(CurrentSetup(), L"/S /NOSTART /D=" + old));
    const std::wstring lingering = TestBinDir() + L"installer_test_lingering_program.exe";
    ASSERT_TRUE(::CopyFileW(lingering.c_str(), (old + L"\\uninstall.exe").c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW(lingering.c_str(), (old + L"\\ffmpeg.exe").c_str(), FALSE));
    // Everyone may change the folder, as before it was protected.
    BYTE everyone[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(everyone);
    ASSERT_TRUE(::CreateWellKnownSid(WinWorldSid, nullptr, everyone, &size));
    EXPLICIT_ACCESSW entry = {};
    entry.grfAccessPermissions = GENERIC_ALL;
    entry.grfAccessMode = SET_ACCESS;
    entry.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    entry.Trustee.ptstrName = reinterpret_cast<LPWSTR>(everyone);
    PACL acl = nullptr;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), ::SetEntriesInAclW(1, &entry, nullptr, &acl));
    std::wstring path = old;
    const DWORD set = ::SetNamedSecurityInfoW(&path[0], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                              acl, nullptr);
    ::LocalFree(acl);
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), set);
    ASSERT_FALSE(HasTrustedDacl(old)) << "Wine reads the loosened permissions back as the administrators' alone";

    const std::wstring folder = DefaultInstallFolder();
    const SetupRun setup = RunSetup(CurrentSetup(), L"/S /NOSTART /D=" + folder);
    ExpectSetupRan(setup);
    const std::string log = ReadInstallLog(folder);
    EXPECT_NE(std::string::npos, log.find(ToUtf8(L"旧副本的文件夹未受保护"))) << log;
    EXPECT_TRUE(RunningPrograms(L"installer_test_lingering_program.exe").empty());
    EXPECT_TRUE(RunningPrograms(L"uninstall.exe").empty()) << "the swapped uninstaller was run";
    EXPECT_FALSE(FolderExists(old)) << ::testing::PrintToString(FilesBelow(old));
    EXPECT_EQ(ReadFileBytes(lingering), ReadFileBytes(folder + L"\\ffmpeg.exe")) << "the user's FFmpeg is lost";
    ExpectInstalled(folder, CurrentPayload(), kCurrentVersion);

    ExpectSetupRan(RunQuietUninstall());
    ::DeleteFileW((folder + L"\\ffmpeg.exe").c_str());
    ::RemoveDirectoryW(folder.c_str());
    ExpectNothingLeft(folder);
}

}  // namespace
