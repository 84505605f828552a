#pragma once
// The demo microphone's output pin, "Capture": the tone as 16-bit stereo
// PCM at 44,100 Hz, one buffer at a time as the wall clock fills it.
// Capture programs find it through IKsPropertySet (capture category), read
// and set its one format through IAMStreamConfig, and choose the buffer
// length through IAMBufferNegotiation (FFmpeg's audio_buffer_size).
#include <windows.h>
#include <dshow.h>

#include "camera/framework/framework.h"
#include "tools/demo_devices/filters/capture_pin_category.h"
#include "tools/demo_devices/filters/live_stream.h"
#include "tools/demo_devices/microphone/sine_tone.h"

class CDemoSource;

class CMicrophonePin : public CLiveStream,
                       public IAMStreamConfig,
                       public IAMBufferNegotiation,
                       public CCapturePinCategory {
public:
    CMicrophonePin(HRESULT* phr, CDemoSource* filter);

    QV_DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;

    // Called before the pin connects.
    void SetTone(double hz) { m_tone.SetFrequency(hz); }

    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT OnThreadStartPlay() override;
    HRESULT FillBuffer(IMediaSample* sample) override;

    // IAMStreamConfig: one capability, the PCM format; SetFormat accepts it
    // (or null, the default) and refuses anything else.
    STDMETHODIMP SetFormat(AM_MEDIA_TYPE* type) override;
    STDMETHODIMP GetFormat(AM_MEDIA_TYPE** type) override;
    STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override;
    STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;

    // IAMBufferNegotiation: a suggestion made before connecting sets the
    // buffer length (whole sample frames) and the number of buffers;
    // fields of -1 or 0 keep ours.
    STDMETHODIMP SuggestAllocatorProperties(const ALLOCATOR_PROPERTIES* properties) override;
    STDMETHODIMP GetAllocatorProperties(ALLOCATOR_PROPERTIES* properties) override;

private:
    CSineTone m_tone;
    ALLOCATOR_PROPERTIES m_suggested = {-1, -1, -1, -1};
    // Bytes of every buffer delivered, fixed when the allocator is agreed.
    long m_bufferBytes = 0;
    // Sample frames delivered since the pin became active.
    LONGLONG m_framesDone = 0;
};
