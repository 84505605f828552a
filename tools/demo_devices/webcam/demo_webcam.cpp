#include "tools/demo_devices/webcam/demo_webcam.h"

#include <memory>
#include <new>
#include <string>

#include "tools/demo_devices/common/demo_device_classes.h"
#include "tools/demo_devices/webcam/webcam_pin.h"

CDemoWebcam::CDemoWebcam(IUnknown* outer) : CDemoSource(L"Demo webcam", outer, CLSID_DemoWebcam) {}

CUnknown* CALLBACK CDemoWebcam::CreateInstance(IUnknown* outer, HRESULT* phr) {
    auto* filter = new (std::nothrow) CDemoWebcam(outer);
    if (!filter) {
        *phr = E_OUTOFMEMORY;
        return nullptr;
    }
    // The filter owns the pin from its construction on.
    filter->m_pin = new (std::nothrow) CWebcamPin(phr, filter);
    if (!filter->m_pin && SUCCEEDED(*phr)) *phr = E_OUTOFMEMORY;
    return filter;
}

HRESULT CDemoWebcam::LoadSettings(IPropertyBag* bag) {
    std::wstring formatsText = kDefaultFormats;
    HRESULT hr = ReadBagText(bag, kFormatsValue, &formatsText);
    if (FAILED(hr)) return hr;
    std::vector<VideoFormat> formats;
    if (!ParseVideoFormats(formatsText, &formats).empty()) return E_INVALIDARG;

    std::wstring path;
    hr = ReadBagText(bag, kPictureValue, &path);
    if (FAILED(hr)) return hr;
    std::shared_ptr<BgrPicture> picture;
    if (hr == S_OK && !path.empty()) {
        try {
            picture = std::make_shared<BgrPicture>();
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        if (!LoadBmpPicture(path, picture.get()).empty()) return HRESULT_FROM_WIN32(ERROR_FILE_INVALID);
    }
    m_pin->Configure(std::move(formats), std::move(picture));
    return S_OK;
}
