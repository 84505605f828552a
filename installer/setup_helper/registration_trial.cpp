// The camera registers itself through the filter mapper, which COM has to
// find: its class keys (and the device enumerator's, which it calls) are
// copied into the private classes root, so a camera that registers on this
// machine registers in the trial too. What the camera writes, wherever it
// aims (classes root, the machine's Software\Classes, the per-user
// classes), lands below the private root and is deleted with it.
#include "installer/setup_helper/registration_trial.h"

#include <objbase.h>
#include <uuids.h>

#include "common/unique_handle.h"

namespace {

using UniqueRegKey = UniqueHandleT<NullableHandleTraits<HKEY, ::RegCloseKey>>;
using UniqueModule = UniqueHandleT<NullableHandleTraits<HMODULE, ::FreeLibrary>>;

const HKEY kRedirected[] = {HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS};
// Below the private root, one key for each of kRedirected.
const wchar_t* const kPrivateNames[] = {L"Classes", L"Machine", L"User", L"Users"};

std::wstring ClsidKey(REFCLSID clsid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(clsid, text, 40);
    return std::wstring(L"CLSID\\") + text;
}

// The keys COM needs to hand the camera a filter mapper, copied from the
// machine's classes into `classes` (missing ones are skipped: on a system
// without them the trial fails as registration would).
void CopyMapperClasses(HKEY machineClasses, HKEY classes) {
    const CLSID* const needed[] = {&CLSID_FilterMapper2, &CLSID_FilterMapper, &CLSID_SystemDeviceEnum,
                                   &CLSID_CDeviceMoniker};
    for (const CLSID* clsid : needed) {
        const std::wstring name = ClsidKey(*clsid);
        UniqueRegKey source;
        if (::RegOpenKeyExW(machineClasses, name.c_str(), 0, KEY_READ, source.put()) != ERROR_SUCCESS) continue;
        UniqueRegKey target;
        if (::RegCreateKeyExW(classes, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, target.put(), nullptr) !=
            ERROR_SUCCESS)
            continue;
        ::RegCopyTreeW(source.get(), nullptr, target.get());
    }
}

// Maps the predefined keys to the private ones for as long as it lives.
class PrivateRegistry {
public:
    explicit PrivateRegistry(const std::wstring& root) : m_root(root) {}
    ~PrivateRegistry() {
        for (HKEY key : kRedirected) ::RegOverridePredefKey(key, nullptr);
        if (m_made) {
            ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, m_root.c_str());
            ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, m_root.c_str());
        }
    }
    PrivateRegistry(const PrivateRegistry&) = delete;
    PrivateRegistry& operator=(const PrivateRegistry&) = delete;

    DWORD Redirect() {
        UniqueRegKey machineClasses;
        LSTATUS status =
            ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes", 0, KEY_READ, machineClasses.put());
        if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
        // What a trial that was killed left.
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, m_root.c_str());
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, m_root.c_str());
        UniqueRegKey root;
        status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, m_root.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                   root.put(), nullptr);
        if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
        m_made = true;
        UniqueRegKey mapped[4];
        for (int i = 0; i < 4; ++i) {
            status = ::RegCreateKeyExW(root.get(), kPrivateNames[i], 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                       mapped[i].put(), nullptr);
            if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
        }
        CopyMapperClasses(machineClasses.get(), mapped[0].get());
        // The machine's own classes, for a system whose COM reads them
        // through the (mapped) HKEY_LOCAL_MACHINE.
        UniqueRegKey machineCopy;
        status = ::RegCreateKeyExW(mapped[1].get(), L"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                   machineCopy.put(), nullptr);
        if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
        CopyMapperClasses(machineClasses.get(), machineCopy.get());
        for (int i = 0; i < 4; ++i) {
            status = ::RegOverridePredefKey(kRedirected[i], mapped[i].get());
            if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);
        }
        return ERROR_SUCCESS;
    }

private:
    std::wstring m_root;
    bool m_made = false;
};

}  // namespace

RegistrationTrial TryRegistration(const std::wstring& camera, const std::wstring& privateRoot) {
    RegistrationTrial trial;
    // regsvr32 calls it from an initialised apartment; so does the trial.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        PrivateRegistry registry(privateRoot);
        {
            UniqueModule module(::LoadLibraryExW(camera.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
            if (!module) {
                trial.error = ::GetLastError();
            } else {
                using EntryPoint = HRESULT(STDAPICALLTYPE*)();
                const auto registerServer = reinterpret_cast<EntryPoint>(
                    reinterpret_cast<void (*)()>(::GetProcAddress(module.get(), "DllRegisterServer")));
                if (!registerServer || !::GetProcAddress(module.get(), "DllUnregisterServer") ||
                    !::GetProcAddress(module.get(), "DllGetClassObject")) {
                    trial.result = TrialResult::NoEntryPoints;
                    trial.error = ERROR_PROC_NOT_FOUND;
                } else if ((trial.error = registry.Redirect()) != ERROR_SUCCESS) {
                    trial.result = TrialResult::NoPrivateRegistry;
                } else {
                    trial.registration = registerServer();
                    trial.result =
                        SUCCEEDED(trial.registration) ? TrialResult::Registered : TrialResult::RegistrationFailed;
                }
            }
            // The mapper and anything else the camera loaded go while the
            // registry is still the private one.
            ::CoFreeUnusedLibraries();
        }
        if (SUCCEEDED(com)) ::CoUninitialize();
    }
    return trial;
}
