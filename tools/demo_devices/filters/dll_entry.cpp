// demo_devices.dll: the COM server of the demo microphone and the demo
// webcam. demo_devices.exe registers it and the devices.
#include "camera/framework/framework.h"
#include "tools/demo_devices/common/demo_device_classes.h"
#include "tools/demo_devices/microphone/demo_microphone.h"
#include "tools/demo_devices/webcam/demo_webcam.h"

CFactoryTemplate g_Templates[] = {
    {L"Demo microphone", &CLSID_DemoMicrophone, &CDemoMicrophone::CreateInstance, nullptr, nullptr},
    {L"Demo webcam", &CLSID_DemoWebcam, &CDemoWebcam::CreateInstance, nullptr, nullptr},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    return FrameworkDllEntry(instance, reason, reserved);
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) { return FrameworkGetClassObject(clsid, iid, out); }

STDAPI DllCanUnloadNow() { return FrameworkCanUnloadNow(); }
