#include "tools/demo_devices/webcam/demo_webcam.h"

#include <memory>
#include <string>

#include "tools/demo_devices/common/demo_device_classes.h"
#include "tools/demo_devices/common/loss_setting.h"
#include "tools/demo_devices/webcam/webcam_pin.h"

CDemoWebcam::CDemoWebcam(IUnknown* outer) : CDemoSource(L"Demo webcam", outer, CLSID_DemoWebcam) {}

CUnknown* CALLBACK CDemoWebcam::CreateInstance(IUnknown* outer, HRESULT* phr) {
    auto* filter = new (std::nothrow) CDemoWebcam(outer);
    return WithOwnPin(filter, filter ? &filter->m_pin : nullptr, phr);
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
    std::wstring loseAfter;
    hr = ReadBagText(bag, kLoseAfterValue, &loseAfter);
    if (FAILED(hr)) return hr;
    REFERENCE_TIME loseAt = 0;
    if (hr == S_OK && !ParseLoseAfter(loseAfter, &loseAt)) return E_INVALIDARG;
    std::wstring stallAfter;
    hr = ReadBagText(bag, kStallAfterValue, &stallAfter);
    if (FAILED(hr)) return hr;
    REFERENCE_TIME stallAt = kNeverStalls;
    if (hr == S_OK && !ParseStallAfter(stallAfter, &stallAt)) return E_INVALIDARG;
    m_pin->Configure(std::move(formats), std::move(picture), loseAt, stallAt);
    return S_OK;
}
