#pragma once
// What the demo device tests share: demo_devices.exe run like a user runs
// it, the system device enumerator's lists, and a real graph around a
// device bound from its moniker (its pin connected directly to a sample
// grabber, then a null renderer) that records every sample.
#include <windows.h>
#include <dshow.h>
#include <qedit.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

// COM on this thread (multithreaded apartment) for the object's life.
class ComScope {
public:
    ComScope() : m_hr(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(m_hr)) ::CoUninitialize();
    }

private:
    HRESULT m_hr;
};

// demo_devices.exe from the test's bin/ with these arguments (each quoted).
ProgramResult RunDemoTool(const std::vector<std::wstring>& arguments);
// Friendly names of the category's devices, in the enumerator's order.
std::vector<std::wstring> DeviceNames(REFCLSID category);
bool HasDevice(REFCLSID category, const std::wstring& name);
// Whether the pin says PIN_CATEGORY_CAPTURE through IKsPropertySet, where
// capture programs look for it.
::testing::AssertionResult IsCapturePin(IPin* pin);

struct RecordedSample {
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    DWORD arrivalMs = 0;  // timeGetTime when the grabber saw it
    std::vector<uint8_t> data;
};

class DeviceGraph : public ISampleGrabberCB {
public:
    ~DeviceGraph();
    // Binds the device from the category's list; empty on success, else what failed.
    std::string Open(REFCLSID category, const std::wstring& name);
    // Sets `format` (when given) through IAMStreamConfig and connects the
    // pin to the grabber, the grabber to the renderer.
    std::string Connect(const AM_MEDIA_TYPE* format = nullptr);
    std::string Run();
    void Stop();

    IPin* DevicePin() { return m_pin.Get(); }
    // Only the first `count` samples keep their bytes (pictures are large).
    void KeepDataOf(size_t count) { m_keptData = count; }
    // The connection's type, as the grabber's input has it.
    bool ConnectionType(AM_MEDIA_TYPE* type);
    // Waits until `count` samples have arrived.
    bool WaitForSamples(size_t count, DWORD timeoutMs);
    std::vector<RecordedSample> Samples();

    // ISampleGrabberCB; the object lives on the test's stack.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP SampleCB(double time, IMediaSample* sample) override;
    STDMETHODIMP BufferCB(double, BYTE*, long) override { return E_NOTIMPL; }

private:
    std::mutex m_mutex;
    std::vector<RecordedSample> m_samples;
    size_t m_keptData = static_cast<size_t>(-1);
    Microsoft::WRL::ComPtr<IGraphBuilder> m_graph;
    Microsoft::WRL::ComPtr<IMediaControl> m_control;
    Microsoft::WRL::ComPtr<IBaseFilter> m_device;
    Microsoft::WRL::ComPtr<IPin> m_pin;
    Microsoft::WRL::ComPtr<IBaseFilter> m_grabberFilter;
    Microsoft::WRL::ComPtr<ISampleGrabber> m_grabber;
    Microsoft::WRL::ComPtr<IBaseFilter> m_renderer;
};

// "0x80004005" and the like, for failure messages.
std::string HrText(const char* what, HRESULT hr);
