#include "bridge/capture_graph.h"

#include <uuids.h>

#include "bridge/capture_format_offers.h"
#include "bridge/filter_classes.h"
#include "bridge/graph_pins.h"
#include "bridge/media_type_owner.h"

using Microsoft::WRL::ComPtr;

namespace {

bool Fail(GraphFailure& failure, HRESULT result, const wchar_t* what) {
    failure.result = result;
    failure.what = what;
    return false;
}

std::wstring DescribeOffer(const CaptureFormatOffer& offer, LONGLONG interval) {
    std::wstring text = PixelFormatName(offer.format);
    text += L" " + std::to_wstring(offer.width) + L"x" + std::to_wstring(offer.height);
    if (interval > 0) text += L" " + std::to_wstring((10000000 + interval / 2) / interval) + L" fps";
    return text;
}

// Takes a half-made connection apart again: both ends of `pin`'s link.
void Disconnect(IGraphBuilder* graph, IPin* pin) {
    ComPtr<IPin> peer;
    if (pin != nullptr && SUCCEEDED(pin->ConnectedTo(peer.GetAddressOf()))) {
        graph->Disconnect(peer.Get());
        graph->Disconnect(pin);
    }
}

}  // namespace

CCaptureGraph::~CCaptureGraph() { Stop(); }

bool CCaptureGraph::Build(IMoniker* device, GraphFailure& failure) {
    HRESULT hr = ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_PPV_ARGS(m_graph.GetAddressOf()));
    if (FAILED(hr)) return Fail(failure, hr, L"no filter graph");
    hr = device->BindToObject(nullptr, nullptr, IID_PPV_ARGS(m_camera.GetAddressOf()));
    if (FAILED(hr)) return Fail(failure, hr, L"the device does not open");
    hr = m_graph->AddFilter(m_camera.Get(), L"Webcam");
    if (FAILED(hr)) return Fail(failure, hr, L"the device does not join a filter graph");
    ComPtr<IPin> cameraPin = FindCapturePin(m_camera.Get());
    if (!cameraPin) return Fail(failure, E_FAIL, L"the device has no capture pin");

    CaptureFormatOffers formats = ListCaptureFormats(cameraPin.Get());
    const std::vector<size_t> ranked = RankCaptureFormats(formats.offers);
    if (ranked.empty()) return Fail(failure, E_FAIL, L"the device offers none of RGB24, RGB32, YUY2, NV12, MJPG");

    hr = ::CoCreateInstance(kClsidSampleGrabber, nullptr, CLSCTX_INPROC_SERVER,
                            IID_PPV_ARGS(m_grabberFilter.GetAddressOf()));
    if (SUCCEEDED(hr)) hr = m_grabberFilter.As(&m_grabber);
    if (SUCCEEDED(hr)) hr = m_graph->AddFilter(m_grabberFilter.Get(), L"Grabber");
    if (FAILED(hr)) return Fail(failure, hr, L"no sample grabber");
    hr = ::CoCreateInstance(kClsidNullRenderer, nullptr, CLSCTX_INPROC_SERVER,
                            IID_PPV_ARGS(m_renderer.GetAddressOf()));
    if (SUCCEEDED(hr)) hr = m_graph->AddFilter(m_renderer.Get(), L"Null renderer");
    if (FAILED(hr)) return Fail(failure, hr, L"no null renderer");

    for (size_t index : ranked) {
        const CaptureFormatOffer& offer = formats.offers[index];
        AM_MEDIA_TYPE& type = *formats.types[index];
        const LONGLONG interval = ChooseFrameInterval(offer);
        SetFrameInterval(type, interval);
        if (ConnectOffer(cameraPin.Get(), type)) {
            m_chosen = DescribeOffer(offer, interval);
            if (m_delivered.format == PixelFormat::Mjpg) m_chosen += L" decoded to NV12";
            return true;
        }
    }
    return Fail(failure, VFW_E_CANNOT_CONNECT, L"none of its types connects");
}

