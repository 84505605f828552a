// Test-only audio capture filters on the source-filter framework: one
// output pin that says it is a capture pin and delivers silence, 16-bit
// stereo PCM at 44.1 kHz. One class runs; one connects but refuses to pause
// or run; one offers a stream type that nothing can render.
#include "tests/daemon/devices/test_audio_capture_classes.h"

#include "camera/filter/pin_category_property.h"
#include "camera/framework/framework.h"

#include <mmreg.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <cstring>
#include <new>

namespace {

const WORD kChannels = 2;
const DWORD kSamplesPerSecond = 44100;
const WORD kBitsPerSample = 16;
const WORD kBlockAlign = kChannels * kBitsPerSample / 8;
// 100 ms a sample.
const LONG kSampleBytes = kSamplesPerSecond / 10 * kBlockAlign;
const REFERENCE_TIME kSampleDuration = 1000000;
// A format tag that no codec or renderer knows.
const WORD kUnplayableFormatTag = 0x7A01;

// The test wave type with the given subtype and format tag.
CMediaType MakeWaveType(const GUID& subtype, WORD formatTag) {
    CMediaType type;
    type.SetType(&MEDIATYPE_Audio);
    type.SetSubtype(&subtype);
    type.SetFormatType(&FORMAT_WaveFormatEx);
    auto* format = reinterpret_cast<WAVEFORMATEX*>(type.AllocFormatBuffer(sizeof(WAVEFORMATEX)));
    if (format) {
        format->wFormatTag = formatTag;
        format->nChannels = kChannels;
        format->nSamplesPerSec = kSamplesPerSecond;
        format->wBitsPerSample = kBitsPerSample;
        format->nBlockAlign = kBlockAlign;
        format->nAvgBytesPerSec = kSamplesPerSecond * kBlockAlign;
        format->cbSize = 0;
    }
    type.SetSampleSize(kBlockAlign);
    return type;
}

// Wine's audio renderer reads the format block of any audio type it is
// offered, so this one has one; no renderer or codec knows its tag.
CMediaType MakeUnplayableType() { return MakeWaveType(MEDIASUBTYPE_TestAudioUnplayable, kUnplayableFormatTag); }

CMediaType MakePcmType() {
    CMediaType type = MakeWaveType(MEDIASUBTYPE_PCM, WAVE_FORMAT_PCM);
    type.SetTemporalCompression(FALSE);
    return type;
}

class CTestAudioStream : public CSourceStream, public IKsPropertySet {
public:
    CTestAudioStream(HRESULT* phr, CSource* filter, bool playable)
        : CSourceStream(L"test audio stream", phr, filter, L"Capture"), m_playable(playable) {}

