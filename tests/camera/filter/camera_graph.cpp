#include "tests/camera/filter/camera_graph.h"

#include <mmsystem.h>
#include <uuids.h>

#include <chrono>
#include <cstring>
#include <sstream>

#include "tests/support/child_process.h"

using Microsoft::WRL::ComPtr;

const wchar_t kCameraName[] = L"Kavo\u76f4\u64ad\u63d2\u4ef6";

namespace {

// Not defined by the toolchain's import libraries.
constexpr CLSID kClsidSampleGrabber = {0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
constexpr CLSID kClsidNullRenderer = {0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

std::string HrText(const char* what, HRESULT hr) {
    std::ostringstream text;
    text << what << " failed: 0x" << std::hex << static_cast<unsigned long>(hr);
    return text.str();
}

ComPtr<IPin> PinOf(IBaseFilter* filter, PIN_DIRECTION wanted) {
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(&pins))) return nullptr;
    ComPtr<IPin> pin;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION direction;
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == wanted) return pin;
        pin.Reset();
    }
    return nullptr;
}

}  // namespace

// A child that inherits no handles. Under Wine the first process that needs
// a desktop starts explorer.exe with its standard handles; a pipe handed to
// such a child would then stay open for as long as explorer runs.
std::string RunDetached(const std::wstring& commandLine, DWORD timeoutMs) {
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    std::wstring mutableLine = commandLine;
    if (!::CreateProcessW(nullptr, &mutableLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                          &pi)) {
        return "cannot start " + ToUtf8(commandLine) + ": error " + std::to_string(::GetLastError());
    }
    ::CloseHandle(pi.hThread);
    std::string problem;
    if (::WaitForSingleObject(pi.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(pi.hProcess, 1);
        ::WaitForSingleObject(pi.hProcess, 5000);
        problem = ToUtf8(commandLine) + " timed out";
    } else {
        DWORD code = 0;
        ::GetExitCodeProcess(pi.hProcess, &code);
        if (code != 0) problem = ToUtf8(commandLine) + " exited with " + std::to_string(code);
    }
    ::CloseHandle(pi.hProcess);
    return problem;
}

std::string RegisterCamera(bool doRegister) {
    std::wstring command = L"regsvr32.exe /s ";
    if (!doRegister) command += L"/u ";
    return RunDetached(command + QuoteArgument(TestBinDir() + L"QvCamera.dll"), 30000);
}

ComPtr<IBaseFilter> CameraFromDeviceList() {
    ComPtr<ICreateDevEnum> devices;
    if (FAILED(::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&devices))))
        return nullptr;
    ComPtr<IEnumMoniker> monikers;
    if (devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) != S_OK) return nullptr;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, &moniker, nullptr) == S_OK) {
        ComPtr<IPropertyBag> bag;
        if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag)))) {
            VARIANT name;
            ::VariantInit(&name);
            if (SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR &&
                std::wcscmp(name.bstrVal, kCameraName) == 0) {
                ::VariantClear(&name);
                ComPtr<IBaseFilter> filter;
                if (SUCCEEDED(moniker->BindToObject(nullptr, nullptr, IID_PPV_ARGS(&filter)))) return filter;
                return nullptr;
            }
            ::VariantClear(&name);
        }
        moniker.Reset();
    }
    return nullptr;
}

ComPtr<IPin> OutputPinOf(IBaseFilter* filter) { return PinOf(filter, PINDIR_OUTPUT); }

// SampleCollector

STDMETHODIMP SampleCollector::SampleCB(double, IMediaSample* sample) {
    GrabbedSample grabbed;
    grabbed.arrivalMs = ::timeGetTime();
    grabbed.arrivalTick = ::GetTickCount();
    grabbed.timeResult = sample->GetTime(&grabbed.start, &grabbed.stop);
    grabbed.syncPoint = sample->IsSyncPoint() == S_OK;
    BYTE* data = nullptr;
    const long length = sample->GetActualDataLength();
    if (SUCCEEDED(sample->GetPointer(&data)) && data && length > 0) grabbed.data.assign(data, data + length);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_samples.push_back(std::move(grabbed));
        if (m_samples.size() > kKeptData) {
            std::vector<uint8_t>().swap(m_samples[m_samples.size() - kKeptData - 1].data);
        }
    }
    m_arrived.notify_all();
    return S_OK;
}

