// The module's entry points that COM calls: the entry routine, the class
// object and the unload test. Registration is in registration.cpp.
#include <windows.h>

#include "camera/framework/class_factory.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    FrameworkDllEntry(instance, reason, reserved);
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    return FrameworkGetClassObject(clsid, iid, out);
}

STDAPI DllCanUnloadNow() { return FrameworkCanUnloadNow(); }