    QV_DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IKsPropertySet)) return GetInterface(static_cast<IKsPropertySet*>(this), out);
        return CSourceStream::NonDelegatingQueryInterface(iid, out);
    }

    HRESULT GetMediaType(int position, CMediaType* type) override {
        if (!type) return E_POINTER;
        if (position < 0) return E_INVALIDARG;
        if (position > 0) return VFW_S_NO_MORE_ITEMS;
        return type->Set(m_playable ? MakePcmType() : MakeUnplayableType());
    }

    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
        if (!allocator || !request) return E_POINTER;
        // Room for a tee that holds one sample while it asks for the next.
        if (request->cBuffers < 4) request->cBuffers = 4;
        if (request->cbBuffer < kSampleBytes) request->cbBuffer = kSampleBytes;
        if (request->cbAlign < 1) request->cbAlign = 1;
        ALLOCATOR_PROPERTIES actual = {};
        HRESULT hr = allocator->SetProperties(request, &actual);
        if (FAILED(hr)) return hr;
        return actual.cbBuffer < kSampleBytes ? E_FAIL : S_OK;
    }

    HRESULT OnThreadStartPlay() override {
        m_next = 0;
        return S_OK;
    }

    HRESULT FillBuffer(IMediaSample* sample) override {
        BYTE* data = nullptr;
        HRESULT hr = sample->GetPointer(&data);
        if (FAILED(hr)) return hr;
        if (sample->GetSize() < kSampleBytes) return E_UNEXPECTED;
        memset(data, 0, static_cast<size_t>(kSampleBytes));
        sample->SetActualDataLength(kSampleBytes);
        REFERENCE_TIME start = m_next;
        REFERENCE_TIME stop = start + kSampleDuration;
        sample->SetTime(&start, &stop);
        sample->SetSyncPoint(TRUE);
        m_next = stop;
        // A capture device delivers in real time; the renderer need not hold us back.
        ::Sleep(static_cast<DWORD>(kSampleDuration / 10000));
        return S_OK;
    }

    // IKsPropertySet: the pin category, which capture graph builders ask for.
    STDMETHODIMP Set(REFGUID, DWORD, void*, DWORD, void*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Get(REFGUID propSet, DWORD id, void*, DWORD, void* propertyData, DWORD dataLength,
                     DWORD* bytesReturned) override {
        return GetPinCategoryProperty(propSet, id, propertyData, dataLength, bytesReturned);
    }
    STDMETHODIMP QuerySupported(REFGUID propSet, DWORD id, DWORD* typeSupport) override {
        if (!IsEqualGUID(propSet, AMPROPSETID_Pin)) return E_PROP_SET_UNSUPPORTED;
        if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
        if (typeSupport) *typeSupport = KSPROPERTY_SUPPORT_GET;
        return S_OK;
    }

private:
    const bool m_playable;
    REFERENCE_TIME m_next = 0;
};

class CTestAudioCapture : public CSource {
public:
    CTestAudioCapture(IUnknown* outer, REFCLSID clsid, bool startable)
        : CSource(L"Test audio capture", outer, clsid), m_startable(startable) {}

    // A graph pauses its filters before it runs them: a device that cannot
    // start refuses both steps.
    STDMETHODIMP Pause() override {
        if (!m_startable) return kTestAudioStartFailure;
        return CSource::Pause();
    }
    STDMETHODIMP Run(REFERENCE_TIME start) override {
        if (!m_startable) return kTestAudioStartFailure;
        return CSource::Run(start);
    }

    static CUnknown* Create(IUnknown* outer, HRESULT* phr, REFCLSID clsid, bool playable, bool startable) {
        auto* filter = new (std::nothrow) CTestAudioCapture(outer, clsid, startable);
        if (!filter) {
            *phr = E_OUTOFMEMORY;
            return nullptr;
        }
        // The filter owns the pin from its construction on.
        if (!new (std::nothrow) CTestAudioStream(phr, filter, playable) && SUCCEEDED(*phr)) *phr = E_OUTOFMEMORY;
        return filter;
    }

private:
    const bool m_startable;
};

CUnknown* CALLBACK CreateRuns(IUnknown* outer, HRESULT* phr) {
    return CTestAudioCapture::Create(outer, phr, CLSID_TestAudioCaptureRuns, true, true);
}

CUnknown* CALLBACK CreateRefusesToStart(IUnknown* outer, HRESULT* phr) {
    return CTestAudioCapture::Create(outer, phr, CLSID_TestAudioCaptureRefusesToStart, true, false);
}

CUnknown* CALLBACK CreateUnrenderable(IUnknown* outer, HRESULT* phr) {
    return CTestAudioCapture::Create(outer, phr, CLSID_TestAudioCaptureUnrenderable, false, true);
}

}  // namespace

CFactoryTemplate g_Templates[] = {
    {L"Test audio capture (runs)", &CLSID_TestAudioCaptureRuns, &CreateRuns, nullptr, nullptr},
    {L"Test audio capture (refuses to start)", &CLSID_TestAudioCaptureRefusesToStart, &CreateRefusesToStart, nullptr,
     nullptr},
    {L"Test audio capture (unrenderable)", &CLSID_TestAudioCaptureUnrenderable, &CreateUnrenderable, nullptr,
     nullptr},
};
int g_cTemplates = 3;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    return FrameworkDllEntry(instance, reason, reserved);
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) { return FrameworkGetClassObject(clsid, iid, out); }

STDAPI DllCanUnloadNow() { return FrameworkCanUnloadNow(); }