size_t SampleCollector::Count() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_samples.size();
}

bool SampleCollector::WaitForCount(size_t count, DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_samples.size() > count; });
}

long SampleCollector::WaitForSampleAfterTick(DWORD tick, DWORD timeoutMs, size_t from) {
    std::unique_lock<std::mutex> lock(m_mutex);
    long found = -1;
    m_arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (size_t i = from; i < m_samples.size(); ++i) {
            if (static_cast<LONG>(m_samples[i].arrivalTick - tick) > 0) {
                found = static_cast<long>(i);
                return true;
            }
        }
        return false;
    });
    return found;
}

GrabbedSample SampleCollector::At(size_t i) {
    std::lock_guard<std::mutex> lock(m_mutex);
    return i < m_samples.size() ? m_samples[i] : GrabbedSample();
}

std::vector<GrabbedSample> SampleCollector::Metadata() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<GrabbedSample> copy;
    copy.reserve(m_samples.size());
    for (const GrabbedSample& s : m_samples) {
        GrabbedSample m = s;
        m.data.clear();
        copy.push_back(std::move(m));
    }
    return copy;
}

// CameraGraph

std::string CameraGraph::Build(bool withRenderer) {
    HRESULT hr = ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&m_graph));
    if (FAILED(hr)) return HrText("creating the filter graph", hr);
    hr = m_graph.As(&m_control);
    if (FAILED(hr)) return HrText("IMediaControl", hr);

    m_camera = CameraFromDeviceList();
    if (!m_camera) return "the video capture device list has no camera named Kavo\xe7\x9b\xb4\xe6\x92\xad\xe6\x8f\x92\xe4\xbb\xb6";
    hr = m_graph->AddFilter(m_camera.Get(), L"camera");
    if (FAILED(hr)) return HrText("adding the camera", hr);
    m_cameraPin = OutputPinOf(m_camera.Get());
    if (!m_cameraPin) return "the camera has no output pin";

    hr = ::CoCreateInstance(kClsidSampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&m_grabberFilter));
    if (FAILED(hr)) return HrText("creating the sample grabber", hr);
    hr = m_graph->AddFilter(m_grabberFilter.Get(), L"grabber");
    if (FAILED(hr)) return HrText("adding the sample grabber", hr);
    hr = m_grabberFilter.As(&m_grabber);
    if (FAILED(hr)) return HrText("ISampleGrabber", hr);
    AM_MEDIA_TYPE wanted = {};
    wanted.majortype = MEDIATYPE_Video;
    wanted.subtype = MEDIASUBTYPE_RGB24;
    m_grabber->SetMediaType(&wanted);
    m_grabber->SetBufferSamples(FALSE);
    m_grabber->SetOneShot(FALSE);
    hr = m_grabber->SetCallback(&m_collector, 0);
    if (FAILED(hr)) return HrText("ISampleGrabber::SetCallback", hr);
    m_grabberIn = PinOf(m_grabberFilter.Get(), PINDIR_INPUT);
    m_grabberOut = PinOf(m_grabberFilter.Get(), PINDIR_OUTPUT);
    if (!m_grabberIn || !m_grabberOut) return "the sample grabber lacks a pin";

    if (withRenderer) {
        hr = ::CoCreateInstance(kClsidNullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&m_renderer));
        if (FAILED(hr)) return HrText("creating the null renderer", hr);
        hr = m_graph->AddFilter(m_renderer.Get(), L"renderer");
        if (FAILED(hr)) return HrText("adding the null renderer", hr);
        m_rendererIn = PinOf(m_renderer.Get(), PINDIR_INPUT);
        if (!m_rendererIn) return "the null renderer has no input pin";
    }
    return std::string();
}

std::string CameraGraph::Connect() {
    HRESULT hr = m_graph->ConnectDirect(m_cameraPin.Get(), m_grabberIn.Get(), nullptr);
    if (FAILED(hr)) return HrText("connecting the camera to the grabber", hr);
    if (m_rendererIn) {
        hr = m_graph->ConnectDirect(m_grabberOut.Get(), m_rendererIn.Get(), nullptr);
        if (FAILED(hr)) return HrText("connecting the grabber to the renderer", hr);
    }
    return std::string();
}

