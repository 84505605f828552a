// The module's one class and the data the filter mapper stores about it.
#include <windows.h>
#include <dshow.h>

#include "camera/filter/virtual_camera.h"
#include "camera/filter/camera_identity.h"
#include "camera/module/factory_templates.h"
#include "camera/framework/class_factory.h"

namespace {

const REGPINTYPES kVideoAnyType = {&MEDIATYPE_Video, &MEDIASUBTYPE_NULL};

// The second row names an input pin that the filter never has ("Intput" as
// it always was); device enumerators show what is registered here.
const REGFILTERPINS kPins[] = {
    {const_cast<LPWSTR>(L"Output"), FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, L"Input", 1,
     &kVideoAnyType},
    {const_cast<LPWSTR>(L"Intput"), FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, L"Output", 1,
     &kVideoAnyType},
};

const AMOVIESETUP_FILTER kFilterSetup = {&CLSID_VirtualCamera, kCameraFriendlyName, MERIT_DO_NOT_USE, 1, kPins};

}  // namespace

CFactoryTemplate g_Templates[] = {
    {kCameraFriendlyName, &CLSID_VirtualCamera, CVirtualCamera::CreateInstance, nullptr, &kFilterSetup},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

const REGFILTER2& DeviceCategoryRegistration() {
    static REGFILTER2 data = [] {
        REGFILTER2 r = {};
        r.dwVersion = 1;
        r.dwMerit = MERIT_NORMAL;
        r.cPins = sizeof(kPins) / sizeof(kPins[0]);
        r.rgPins = kPins;
        return r;
    }();
    return data;
}
