#pragma once
// Where the sample grabber hands each webcam sample, on the graph's
// streaming thread: paced to 30 a second, converted to the camera's picture
// and written into the virtual camera before the sample goes on to the null
// renderer. MJPG samples are decoded on a thread of their own
// (mjpg_decode_thread.h) and written from there.
#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "bridge/hd_frame_writer.h"
#include "bridge/mjpg_decode_thread.h"
#include "bridge/picture_converter.h"
#include "bridge/virtual_camera_writer.h"
#include "bridge/write_pacing.h"

// Performance-counter ticks at the sample's arrival and at the end of its
// WriteFrame, for those who measure.
using WriteTimingObserver = std::function<void(LONGLONG arrived, LONGLONG written)>;

class CFrameSink : public ISampleGrabberCB {
public:
    // The sink with one reference, which the caller owns. `hdWriter`, when
    // given, gets each written picture first, at the webcam's own size (MJPG
    // decoded into NV12: DecodedPicture).
    static CFrameSink* Create(const SourcePicture& delivered, CPictureRecordWriter& writer,
                              CHdFrameWriter* hdWriter = nullptr);

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP SampleCB(double sampleTime, IMediaSample* sample) override;
    STDMETHODIMP BufferCB(double sampleTime, BYTE* buffer, LONG length) override;

    // Set before the graph runs.
    void SetTimingObserver(WriteTimingObserver observer) { m_observer = std::move(observer); }

    // Ends the decoding of MJPG: no picture is written after it returns.
    // Before the writers go.
    void Stop();

    // Pictures written, and samples too short for their type or that did not
    // decode (counted, not fatal: one bad sample should not end the stream).
    LONG Written() const { return m_written.load(); }
    LONG ShortSamples() const { return m_short.load(); }

private:
    CFrameSink(const SourcePicture& delivered, CPictureRecordWriter& writer, CHdFrameWriter* hdWriter,
               LONGLONG ticksPerSecond);
    virtual ~CFrameSink();

    // Writes one uncompressed (or decoded) picture; on the streaming thread
    // or the decoder's.
    void WritePicture(const BYTE* data, size_t length, LONGLONG arrived);

    std::atomic<ULONG> m_references{1};
    CPictureConverter m_converter;
    CPictureRecordWriter& m_writer;
    CHdFrameWriter* m_hdWriter;
    CWritePacing m_pacing;
    std::vector<BYTE> m_picture;
    WriteTimingObserver m_observer;
    std::atomic<LONG> m_written{0};
    std::atomic<LONG> m_short{0};
    // For MJPG only; declared last, so that its thread ends before the
    // members it writes through go.
    std::unique_ptr<CMjpgDecodeThread> m_decoder;
};
