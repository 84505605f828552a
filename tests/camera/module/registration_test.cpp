// Registration of the camera in the test prefix's real registry, through the
// real regsvr32 and filter mapper, read back through the system device
// enumerator as capture programs see it.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>

#include "camera/filter/camera_identity.h"
#include "tests/camera/module/camera_module.h"
#include "tests/camera/module/device_registry.h"

using Microsoft::WRL::ComPtr;

namespace {

const std::wstring kClassKey = L"CLSID\\" + GuidText(CLSID_VirtualCamera);
const std::wstring kServerKey = kClassKey + L"\\InprocServer32";

struct Regsvr32Result {
    bool finished = false;
    DWORD exitCode = 0;
};

// regsvr32 runs without redirected output: with /s it prints nothing, and a
// pipe would stay open as long as the desktop process that regsvr32 (a GUI
// program) may start, which inherits it.
Regsvr32Result RunRegsvr32(const std::wstring& arguments, const std::wstring& modulePath) {
    Regsvr32Result result;
    std::wstring commandLine = L"regsvr32.exe " + arguments + L" " + QuoteArgument(modulePath);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return result;
    ::CloseHandle(pi.hThread);
    if (::WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) {
        result.finished = ::GetExitCodeProcess(pi.hProcess, &result.exitCode) != FALSE;
    } else {
        ::TerminateProcess(pi.hProcess, 1);
    }
    ::CloseHandle(pi.hProcess);
    return result;
}

// A GUID in registry form, read from the device list, as a GUID.
bool SameGuid(const std::wstring& text, REFGUID guid) { return _wcsicmp(text.c_str(), GuidText(guid).c_str()) == 0; }

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        // Start from a machine that has never seen the camera.
        RunRegsvr32(L"/u /s", CameraModulePath());
        ASSERT_FALSE(ClassesRootKeyExists(kClassKey)) << "cannot clear an earlier registration";
        ASSERT_TRUE(DevicesOfClass(CLSID_VideoInputDeviceCategory, CLSID_VirtualCamera).empty());
    }
    void TearDown() override {
        RunRegsvr32(L"/u /s", CameraModulePath());
        EXPECT_FALSE(ClassesRootKeyExists(kClassKey));
        ::CoUninitialize();
    }

    void ExpectRegisteredFrom(const std::wstring& modulePath) {
        std::wstring value;
        ASSERT_TRUE(ReadClassesRootString(kClassKey, nullptr, value)) << "no COM class key";
        EXPECT_EQ(ToUtf8(value), ToUtf8(kCameraFriendlyName));
        ASSERT_TRUE(ReadClassesRootString(kServerKey, nullptr, value)) << "no InprocServer32 key";
        EXPECT_EQ(ToUtf8(value), ToUtf8(modulePath));
        ASSERT_TRUE(ReadClassesRootString(kServerKey, L"ThreadingModel", value));
        EXPECT_EQ(ToUtf8(value), "Both");
    }
};

TEST_F(RegistrationTest, Regsvr32ListsTheCameraAsAVideoCaptureDevice) {
    Regsvr32Result result = RunRegsvr32(L"/s", CameraModulePath());
    ASSERT_TRUE(result.finished);
    ASSERT_EQ(result.exitCode, 0u);
    ExpectRegisteredFrom(CameraModulePath());

    auto devices = DevicesOfClass(CLSID_VideoInputDeviceCategory, CLSID_VirtualCamera);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(ToUtf8(devices[0].friendlyName), ToUtf8(kCameraFriendlyName));
    EXPECT_TRUE(SameGuid(devices[0].clsid, CLSID_VirtualCamera)) << ToUtf8(devices[0].clsid);

    // The device-category record lists both rows of the pin table: the
    // output pin and the input row that the object never has.
    FilterData data = ParseFilterData(devices[0].filterData);
    ASSERT_TRUE(data.valid);
    EXPECT_EQ(data.merit, static_cast<DWORD>(MERIT_NORMAL));
    ASSERT_EQ(data.pins.size(), 2u);
    EXPECT_EQ(data.pins[0].flags, static_cast<DWORD>(REG_PINFLAG_B_OUTPUT));
    EXPECT_EQ(data.pins[1].flags, 0u) << "second row: input, not rendered, not zero, not many";
    for (const FilterPinData& pin : data.pins) {
        ASSERT_EQ(pin.types.size(), 1u);
        EXPECT_TRUE(IsEqualGUID(pin.types[0].first, MEDIATYPE_Video));
        EXPECT_TRUE(IsEqualGUID(pin.types[0].second, MEDIASUBTYPE_NULL));
    }

    // The default category holds the setup record: one pin, never chosen
    // by intelligent connection.
    auto legacy = DevicesOfClass(CLSID_LegacyAmFilterCategory, CLSID_VirtualCamera);
    ASSERT_EQ(legacy.size(), 1u);
    EXPECT_EQ(ToUtf8(legacy[0].friendlyName), ToUtf8(kCameraFriendlyName));
    FilterData setup = ParseFilterData(legacy[0].filterData);
    ASSERT_TRUE(setup.valid);
    EXPECT_EQ(setup.merit, static_cast<DWORD>(MERIT_DO_NOT_USE));
    ASSERT_EQ(setup.pins.size(), 1u);
    EXPECT_EQ(setup.pins[0].flags, static_cast<DWORD>(REG_PINFLAG_B_OUTPUT));
}

