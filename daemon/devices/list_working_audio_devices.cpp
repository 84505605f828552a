#include "daemon/devices/list_working_audio_devices.h"

#include "common/com_apartment.h"
#include "daemon/devices/enum_audio_capture_devices.h"
#include "daemon/devices/find_audio_renderer.h"

#include <control.h>
#include <uuids.h>

#include <mutex>

using Microsoft::WRL::ComPtr;

namespace {

// One listing at a time in the process. Under Wine the first listings, when
// two start at once, deadlock for good while they load DirectShow and the
// sound drivers, and overlapping listings race in the device enumerator's
// rewrite of its registry entries and miss the renderer or a device. A
// greeting waits for its listing in any case.
std::mutex& ListingLock() {
    static std::mutex lock;
    return lock;
}

enum class Outcome { Works, Fails, EndTesting };

Outcome TestDevice(AudioDeviceEntry& device) {
    ComPtr<IBaseFilter> renderer;
    FindAudioRenderer(renderer);
    ComPtr<IGraphBuilder> graph;
    if (FAILED(::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&graph))))
        return Outcome::EndTesting;
    ComPtr<ICaptureGraphBuilder2> builder;
    if (FAILED(::CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                  IID_PPV_ARGS(&builder))))
        return Outcome::EndTesting;
    if (FAILED(builder->SetFiltergraph(graph.Get()))) return Outcome::EndTesting;
    if (!renderer || FAILED(graph->AddFilter(renderer.Get(), L"Audio Renderers"))) return Outcome::EndTesting;
    if (FAILED(graph->AddFilter(device.filter.Get(), L"Audio Capture"))) return Outcome::Fails;
    if (FAILED(builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, device.filter.Get(), nullptr, nullptr)))
        return Outcome::Fails;
    // The graph holds its own references from here on.
    renderer.Reset();
    device.filter.Reset();
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;
    // mingw's headers give IMediaEvent no __uuidof, so it is asked for by IID.
    if (FAILED(graph.As(&control)) ||
        FAILED(graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(events.GetAddressOf()))))
        return Outcome::Fails;
    // S_FALSE (still starting) counts as running. The graph is released
    // running; its last release stops it.
    if (FAILED(control->Run())) return Outcome::Fails;
    return Outcome::Works;
}

}  // namespace

HRESULT ListWorkingAudioDevices(std::vector<std::wstring>& result) {
    std::lock_guard<std::mutex> oneAtATime(ListingLock());
    // Each session thread lists on an apartment of its own. Declared before
    // the interfaces, so that they are all released before it goes.
    ScopedComApartment apartment;
    std::vector<AudioDeviceEntry> devices;
    EnumAudioCaptureDevices(devices);
    for (AudioDeviceEntry& device : devices) {
        const Outcome outcome = TestDevice(device);
        if (outcome == Outcome::EndTesting) break;
        if (outcome == Outcome::Works) result.push_back(device.name);
    }
    return S_OK;
}
