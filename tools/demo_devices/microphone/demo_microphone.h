#pragma once
// The demo microphone: an audio capture source whose one pin plays a sine
// tone in real time. Its device's settings give the tone's frequency.
#include "tools/demo_devices/filters/demo_source.h"

class CMicrophonePin;

class CDemoMicrophone : public CDemoSource {
public:
    static CUnknown* CALLBACK CreateInstance(IUnknown* outer, HRESULT* phr);

protected:
    HRESULT LoadSettings(IPropertyBag* bag) override;

private:
    explicit CDemoMicrophone(IUnknown* outer);
    CMicrophonePin* m_pin = nullptr;  // owned by CSource
};
