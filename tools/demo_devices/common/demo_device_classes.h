#pragma once
// What demo_devices.exe and demo_devices.dll agree on: the two filter
// classes, the device categories they are registered in, and the names of
// the values that carry each device's settings.
//
// Every device of a kind is an instance of the same class. Its settings sit
// beside its friendly name in the device's key of the category; the device
// moniker hands that key to the new filter as a property bag
// (IPersistPropertyBag::Load) when a capture program binds it, on Windows
// and under Wine alike.
#include <windows.h>
#include <dshow.h>
#include <uuids.h>

enum class DemoDeviceKind { Microphone, Webcam };

// {CD6CDB56-A1E0-4147-9917-90BF47E0284F}
const CLSID CLSID_DemoMicrophone = {0xcd6cdb56, 0xa1e0, 0x4147, {0x99, 0x17, 0x90, 0xbf, 0x47, 0xe0, 0x28, 0x4f}};
// {6132286D-75D5-4FBA-B186-B5EB5F392337}
const CLSID CLSID_DemoWebcam = {0x6132286d, 0x75d5, 0x4fba, {0xb1, 0x86, 0xb5, 0xeb, 0x5f, 0x39, 0x23, 0x37}};

inline const CLSID& DemoClassOf(DemoDeviceKind kind) {
    return kind == DemoDeviceKind::Microphone ? CLSID_DemoMicrophone : CLSID_DemoWebcam;
}

inline const CLSID& DemoCategoryOf(DemoDeviceKind kind) {
    return kind == DemoDeviceKind::Microphone ? CLSID_AudioInputDeviceCategory : CLSID_VideoInputDeviceCategory;
}

// REG_SZ values of a device's key. Missing values mean the defaults.
constexpr wchar_t kToneValue[] = L"DemoToneHz";
constexpr wchar_t kPictureValue[] = L"DemoPicture";
constexpr wchar_t kFormatsValue[] = L"DemoFormats";
constexpr wchar_t kLoseAfterValue[] = L"DemoLoseAfterSeconds";
constexpr wchar_t kStallAfterValue[] = L"DemoStallAfterSeconds";
