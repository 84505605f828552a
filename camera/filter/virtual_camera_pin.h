#pragma once
// The virtual camera's one output pin, "Out": 24-bit RGB video at 640 x 480
// or 320 x 240, 15 frames a second, or at 1280 x 720 and 1920 x 1080 in
// NV12 or RGB24 at up to 30, carrying the latest injected frame or the
// stand-by picture. Capture applications configure it through
// IAMStreamConfig and recognise it as a capture pin through IKsPropertySet.
#include <windows.h>
#include <dshow.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "camera/filter/ks_property_set.h"
#include "camera/filter/picture_scaling.h"
#include "camera/filter/pacing_timer.h"
#include "camera/filter/stream_pacing.h"
#include "common/unique_handle.h"
#include "camera/framework/framework.h"

class CVirtualCamera;

class CVirtualCamerPin : public CSourceStream, public IAMStreamConfig, public IKsPropertySet {
public:
    // Reports E_OUTOFMEMORY through phr when the picture buffers cannot be
    // had; the filter then destroys itself.
    CVirtualCamerPin(HRESULT* phr, CVirtualCamera* filter);
    ~CVirtualCamerPin() override;

    QV_DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;

    // Formats and negotiation.
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT SetMediaType(const CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    // Frames.
    HRESULT FillBuffer(IMediaSample* sample) override;

    // IQualityControl: quality messages are refused.
    STDMETHODIMP Notify(IBaseFilter* sender, Quality quality) override;

    // IAMStreamConfig
    STDMETHODIMP SetFormat(AM_MEDIA_TYPE* type) override;
    STDMETHODIMP GetFormat(AM_MEDIA_TYPE** type) override;
    STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override;
    STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;

    // IKsPropertySet
    STDMETHODIMP Set(REFGUID propSet, DWORD id, void* instanceData, DWORD instanceLength, void* propertyData,
                     DWORD dataLength) override;
    STDMETHODIMP Get(REFGUID propSet, DWORD id, void* instanceData, DWORD instanceLength, void* propertyData,
                     DWORD dataLength, DWORD* bytesReturned) override;
    STDMETHODIMP QuerySupported(REFGUID propSet, DWORD id, DWORD* typeSupport) override;

private:
    // Size of the last type SetMediaType accepted; -1 before any.
    LONG m_width = -1;
    LONG m_height = -1;
    CVirtualCamera* m_camera;  // owns us
    // Set with the size: a large connection, its picture layout, and how
    // long its samples last.
    bool m_large = false;
    PictureLayout m_layout = {};
    REFERENCE_TIME m_sampleDuration = kSampleDuration;

    std::vector<uint8_t> m_standbyFull;
    std::vector<uint8_t> m_standbyHalf;
    std::vector<uint8_t> m_halfScratch;
    // The stand-by picture drawn at a large connection's layout, once.
    std::vector<uint8_t> m_standbyLarge;
    bool m_standbyLargeDrawn = false;
    bool m_standbyTried = false;
    // Stream start time of the next sample (100-ns units).
    REFERENCE_TIME m_nextStart = 0;
    // timeGetTime at the last Active: what samples are paced against until
    // the filter runs.
    volatile DWORD m_activeMs = 0;
    std::atomic<LONGLONG> m_active{0};  // PerformanceTime100ns at Active
    CPacingTimer m_pacingTimer;
    // Set by Inactive so that a pacing wait does not hold up a stop.
    UniqueHandle m_stopPacing;
    CCritSec m_frameLock;
};
