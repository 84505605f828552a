#include "daemon/devices/enum_video_capture_devices.h"

#include "common/non_copyable.h"
#include "daemon/devices/device_monikers.h"
#include "daemon/devices/virtual_camera_class.h"

#include <dshow.h>
#include <dvdmedia.h>
#include <oleauto.h>
#include <uuids.h>

#include <algorithm>

using Microsoft::WRL::ComPtr;

namespace {

// A media type from GetStreamCaps or IEnumMediaTypes, freed on every path.
class OwnedMediaType : private CNonCopyable {
public:
    OwnedMediaType() = default;
    ~OwnedMediaType() { reset(); }
    AM_MEDIA_TYPE** put() {
        reset();
        return &m_type;
    }
    const AM_MEDIA_TYPE* get() const { return m_type; }

private:
    void reset() {
        if (!m_type) return;
        if (m_type->cbFormat) ::CoTaskMemFree(m_type->pbFormat);
        if (m_type->pUnk) m_type->pUnk->Release();
        ::CoTaskMemFree(m_type);
        m_type = nullptr;
    }
    AM_MEDIA_TYPE* m_type = nullptr;
};

// The subtype's name: the common ones by name, another FOURCC as its four
// characters.
std::wstring PixelFormatName(const GUID& subtype) {
    if (subtype == MEDIASUBTYPE_RGB24) return L"RGB24";
    if (subtype == MEDIASUBTYPE_RGB32) return L"RGB32";
    if (subtype == MEDIASUBTYPE_RGB565) return L"RGB565";
    if (subtype == MEDIASUBTYPE_RGB555) return L"RGB555";
    // FOURCC subtypes are {XXXXXXXX-0000-0010-8000-00AA00389B71}.
    const GUID base = {0, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
    if (subtype.Data2 == base.Data2 && subtype.Data3 == base.Data3 &&
        std::equal(std::begin(base.Data4), std::end(base.Data4), std::begin(subtype.Data4))) {
        std::wstring name;
        for (int i = 0; i < 4; ++i) {
            const wchar_t c = static_cast<wchar_t>((subtype.Data1 >> (8 * i)) & 0xFF);
            if (c < 0x20 || c > 0x7E) return L"unknown";
            name += c;
        }
        while (!name.empty() && name.back() == L' ') name.pop_back();
        return name;
    }
    return L"unknown";
}

// Size and rate of a video type; false for types without a video header.
bool DescribeVideoType(const AM_MEDIA_TYPE& type, CameraFormat& format) {
    const BITMAPINFOHEADER* header = nullptr;
    REFERENCE_TIME averageTime = 0;
    if (type.formattype == FORMAT_VideoInfo && type.pbFormat && type.cbFormat >= sizeof(VIDEOINFOHEADER)) {
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
        header = &info->bmiHeader;
        averageTime = info->AvgTimePerFrame;
    } else if (type.formattype == FORMAT_VideoInfo2 && type.pbFormat && type.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER2*>(type.pbFormat);
        header = &info->bmiHeader;
        averageTime = info->AvgTimePerFrame;
    }
    if (!header) return false;
    format.pixelFormat = PixelFormatName(type.subtype);
    format.width = header->biWidth;
    format.height = header->biHeight < 0 ? -header->biHeight : header->biHeight;
    format.maxFrameRate = averageTime > 0 ? 1e7 / static_cast<double>(averageTime) : 0;
    return true;
}

double RoundedRate(double rate) { return static_cast<double>(static_cast<long long>(rate * 100 + 0.5)) / 100; }

// The formats of a capture pin: from its capabilities (their shortest frame
// interval is the highest rate), else from the types it enumerates.
void ReadPinFormats(IPin* pin, std::vector<CameraFormat>& formats) {
    ComPtr<IAMStreamConfig> config;
    int count = 0, size = 0;
    if (SUCCEEDED(pin->QueryInterface(IID_PPV_ARGS(&config))) &&
        SUCCEEDED(config->GetNumberOfCapabilities(&count, &size)) && size == sizeof(VIDEO_STREAM_CONFIG_CAPS)) {
        for (int i = 0; i < count && formats.size() < 4 * kCameraFormatsMax; ++i) {
            OwnedMediaType type;
            VIDEO_STREAM_CONFIG_CAPS caps = {};
            if (config->GetStreamCaps(i, type.put(), reinterpret_cast<BYTE*>(&caps)) != S_OK || !type.get()) continue;
            CameraFormat format;
            if (!DescribeVideoType(*type.get(), format)) continue;
            if (caps.MinFrameInterval > 0)
                format.maxFrameRate = std::max(format.maxFrameRate, 1e7 / static_cast<double>(caps.MinFrameInterval));
            format.maxFrameRate = RoundedRate(format.maxFrameRate);
            formats.push_back(format);
        }
        if (!formats.empty()) return;
    }
    ComPtr<IEnumMediaTypes> types;
    if (FAILED(pin->EnumMediaTypes(&types))) return;
    for (;;) {
        OwnedMediaType type;
        if (types->Next(1, type.put(), nullptr) != S_OK || !type.get()) break;
        CameraFormat format;
        if (!DescribeVideoType(*type.get(), format)) continue;
        format.maxFrameRate = RoundedRate(format.maxFrameRate);
        formats.push_back(format);
        if (formats.size() >= 4 * kCameraFormatsMax) break;
    }
}

// The first output pin that offers video formats (the capture pin; a
// preview or still pin, when there is one, offers the same or fewer).
std::vector<CameraFormat> ReadFilterFormats(IBaseFilter* filter) {
    std::vector<CameraFormat> formats;
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(&pins))) return formats;
    ComPtr<IPin> pin;
    while (formats.empty() && pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_DIRECTION direction;
        if (FAILED(pin->QueryDirection(&direction)) || direction != PINDIR_OUTPUT) continue;
        ReadPinFormats(pin.Get(), formats);
    }
    return MergeCameraFormats(formats);
}

