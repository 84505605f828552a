// The module's entry points that COM calls: the entry routine, the class
// object and the unload test. Registration is in registration.cpp.
#include <windows.h>

#include "camera/module/framework/class_factory.h"
#include "camera/module/module_instance.h"

namespace {
HINSTANCE g_moduleInstance = nullptr;
}

HINSTANCE CameraModuleInstance() { return g_moduleInstance; }

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    g_moduleInstance = instance;
    FrameworkDllEntry(instance, reason, reserved);
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    return FrameworkGetClassObject(clsid, iid, out);
}

STDAPI DllCanUnloadNow() { return FrameworkCanUnloadNow(); }
