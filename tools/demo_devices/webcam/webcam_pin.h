#pragma once
// The demo webcam's output pin, "Capture": its picture (or the test card)
// in each configured format, at that format's rate (30 frames a second
// unless it says otherwise) by the wall clock. Capture
// programs find it through IKsPropertySet (capture category) and choose a
// format through IAMStreamConfig, one capability a format.
#include <windows.h>
#include <dshow.h>

#include <memory>
#include <vector>

#include "camera/framework/framework.h"
#include "tools/demo_devices/common/bmp_picture.h"
#include "tools/demo_devices/common/video_formats.h"
#include "tools/demo_devices/filters/capture_pin_category.h"
#include "tools/demo_devices/filters/live_stream.h"

class CDemoSource;

constexpr REFERENCE_TIME kNeverStalls = -1;

class CWebcamPin : public CLiveStream, public IAMStreamConfig, public CCapturePinCategory {
public:
    CWebcamPin(HRESULT* phr, CDemoSource* filter);

    QV_DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;

    // The device's settings, before the pin connects. A null picture means
    // the test card; a zero `loseAt` a webcam that is never unplugged,
    // kNeverStalls as `stallAt` one that never stalls.
    void Configure(std::vector<VideoFormat> formats, std::shared_ptr<const BgrPicture> picture,
                   REFERENCE_TIME loseAt, REFERENCE_TIME stallAt = kNeverStalls);

    // The preferred format first (the one SetFormat chose), then the others.
    HRESULT GetMediaType(int position, CMediaType* type) override;
    HRESULT CheckMediaType(const CMediaType* type) override;
    // Prepares the frames of the agreed format.
    HRESULT SetMediaType(const CMediaType* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT OnThreadStartPlay() override;
    HRESULT FillBuffer(IMediaSample* sample) override;

    // IAMStreamConfig. SetFormat takes any listed subtype and size (the rate
    // is always the format's own) and reconnects a connected pin with it.
    STDMETHODIMP SetFormat(AM_MEDIA_TYPE* type) override;
    STDMETHODIMP GetFormat(AM_MEDIA_TYPE** type) override;
    STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override;
    STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;

private:
    // What an unplugged webcam does: tells the graph once, then delivers
    // nothing until it is stopped.
    HRESULT Vanish();
    // What a stalled webcam does: nothing, and tells no one, until stopped.
    HRESULT Stall();

    std::vector<VideoFormat> m_formats;
    std::shared_ptr<const BgrPicture> m_picture;
    int m_preferred = 0;
    REFERENCE_TIME m_loseAt = 0;
    REFERENCE_TIME m_stallAt = kNeverStalls;
    bool m_lost = false;
    // What the frames are made of: the picture at the agreed size (or the
    // card without its marker), the working copy the marker is drawn into,
    // and the converted frame the samples are copied from.
    int m_current = -1;
    BgrPicture m_still;
    BgrPicture m_work;
    std::vector<uint8_t> m_frame;
    unsigned long long m_frameNumber = 0;
};