TEST_F(RegistrationTest, TheListedDeviceCreatesTheCameraFilter) {
    ASSERT_EQ(RunRegsvr32(L"/s", CameraModulePath()).exitCode, 0u);
    ComPtr<ICreateDevEnum> devices;
    ASSERT_EQ(::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                 reinterpret_cast<void**>(devices.GetAddressOf())),
              S_OK);
    ComPtr<IEnumMoniker> monikers;
    ASSERT_EQ(devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.GetAddressOf(), 0), S_OK);
    ComPtr<IMoniker> moniker;
    bool found = false;
    while (!found && monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        ComPtr<IPropertyBag> bag;
        ASSERT_EQ(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void**>(bag.GetAddressOf())),
                  S_OK);
        VARIANT name;
        ::VariantInit(&name);
        found = SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR &&
                std::wstring(name.bstrVal) == kCameraFriendlyName;
        ::VariantClear(&name);
    }
    ASSERT_TRUE(found);
    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf())),
              S_OK);
    CLSID clsid = {};
    EXPECT_EQ(filter->GetClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_VirtualCamera));
}

TEST_F(RegistrationTest, RegisteringTwiceLeavesOneEntryOfEach) {
    ASSERT_EQ(RunRegsvr32(L"/s", CameraModulePath()).exitCode, 0u);
    auto first = DevicesOfClass(CLSID_VideoInputDeviceCategory, CLSID_VirtualCamera);
    ASSERT_EQ(RunRegsvr32(L"/s", CameraModulePath()).exitCode, 0u);
    ExpectRegisteredFrom(CameraModulePath());

    auto second = DevicesOfClass(CLSID_VideoInputDeviceCategory, CLSID_VirtualCamera);
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(ToUtf8(second[0].friendlyName), ToUtf8(first[0].friendlyName));
    EXPECT_EQ(second[0].filterData, first[0].filterData);
    EXPECT_EQ(DevicesOfClass(CLSID_LegacyAmFilterCategory, CLSID_VirtualCamera).size(), 1u);

    // Nothing else appears under the class key either.
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CLASSES_ROOT, kClassKey.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD subkeys = 0, values = 0;
    EXPECT_EQ(::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                                 nullptr, nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
    EXPECT_EQ(subkeys, 1u) << "only InprocServer32";
    EXPECT_EQ(values, 1u) << "only the default value";
}

TEST_F(RegistrationTest, Regsvr32UnregisterRemovesKeysAndDevice) {
    ASSERT_EQ(RunRegsvr32(L"/s", CameraModulePath()).exitCode, 0u);
    ASSERT_TRUE(ClassesRootKeyExists(kServerKey));

    Regsvr32Result result = RunRegsvr32(L"/u /s", CameraModulePath());
    EXPECT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_FALSE(ClassesRootKeyExists(kServerKey));
    EXPECT_FALSE(ClassesRootKeyExists(kClassKey));
    EXPECT_TRUE(DevicesOfClass(CLSID_VideoInputDeviceCategory, CLSID_VirtualCamera).empty());
    EXPECT_TRUE(DevicesOfClass(CLSID_LegacyAmFilterCategory, CLSID_VirtualCamera).empty());
}

TEST_F(RegistrationTest, UnregisteringWhatWasNeverRegisteredReturnsTheMappersAnswer) {
    // What the filter mapper itself says about removing an absent device entry.
    ComPtr<IFilterMapper2> mapper;
    ASSERT_EQ(::CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                 reinterpret_cast<void**>(mapper.GetAddressOf())),
              S_OK);
    HRESULT mappersAnswer =
        mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, kCameraFriendlyName, CLSID_VirtualCamera);
    mapper.Reset();

    CameraModule module;
    ASSERT_TRUE(module);
    EXPECT_EQ(module.UnregisterServer(), mappersAnswer);
    // The framework step found nothing to remove and succeeded: it does not
    // leave anything behind either.
    EXPECT_FALSE(ClassesRootKeyExists(kClassKey));
    EXPECT_TRUE(DevicesOfClass(CLSID_LegacyAmFilterCategory, CLSID_VirtualCamera).empty());
    EXPECT_EQ(mappersAnswer, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) << "this platform's mapper reports not-registered";
}

