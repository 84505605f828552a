#include "bridge/frame_sink.h"

namespace {

LONGLONG PerformanceNow() {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

LONGLONG PerformanceFrequency() {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

}  // namespace

CFrameSink* CFrameSink::Create(const SourcePicture& delivered, CPictureRecordWriter& writer,
                               CHdFrameWriter* hdWriter) {
    return new CFrameSink(delivered, writer, hdWriter, PerformanceFrequency());
}

CFrameSink::CFrameSink(const SourcePicture& delivered, CPictureRecordWriter& writer, CHdFrameWriter* hdWriter,
                       LONGLONG ticksPerSecond)
    : m_converter(DecodedPicture(delivered)),
      m_writer(writer),
      m_hdWriter(hdWriter),
      m_pacing(ticksPerSecond),
      m_picture(kCameraPictureBytes) {
    if (delivered.format == PixelFormat::Mjpg) {
        const SourcePicture decoded = DecodedPicture(delivered);
        const size_t bytes = PictureBytes(decoded);
        m_decoder.reset(new CMjpgDecodeThread(delivered.width, delivered.height,
                                              [this, bytes](const BYTE* picture, LONGLONG arrived) {
                                                  if (picture == nullptr)
                                                      ++m_short;
                                                  else
                                                      WritePicture(picture, bytes, arrived);
                                              }));
    }
}

CFrameSink::~CFrameSink() { Stop(); }

void CFrameSink::Stop() {
    if (m_decoder) m_decoder->Stop();
}

STDMETHODIMP CFrameSink::QueryInterface(REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, __uuidof(ISampleGrabberCB))) {
        *out = static_cast<ISampleGrabberCB*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CFrameSink::AddRef() { return ++m_references; }

STDMETHODIMP_(ULONG) CFrameSink::Release() {
    const ULONG left = --m_references;
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP CFrameSink::SampleCB(double, IMediaSample* sample) {
    const LONGLONG arrived = PerformanceNow();
    if (sample == nullptr || !m_pacing.Due(arrived)) return S_OK;
    BYTE* data = nullptr;
    const LONG length = sample->GetActualDataLength();
    if (FAILED(sample->GetPointer(&data)) || length <= 0) {
        ++m_short;
        return S_OK;
    }
    if (m_decoder)
        m_decoder->Submit(data, static_cast<size_t>(length), arrived);
    else
        WritePicture(data, static_cast<size_t>(length), arrived);
    return S_OK;
}

void CFrameSink::WritePicture(const BYTE* data, size_t length, LONGLONG arrived) {
    if (!m_converter.Convert(data, length, m_picture.data())) {
        ++m_short;
        return;
    }
    // The HD frame first: the record's WriteFrame copies its 640 x 480
    // picture into the exchange only while no fresh HD frame is there.
    if (m_hdWriter && m_hdWriter->Writes()) m_hdWriter->Write(data, length);
    // A write refused (the record's lock held past its time-out by a
    // writer that hangs) leaves the last picture; the next sample tries again.
    if (SUCCEEDED(m_writer.Write(m_picture.data()))) ++m_written;
    if (m_observer) m_observer(arrived, PerformanceNow());
}

STDMETHODIMP CFrameSink::BufferCB(double, BYTE*, LONG) { return E_NOTIMPL; }
