// The register-test on real modules in this process: what it reports, that
// the process gets the machine's registry back, and that nothing of the
// trial (nor of one that was killed) stays.
#include <windows.h>
#include <dshow.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <string>

#include "installer/setup_helper/registration_trial.h"
#include "tests/installer/unregistrable_camera.h"
#include "tests/support/child_process.h"

namespace {

const wchar_t kPrivateRoot[] = L"Software\\QvPush registration trial test";

std::wstring ClsidKey(REFCLSID clsid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(clsid, text, 40);
    return std::wstring(L"CLSID\\") + text;
}

bool KeyExists(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

std::wstring SystemFolder() {
    wchar_t folder[MAX_PATH] = {};
    ::GetSystemDirectoryW(folder, MAX_PATH);
    return folder;
}

// The test camera copied to where the setup stages it (a folder "camera").
std::wstring StagedCamera() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"qv-trial-" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ::CreateDirectoryW((folder + L"\\camera").c_str(), nullptr);
    const std::wstring staged = folder + L"\\camera\\QvCamera.dll";
    const std::wstring built = TestBinDir() + L"..\\installer-test\\unregistrable-camera\\QvCamera.dll";
    return ::CopyFileW(built.c_str(), staged.c_str(), FALSE) ? staged : std::wstring();
}

TEST(RegistrationTrial, ReportsAndLeavesTheMachinesRegistryAlone) {
    const std::wstring built = TestBinDir() + L"..\\installer-test\\unregistrable-camera\\QvCamera.dll";
    const std::wstring staged = StagedCamera();
    ASSERT_FALSE(staged.empty());
    const struct {
        const char* what;
        std::wstring camera;
        const wchar_t* mode;
        TrialResult result;
        HRESULT registration;
    } cases[] = {
        {"missing module", built + L".missing", L"always", TrialResult::NotLoaded, S_OK},
        {"module without entry points", SystemFolder() + L"\\version.dll", L"always", TrialResult::NoEntryPoints, S_OK},
        {"registration that fails half way", built, L"always", TrialResult::RegistrationFailed, SELFREG_E_CLASS},
        {"registration that fails outside the stage", built, L"outside-stage", TrialResult::RegistrationFailed,
         SELFREG_E_CLASS},
        {"staged registration that succeeds", staged, L"outside-stage", TrialResult::Registered, S_OK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ::SetEnvironmentVariableW(kRegistrationModeVariable, c.mode);
        const RegistrationTrial trial = TryRegistration(c.camera, kPrivateRoot);
        ::SetEnvironmentVariableW(kRegistrationModeVariable, nullptr);
        EXPECT_EQ(static_cast<int>(c.result), static_cast<int>(trial.result)) << trial.error;
        if (c.result == TrialResult::RegistrationFailed || c.result == TrialResult::Registered) {
            EXPECT_EQ(c.registration, trial.registration);
        }
        // The predefined keys are the machine's again, and the trial's
        // writes went nowhere that stays.
        EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ClsidKey(CLSID_FilterMapper2)));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\" + ClsidKey(CLSID_FilterMapper2)));
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClsidKey(CLSID_RegistrationProbe)));
        // Where the filter mapper puts a device of the video input category.
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\" +
                                                       ClsidKey(CLSID_VideoInputDeviceCategory) + L"\\Instance\\" +
                                                       kRegistrationProbeName));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kPrivateRoot));
    }
    ::DeleteFileW(staged.c_str());
    const std::wstring stage = staged.substr(0, staged.rfind(L"\\camera\\"));
    ::RemoveDirectoryW((stage + L"\\camera").c_str());
    ::RemoveDirectoryW(stage.c_str());
}

// A trial that was killed left its private keys: the next one starts from
// empty ones and removes them.
TEST(RegistrationTrial, ClearsWhatAKilledTrialLeft) {
    HKEY left = nullptr;
    const std::wstring stale = std::wstring(kPrivateRoot) + L"\\Classes\\stale";
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, stale.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                               &left, nullptr));
    ::RegCloseKey(left);
    const std::wstring built = TestBinDir() + L"..\\installer-test\\unregistrable-camera\\QvCamera.dll";
    ::SetEnvironmentVariableW(kRegistrationModeVariable, L"always");
    const RegistrationTrial trial = TryRegistration(built, kPrivateRoot);
    ::SetEnvironmentVariableW(kRegistrationModeVariable, nullptr);
    EXPECT_EQ(static_cast<int>(TrialResult::RegistrationFailed), static_cast<int>(trial.result));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kPrivateRoot));
}

}  // namespace