bool IsVirtualCamera(IMoniker* device) {
    ComPtr<IPropertyBag> properties;
    if (FAILED(device->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&properties)))) return false;
    VARIANT value = {};
    value.vt = VT_BSTR;
    bool ours = false;
    if (SUCCEEDED(properties->Read(L"CLSID", &value, nullptr)) && value.vt == VT_BSTR && value.bstrVal) {
        CLSID clsid;
        ours = SUCCEEDED(::CLSIDFromString(value.bstrVal, &clsid)) && clsid == kVirtualCameraClass;
    }
    ::VariantClear(&value);
    return ours;
}

}  // namespace

std::vector<CameraFormat> MergeCameraFormats(const std::vector<CameraFormat>& offered) {
    std::vector<CameraFormat> merged;
    for (const CameraFormat& format : offered) {
        auto same = std::find_if(merged.begin(), merged.end(), [&](const CameraFormat& m) {
            return m.pixelFormat == format.pixelFormat && m.width == format.width && m.height == format.height;
        });
        if (same == merged.end()) merged.push_back(format);
        else same->maxFrameRate = std::max(same->maxFrameRate, format.maxFrameRate);
    }
    std::stable_sort(merged.begin(), merged.end(), [](const CameraFormat& a, const CameraFormat& b) {
        return static_cast<long long>(a.width) * a.height > static_cast<long long>(b.width) * b.height;
    });
    if (merged.size() > kCameraFormatsMax) merged.resize(kCameraFormatsMax);
    return merged;
}

HRESULT EnumVideoCaptureDevices(std::vector<CameraEntry>& cameras) {
    ComPtr<IEnumMoniker> devices;
    HRESULT hr = CreateCategoryEnumerator(CLSID_VideoInputDeviceCategory, devices);
    if (hr != S_OK) return hr;
    ComPtr<IMoniker> device;
    while (devices->Next(1, device.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        CameraEntry entry;
        if (FAILED(ReadFriendlyName(device.Get(), entry.name)) || IsVirtualCamera(device.Get())) continue;
        ComPtr<IBaseFilter> filter;
        if (SUCCEEDED(BindDeviceFilter(device.Get(), filter))) entry.formats = ReadFilterFormats(filter.Get());
        cameras.push_back(std::move(entry));
    }
    return S_OK;
}