IAMStreamConfig* CameraGraph::StreamConfig() {
    if (!m_config) m_camera.As(&m_config);
    return m_config.Get();
}

bool CameraGraph::ConnectedSize(LONG* width, LONG* height) {
    AM_MEDIA_TYPE type = {};
    if (FAILED(m_grabberIn->ConnectionMediaType(&type))) return false;
    bool ok = false;
    if (type.pbFormat && type.cbFormat >= sizeof(VIDEOINFOHEADER)) {
        const auto* format = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
        *width = format->bmiHeader.biWidth;
        *height = format->bmiHeader.biHeight;
        ok = true;
    }
    if (type.pbFormat) ::CoTaskMemFree(type.pbFormat);
    if (type.pUnk) type.pUnk->Release();
    return ok;
}

HRESULT CameraGraph::Stop() {
    if (!m_control) return S_OK;
    HRESULT hr = m_control->Stop();
    OAFilterState state;
    m_control->GetState(5000, &state);
    return hr;
}

CameraGraph::~CameraGraph() {
    Stop();
    if (m_grabber) m_grabber->SetCallback(nullptr, 0);
}

// The loaded module's record

FrameExchange* LoadedFrameExchange() {
    auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleW(L"QvCamera.dll"));
    if (!base) return nullptr;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        if (std::memcmp(section->Name, ".zrcamer", 8) == 0)
            return reinterpret_cast<FrameExchange*>(base + section->VirtualAddress);
    }
    return nullptr;
}

std::string RunProducer(const std::wstring& arguments) {
    return RunDetached(QuoteArgument(TestBinDir() + L"test_frame_producer.exe") + L" " + arguments, 30000);
}

// Pictures

const std::vector<uint8_t>& StandbyFullPicture() {
    static const std::vector<uint8_t> pixels = [] {
        std::vector<uint8_t> result;
        HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_RCDATA);
        if (!found) return result;
        const DWORD size = ::SizeofResource(nullptr, found);
        const auto* file = static_cast<const uint8_t*>(::LockResource(::LoadResource(nullptr, found)));
        if (!file || size < sizeof(BITMAPFILEHEADER)) return result;
        BITMAPFILEHEADER header;
        std::memcpy(&header, file, sizeof header);
        if (header.bfOffBits + kFullBytes > size) return result;
        result.assign(file + header.bfOffBits, file + header.bfOffBits + kFullBytes);
        return result;
    }();
    return pixels;
}

HRESULT SetHalfSizeFormat(IAMStreamConfig* config) {
    if (!config) return E_POINTER;
    VIDEOINFOHEADER format = {};
    format.AvgTimePerFrame = kSampleTicks;
    format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    format.bmiHeader.biWidth = 320;
    format.bmiHeader.biHeight = 240;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 24;
    format.bmiHeader.biCompression = BI_RGB;
    format.bmiHeader.biSizeImage = kHalfBytes;
    AM_MEDIA_TYPE type = {};
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_RGB24;
    type.formattype = FORMAT_VideoInfo;
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = kHalfBytes;
    type.cbFormat = sizeof format;
    type.pbFormat = reinterpret_cast<BYTE*>(&format);
    return config->SetFormat(&type);
}

std::vector<uint8_t> HalvedPicture(const std::vector<uint8_t>& full) {
    std::vector<uint8_t> half(kHalfBytes);
    for (size_t y = 0; y < 240; ++y)
        for (size_t x = 0; x < 320; ++x)
            for (size_t c = 0; c < 3; ++c) half[(y * 320 + x) * 3 + c] = full[(2 * y * 640 + 2 * x) * 3 + c];
    return half;
}

std::vector<uint8_t> RampPicture(size_t bytes) {
    std::vector<uint8_t> ramp(bytes);
    for (size_t i = 0; i < bytes; ++i) ramp[i] = static_cast<uint8_t>((i + i / 1920) % 251);
    return ramp;
}

std::string FirstDifference(const uint8_t* actual, const uint8_t* expected, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) {
        if (actual[i] != expected[i]) {
            std::ostringstream text;
            text << "first difference at byte " << i << " (" << int(actual[i]) << " instead of " << int(expected[i])
                 << ")";
            return text.str();
        }
    }
    return "equal";
}
