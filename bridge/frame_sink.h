#pragma once
// Where the sample grabber hands each webcam sample, on the graph's
// streaming thread: paced to 30 a second, converted to the camera's picture
// and written into the virtual camera before the sample goes on to the null
// renderer.
#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <atomic>
#include <functional>
#include <vector>

#include "bridge/hd_frame_writer.h"
#include "bridge/picture_converter.h"
#include "bridge/virtual_camera_writer.h"
#include "bridge/write_pacing.h"

// Performance-counter ticks at the sample's arrival and at the end of its
// WriteFrame, for those who measure.
using WriteTimingObserver = std::function<void(LONGLONG arrived, LONGLONG written)>;

class CFrameSink : public ISampleGrabberCB {
public:
    // The sink with one reference, which the caller owns. `hdWriter`, when
    // given, gets each written sample first, at the webcam's own size.
    static CFrameSink* Create(const SourcePicture& delivered, CVirtualCameraWriter& writer,
                              CHdFrameWriter* hdWriter = nullptr);

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP SampleCB(double sampleTime, IMediaSample* sample) override;
    STDMETHODIMP BufferCB(double sampleTime, BYTE* buffer, LONG length) override;

    // Set before the graph runs.
    void SetTimingObserver(WriteTimingObserver observer) { m_observer = std::move(observer); }

    // Pictures written, and samples too short for their type (counted, not
    // fatal: one bad sample should not end the stream).
    LONG Written() const { return m_written.load(); }
    LONG ShortSamples() const { return m_short.load(); }

private:
    CFrameSink(const SourcePicture& delivered, CVirtualCameraWriter& writer, CHdFrameWriter* hdWriter,
               LONGLONG ticksPerSecond);
    virtual ~CFrameSink() = default;

    std::atomic<ULONG> m_references{1};
    CPictureConverter m_converter;
    CVirtualCameraWriter& m_writer;
    CHdFrameWriter* m_hdWriter;
    CWritePacing m_pacing;
    std::vector<BYTE> m_picture;
    WriteTimingObserver m_observer;
    std::atomic<LONG> m_written{0};
    std::atomic<LONG> m_short{0};
};
