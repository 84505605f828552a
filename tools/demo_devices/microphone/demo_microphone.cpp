#include "tools/demo_devices/microphone/demo_microphone.h"

#include <string>

#include "tools/demo_devices/common/demo_device_classes.h"
#include "tools/demo_devices/common/tone_setting.h"
#include "tools/demo_devices/microphone/microphone_pin.h"

CDemoMicrophone::CDemoMicrophone(IUnknown* outer) : CDemoSource(L"Demo microphone", outer, CLSID_DemoMicrophone) {}

CUnknown* CALLBACK CDemoMicrophone::CreateInstance(IUnknown* outer, HRESULT* phr) {
    auto* filter = new (std::nothrow) CDemoMicrophone(outer);
    return WithOwnPin(filter, filter ? &filter->m_pin : nullptr, phr);
}

HRESULT CDemoMicrophone::LoadSettings(IPropertyBag* bag) {
    std::wstring text;
    HRESULT hr = ReadBagText(bag, kToneValue, &text);
    if (hr != S_OK) return SUCCEEDED(hr) ? S_OK : hr;
    double hz = kDefaultToneHz;
    if (!ParseTone(text, &hz)) return E_INVALIDARG;
    m_pin->SetTone(hz);
    return S_OK;
}