TEST_F(RegistrationTest, SetupInterfaceOfTheFilterRegistersNothing) {
    CameraModule module;
    ASSERT_TRUE(module);
    ComPtr<IAMovieSetup> setup;
    ASSERT_EQ(module.CreateCamera(CLSID_VirtualCamera, IID_IAMovieSetup, reinterpret_cast<void**>(setup.GetAddressOf())),
              S_OK);
    EXPECT_EQ(setup->Register(), S_FALSE);
    EXPECT_FALSE(ClassesRootKeyExists(kClassKey));
    EXPECT_TRUE(DevicesOfClass(CLSID_LegacyAmFilterCategory, CLSID_VirtualCamera).empty());
    EXPECT_TRUE(DevicesOfClass(CLSID_VideoInputDeviceCategory, CLSID_VirtualCamera).empty());

    ASSERT_EQ(RunRegsvr32(L"/s", CameraModulePath()).exitCode, 0u);
    EXPECT_EQ(setup->Unregister(), S_FALSE);
    EXPECT_EQ(DevicesOfClass(CLSID_LegacyAmFilterCategory, CLSID_VirtualCamera).size(), 1u) << "Unregister removed it";
}

// A name that the ANSI code page cannot represent, so that a path through
// it would come out changed.
std::wstring NameOutsideAnsiCodePage() {
    const wchar_t* candidates[] = {L"카메라", L"ǅ", L"ⰀⰁ", L"ᚠᚢ"};
    for (const wchar_t* name : candidates) {
        BOOL lossy = FALSE;
        char narrow[64] = {};
        ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name, -1, narrow, sizeof(narrow), nullptr, &lossy);
        if (lossy) return name;
    }
    return std::wstring();
}

TEST_F(RegistrationTest, ModuleInADirectoryOutsideTheAnsiCodePageRegistersItsTruePath) {
    std::wstring name = NameOutsideAnsiCodePage();
    ASSERT_FALSE(name.empty()) << "no test name outside code page " << ::GetACP();
    std::wstring directory = TestBinDir() + L"cammod-" + name;
    std::wstring copy = directory + L"\\QvCamera.dll";
    ::CreateDirectoryW(directory.c_str(), nullptr);
    ASSERT_TRUE(::CopyFileW(CameraModulePath().c_str(), copy.c_str(), FALSE)) << ::GetLastError();

    Regsvr32Result result = RunRegsvr32(L"/s", copy);
    EXPECT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0u);
    ExpectRegisteredFrom(copy);

    // COM finds the module at the registered path.
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(::CoCreateInstance(CLSID_VirtualCamera, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                 reinterpret_cast<void**>(filter.GetAddressOf())),
              S_OK);
    if (filter) {
        HMODULE loaded = ::GetModuleHandleW(copy.c_str());
        EXPECT_NE(loaded, nullptr) << "the filter came from another file";
    }
    filter.Reset();

    EXPECT_EQ(RunRegsvr32(L"/u /s", copy).exitCode, 0u);
    ::CoFreeUnusedLibrariesEx(0, 0);
    ::DeleteFileW(copy.c_str());
    ::RemoveDirectoryW(directory.c_str());
}

}  // namespace
