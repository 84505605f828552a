#include "tests/tools/demo_devices/demo_device_graph.h"

#include <mmsystem.h>

#include <uuids.h>

#include <cstdio>

using Microsoft::WRL::ComPtr;

namespace {

// Declared by no mingw header.
const CLSID kClsidSampleGrabber = {0xc1f400a0, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};
const CLSID kClsidNullRenderer = {0xc1f400a4, 0x3f08, 0x11d3, {0x9f, 0x0b, 0x00, 0x60, 0x08, 0x03, 0x9e, 0x37}};

ComPtr<IPin> PinOf(IBaseFilter* filter, PIN_DIRECTION direction) {
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(&pins))) return nullptr;
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_DIRECTION actual;
        if (SUCCEEDED(pin->QueryDirection(&actual)) && actual == direction) return pin;
    }
    return nullptr;
}

// Calls `visit` with each device's name and moniker until it returns true.
template <typename Visit>
void ForEachDevice(REFCLSID category, Visit visit) {
    ComPtr<ICreateDevEnum> devices;
    if (FAILED(::CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&devices))))
        return;
    ComPtr<IEnumMoniker> monikers;
    if (devices->CreateClassEnumerator(category, &monikers, 0) != S_OK) return;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag)))) continue;
        VARIANT name;
        ::VariantInit(&name);
        name.vt = VT_BSTR;
        if (SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR) {
            const std::wstring text = name.bstrVal;
            ::VariantClear(&name);
            if (visit(text, moniker.Get())) return;
        }
    }
}

}  // namespace

std::string HrText(const char* what, HRESULT hr) {
    char text[160];
    std::snprintf(text, sizeof text, "%s failed with 0x%08lX", what, static_cast<unsigned long>(hr));
    return text;
}

ProgramResult RunDemoTool(const std::vector<std::wstring>& arguments) {
    std::wstring line = QuoteArgument(TestBinDir() + L"demo_devices.exe");
    for (const std::wstring& argument : arguments) line += L" " + QuoteArgument(argument);
    return RunProgram(line, 60000);
}

std::vector<std::wstring> DeviceNames(REFCLSID category) {
    std::vector<std::wstring> names;
    ForEachDevice(category, [&](const std::wstring& name, IMoniker*) {
        names.push_back(name);
        return false;
    });
    return names;
}

bool HasDevice(REFCLSID category, const std::wstring& name) {
    for (const std::wstring& listed : DeviceNames(category)) {
        if (listed == name) return true;
    }
    return false;
}

DeviceGraph::~DeviceGraph() {
    Stop();
    if (m_grabber) m_grabber->SetCallback(nullptr, 0);
}

::testing::AssertionResult IsCapturePin(IPin* pin) {
    ComPtr<IKsPropertySet> properties;
    HRESULT hr = pin->QueryInterface(IID_PPV_ARGS(&properties));
    if (FAILED(hr)) return ::testing::AssertionFailure() << "the pin has no IKsPropertySet: hr " << std::hex << hr;
    GUID category = GUID_NULL;
    DWORD returned = 0;
    hr = properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof category, &returned);
    if (FAILED(hr)) return ::testing::AssertionFailure() << "the pin category cannot be read: hr " << std::hex << hr;
    if (!IsEqualGUID(PIN_CATEGORY_CAPTURE, category))
        return ::testing::AssertionFailure() << "the pin is not in PIN_CATEGORY_CAPTURE";
    return ::testing::AssertionSuccess();
}

std::string DeviceGraph::Open(REFCLSID category, const std::wstring& name) {
    HRESULT hr = E_FAIL;
    bool found = false;
    ForEachDevice(category, [&](const std::wstring& listed, IMoniker* moniker) {
        if (listed != name) return false;
        found = true;
        hr = moniker->BindToObject(nullptr, nullptr, IID_PPV_ARGS(&m_device));
        return true;
    });
    if (!found) return "the device list has no device named " + ToUtf8(name);
    if (FAILED(hr)) return HrText("binding the device", hr);
    hr = ::CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&m_graph));
    if (FAILED(hr)) return HrText("creating the graph", hr);
    m_graph.As(&m_control);
    hr = ::CoCreateInstance(kClsidSampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&m_grabberFilter));
    if (FAILED(hr)) return HrText("creating the sample grabber", hr);
    m_grabberFilter.As(&m_grabber);
    hr = ::CoCreateInstance(kClsidNullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&m_renderer));
    if (FAILED(hr)) return HrText("creating the null renderer", hr);
    if (FAILED(hr = m_graph->AddFilter(m_device.Get(), L"device"))) return HrText("adding the device", hr);
    if (FAILED(hr = m_graph->AddFilter(m_grabberFilter.Get(), L"grabber"))) return HrText("adding the grabber", hr);
    if (FAILED(hr = m_graph->AddFilter(m_renderer.Get(), L"renderer"))) return HrText("adding the renderer", hr);
    m_grabber->SetBufferSamples(FALSE);
    m_grabber->SetOneShot(FALSE);
    m_grabber->SetCallback(this, 0);
    m_pin = PinOf(m_device.Get(), PINDIR_OUTPUT);
    return m_pin ? std::string() : "the device has no output pin";
}

std::string DeviceGraph::Connect(const AM_MEDIA_TYPE* format) {
    HRESULT hr;
    if (format) {
        ComPtr<IAMStreamConfig> config;
        if (FAILED(hr = m_pin.As(&config))) return HrText("IAMStreamConfig", hr);
        if (FAILED(hr = config->SetFormat(const_cast<AM_MEDIA_TYPE*>(format)))) return HrText("SetFormat", hr);
    }
    hr = m_graph->ConnectDirect(m_pin.Get(), PinOf(m_grabberFilter.Get(), PINDIR_INPUT).Get(), nullptr);
    if (FAILED(hr)) return HrText("connecting the device to the grabber", hr);
    hr = m_graph->ConnectDirect(PinOf(m_grabberFilter.Get(), PINDIR_OUTPUT).Get(),
                                PinOf(m_renderer.Get(), PINDIR_INPUT).Get(), nullptr);
    return FAILED(hr) ? HrText("connecting the grabber to the renderer", hr) : std::string();
}

std::string DeviceGraph::Run() {
    HRESULT hr = m_control->Run();
    return FAILED(hr) ? HrText("running the graph", hr) : std::string();
}

void DeviceGraph::Stop() {
    if (m_control) m_control->Stop();
}

bool DeviceGraph::ConnectionType(AM_MEDIA_TYPE* type) { return SUCCEEDED(m_grabber->GetConnectedMediaType(type)); }

bool DeviceGraph::WaitForSamples(size_t count, DWORD timeoutMs) {
    const DWORD begin = ::GetTickCount();
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_samples.size() >= count) return true;
        }
        if (::GetTickCount() - begin > timeoutMs) return false;
        ::Sleep(10);
    }
}

std::vector<RecordedSample> DeviceGraph::Samples() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_samples;
}

STDMETHODIMP DeviceGraph::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISampleGrabberCB)) {
        *out = static_cast<ISampleGrabberCB*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP DeviceGraph::SampleCB(double, IMediaSample* sample) {
    RecordedSample recorded;
    recorded.arrivalMs = ::timeGetTime();
    sample->GetTime(&recorded.start, &recorded.stop);
    BYTE* data = nullptr;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_samples.size() < m_keptData && SUCCEEDED(sample->GetPointer(&data)))
        recorded.data.assign(data, data + sample->GetActualDataLength());
    m_samples.push_back(std::move(recorded));
    return S_OK;
}
