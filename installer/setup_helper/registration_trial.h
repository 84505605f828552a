#pragma once
// A camera's self-registration run against a private registry: the setup
// learns whether the new camera registers before it touches the installed
// one, and the machine's registry is not changed by the trial.
#include <windows.h>

#include <string>

enum class TrialResult {
    Registered,          // DllRegisterServer succeeded
    NotLoaded,           // the module does not load (error: the loader's)
    NoEntryPoints,       // it lacks what registration calls
    NoPrivateRegistry,   // the private keys could not be made (error)
    RegistrationFailed,  // DllRegisterServer failed (registration: its HRESULT)
};

struct RegistrationTrial {
    TrialResult result = TrialResult::NotLoaded;
    DWORD error = ERROR_SUCCESS;
    HRESULT registration = S_OK;
};

// Loads `camera` and runs its DllRegisterServer while HKEY_CLASSES_ROOT,
// HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER and HKEY_USERS of this process are
// mapped to keys below `privateRoot` (a path below HKEY_LOCAL_MACHINE; one
// that a killed trial left is emptied first), which is deleted afterwards.
RegistrationTrial TryRegistration(const std::wstring& camera, const std::wstring& privateRoot);
