#pragma once
// The demo webcam: a video capture source whose one pin shows a picture
// (or a test card) in the formats its device's settings list.
#include "tools/demo_devices/filters/demo_source.h"

class CWebcamPin;

class CDemoWebcam : public CDemoSource {
public:
    static CUnknown* CALLBACK CreateInstance(IUnknown* outer, HRESULT* phr);

protected:
    // A picture that cannot be read fails the load, and with it the
    // binding of the device: better than showing something else.
    HRESULT LoadSettings(IPropertyBag* bag) override;

private:
    explicit CDemoWebcam(IUnknown* outer);
    CWebcamPin* m_pin = nullptr;  // owned by CSource
};