bool CCaptureGraph::ConnectOffer(IPin* cameraPin, AM_MEDIA_TYPE& type) {
    ComPtr<IAMStreamConfig> config;
    // Some webcams only deliver the type set here, whatever the connection
    // says; a refusal is left to the connection to confirm.
    if (SUCCEEDED(cameraPin->QueryInterface(IID_PPV_ARGS(config.GetAddressOf())))) config->SetFormat(&type);
    ComPtr<IPin> grabberIn = FindFreePin(m_grabberFilter.Get(), PINDIR_INPUT);
    ComPtr<IPin> grabberOut = FindFreePin(m_grabberFilter.Get(), PINDIR_OUTPUT);
    ComPtr<IPin> rendererIn = FindFreePin(m_renderer.Get(), PINDIR_INPUT);
    if (!grabberIn || !grabberOut || !rendererIn) return false;

    // MJPG too goes straight into the grabber: the bridge decodes it itself
    // (jpeg_decoder.h) rather than through whatever DirectShow decoder is
    // installed, if any (Wine has none), which would hand it RGB.
    AM_MEDIA_TYPE wanted = {};
    wanted.majortype = MEDIATYPE_Video;
    wanted.subtype = type.subtype;
    bool connected = SUCCEEDED(m_grabber->SetMediaType(&wanted)) &&
                     SUCCEEDED(m_graph->ConnectDirect(cameraPin, grabberIn.Get(), &type));
    if (connected) {
        CMediaTypeContent delivered;
        connected = SUCCEEDED(m_grabber->GetConnectedMediaType(&delivered.Get()));
        if (connected) m_delivered = DescribePicture(delivered.Get());
        connected = connected && DecodedPicture(m_delivered).format != PixelFormat::Unknown;
    }
    if (connected) connected = SUCCEEDED(m_graph->ConnectDirect(grabberOut.Get(), rendererIn.Get(), nullptr));
    if (!connected) {
        Disconnect(m_graph.Get(), grabberIn.Get());
        Disconnect(m_graph.Get(), cameraPin);
    }
    return connected;
}

bool CCaptureGraph::Run(ISampleGrabberCB* sink, GraphFailure& failure) {
    HRESULT hr = m_grabber->SetBufferSamples(FALSE);
    if (SUCCEEDED(hr)) hr = m_grabber->SetOneShot(FALSE);
    if (SUCCEEDED(hr)) hr = m_grabber->SetCallback(sink, 0);
    if (FAILED(hr)) return Fail(failure, hr, L"the sample grabber refuses its callback");
    // Without a clock the null renderer takes each sample as it comes: a
    // live webcam's time stamps are not to be waited for.
    ComPtr<IMediaFilter> timing;
    if (SUCCEEDED(m_graph.As(&timing))) timing->SetSyncSource(nullptr);
    hr = m_graph.As(&m_control);
    if (SUCCEEDED(hr)) hr = m_graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(m_events.GetAddressOf()));
    if (FAILED(hr)) return Fail(failure, hr, L"the filter graph has no control");
    hr = m_control->Run();
    m_running = true;
    if (FAILED(hr)) return Fail(failure, hr, L"the device does not run");
    OAFilterState state = State_Stopped;
    hr = m_control->GetState(5000, &state);
    if (FAILED(hr) || hr == VFW_S_STATE_INTERMEDIATE || state != State_Running)
        return Fail(failure, FAILED(hr) ? hr : E_FAIL, L"the device does not start running");
    return true;
}

GraphEnd CCaptureGraph::WaitForEnd(const CStallWatchdog& watchdog) {
    // Events are waited for in short slices, so that a stall is seen
    // within a quarter of a second of the limit.
    constexpr long kSliceMs = 250;
    GraphEnd end;
    for (;;) {
        if (watchdog.Stalled()) {
            end.stalled = true;
            return end;
        }
        long code = 0;
        LONG_PTR param1 = 0, param2 = 0;
        const HRESULT hr = m_events->GetEvent(&code, &param1, &param2, kSliceMs);
        if (FAILED(hr)) {
            // E_ABORT: no event in the slice.
            if (hr != E_ABORT) ::Sleep(100);
            continue;
        }
        // EC_DEVICE_LOST with 1 says the device came back.
        const bool ends = (code == EC_DEVICE_LOST && param2 == 0) || code == EC_ERRORABORT ||
                          code == EC_ERRORABORTEX || code == EC_STREAM_ERROR_STOPPED || code == EC_COMPLETE ||
                          code == EC_USERABORT;
        m_events->FreeEventParams(code, param1, param2);
        if (ends) {
            end.code = code;
            end.param1 = code == EC_DEVICE_LOST ? 0 : param1;
            return end;
        }
    }
}

void CCaptureGraph::Stop() {
    if (m_running && m_control) m_control->Stop();
    m_running = false;
    if (m_grabber) m_grabber->SetCallback(nullptr, 0);
}
