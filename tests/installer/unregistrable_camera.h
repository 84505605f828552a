#pragma once
// Shared by the test-only camera whose registration fails and the tests
// that install it.
#include <windows.h>

// How its DllRegisterServer fails: "always" (after writing the probe
// below, as a camera that fails half way does; SELFREG_E_CLASS when the
// probe was written, else the probe's failure), or "outside-stage" (it
// succeeds, writing nothing, only when loaded from the setup's staging
// folder, so the register-test passes and the real registration fails).
const wchar_t kRegistrationModeVariable[] = L"QV_TEST_CAMERA_REGISTRATION";

// What "always" writes before it fails: a COM server key and a video input
// device of this class, which must never reach the machine's registry.
// {5E2B6C1A-9D4F-4B7E-A0C3-51D7E8F29B64}
const CLSID CLSID_RegistrationProbe = {0x5e2b6c1a, 0x9d4f, 0x4b7e, {0xa0, 0xc3, 0x51, 0xd7, 0xe8, 0xf2, 0x9b, 0x64}};
const wchar_t kRegistrationProbeName[] = L"QvPush registration probe";
