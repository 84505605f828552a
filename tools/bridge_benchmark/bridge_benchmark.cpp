// Prints what the camera bridge's picture path costs. Not a test: the
// figures depend on the machine.
//
//   bridge_benchmark.exe [--webcam NAME] [--seconds N]
//
// Conversion: for each webcam format and size, the median time of one
// conversion into the camera's 640 x 480 picture (the bridge's own code),
// as a ratio to one memcpy of the source picture (the webcam's sample).
// Both read their source from a ring of pictures larger than the caches, as
// a fresh sample from a webcam is not in the cache either; a copy or
// conversion of the same picture again and again would only measure the
// cache.
// Goals: at most 3x for YUY2 1280x720, at most 1.5x for RGB24 640x480.
// The scalar path (tables only, what a build without SSE2 runs) is printed
// beside it.
//
// HD regrouping: YUY2 1280x720 into the NV12 frame of the named frame
// exchange (Yuy2ToNv12), as a ratio to one memcpy of the YUY2 source; goal:
// at most 1.0x. Beside it the whole HD write (the bridge's regrouping
// straight into a mapping of the benchmark's own, under its lock).
//
// MJPG decoding: a 1920 x 1080 JPEG decoded by the bridge's own decoder
// (WIC) into NV12 and written into a named exchange of the benchmark's own
// (never the user's live one), per frame: wall-clock median and p99, and
// from the thread's processor time the share of one core that 30 of them a
// second take. Two JPEGs: the demo webcam's (4:4:4,
// fine quantisation, plain Huffman codes) and one made by WIC's own encoder
// (4:2:0 at quality 0.85, as webcams send them).
//
// Latency (with --webcam): the bridge's whole path run in this process
// against that video capture device for N seconds (default 20): from the
// sample's arrival at the grabber, on the webcam's streaming thread, to the
// end of its WriteFrame into the camera's record. The record and the named
// exchange are the benchmark's own (the camera's own write code, linked in),
// never the user's live ones: a run leaves the user's camera alone, and
// needs no registered camera. Median and p99; goal: median under 5 ms. Only written pictures count (at
// most 30 a second).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <wincodec.h>
#include <wrl/client.h>

#include "bridge/bridge_session.h"
#include "bridge/hd_frame_writer.h"
#include "bridge/jpeg_decoder.h"
#include "bridge/picture_fit.h"
#include "bridge/picture_converter.h"
#include "bridge/yuy2_to_nv12.h"
#include "camera/filter/frame_exchange.h"
#include "common/com_apartment.h"
#include "tools/demo_devices/webcam/jpeg_picture.h"

namespace {

double NowMs() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency);
}

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, static_cast<size_t>(fraction * (values.size() - 1) + 0.5));
    return values[index];
}

template <typename Work>
double MedianMs(int runs, Work&& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double begin = NowMs();
        work();
        times.push_back(NowMs() - begin);
    }
    return Percentile(times, 0.5);
}

struct Case {
    PixelFormat format;
    int width, height;
    const char* goal;
};

// Larger than any cache of this machine.
constexpr size_t kRingBytes = 64 << 20;

void MeasureConversions() {
    const Case cases[] = {
        {PixelFormat::Rgb24, 640, 480, "goal <= 1.5"}, {PixelFormat::Rgb32, 640, 480, ""},
        {PixelFormat::Yuy2, 640, 480, ""},             {PixelFormat::Nv12, 640, 480, ""},
        {PixelFormat::Yuy2, 1280, 720, "goal <= 3"},   {PixelFormat::Nv12, 1280, 720, ""},
        {PixelFormat::Rgb24, 1280, 720, ""},           {PixelFormat::Yuy2, 320, 240, ""},
    };
    std::printf("conversion into 640x480 RGB24 (median of 200), ratio to one memcpy of the source picture\n");
    std::vector<BYTE> camera(kCameraPictureBytes);
    for (const Case& c : cases) {
        AM_MEDIA_TYPE type = {};
        VIDEOINFOHEADER header = {};
        header.bmiHeader.biWidth = c.width;
        header.bmiHeader.biHeight = c.height;
        type.majortype = MEDIATYPE_Video;
        type.subtype = SubtypeOf(c.format);
        type.formattype = FORMAT_VideoInfo;
        type.cbFormat = sizeof(header);
        type.pbFormat = reinterpret_cast<BYTE*>(&header);
        const SourcePicture source = DescribePicture(type);
        const size_t bytes = PictureBytes(source);
        const size_t ringSize = std::max<size_t>(4, kRingBytes / bytes);
        std::vector<BYTE> ring(bytes * ringSize), copy(bytes);
        for (size_t i = 0; i < ring.size(); ++i) ring[i] = static_cast<BYTE>(i * 2654435761u >> 13);
        size_t next = 0;
        auto nextSample = [&] { return &ring[bytes * (next++ % ringSize)]; };
        const CPictureConverter converter(source);
        const CPictureConverter scalar(source, ConversionPath::Scalar);
        const double memcpyMs = MedianMs(200, [&] { std::memcpy(copy.data(), nextSample(), bytes); });
        const double convertMs = MedianMs(200, [&] { converter.Convert(nextSample(), bytes, camera.data()); });
        const double scalarMs = MedianMs(200, [&] { scalar.Convert(nextSample(), bytes, camera.data()); });
        std::printf("  %-6ls %4dx%-4d  memcpy %.3f ms  conversion %.3f ms  ratio %.2f  %-11s (scalar path %.3f ms, "
                    "ratio %.2f)\n",
                    PixelFormatName(c.format), c.width, c.height, memcpyMs, convertMs, convertMs / memcpyMs, c.goal,
                    scalarMs, scalarMs / memcpyMs);
    }
}

void MeasureHdRegrouping() {
    const int width = 1280, height = 720;
    const size_t bytes = static_cast<size_t>(width) * height * 2;
    const size_t ringSize = std::max<size_t>(4, kRingBytes / bytes);
    std::vector<BYTE> ring(bytes * ringSize), copy(bytes), nv12(static_cast<size_t>(width) * height * 3 / 2);
    for (size_t i = 0; i < ring.size(); ++i) ring[i] = static_cast<BYTE>(i * 2654435761u >> 13);
    size_t next = 0;
    auto nextSample = [&] { return &ring[bytes * (next++ % ringSize)]; };
    // Taken in turns, so that a machine busy with other work slows both alike.
    std::vector<double> memcpyTimes, regroupTimes;
    for (int i = 0; i < 200; ++i) {
        memcpyTimes.push_back(MedianMs(1, [&] { std::memcpy(copy.data(), nextSample(), bytes); }));
        regroupTimes.push_back(MedianMs(1, [&] { Yuy2ToNv12(nextSample(), width * 2, width, height, nv12.data()); }));
    }
    const double memcpyMs = Percentile(memcpyTimes, 0.5), regroupMs = Percentile(regroupTimes, 0.5);
    std::printf("YUY2 1280x720 into NV12 for the named frame exchange (median of 200, in turns with the memcpy)\n");
    std::printf("  memcpy of the source %.3f ms  regrouping %.3f ms  ratio %.2f  goal <= 1.0\n", memcpyMs, regroupMs,
                regroupMs / memcpyMs);

    const std::wstring name = L"Local\\QvBridgeBenchmarkExchange" + std::to_wstring(::GetCurrentProcessId());
    SourcePicture source;
    source.format = PixelFormat::Yuy2;
    source.width = width;
    source.height = height;
    source.stride = static_cast<size_t>(width) * 2;
    CHdFrameWriter writer;
    if (FAILED(writer.Open(source, name.c_str()))) {
        std::printf("  (no frame exchange of our own: the whole write is not measured)\n");
        return;
    }
    const double writeMs = MedianMs(200, [&] { writer.Write(nextSample(), bytes); });
    std::printf("  whole HD write (regrouping into the exchange) %.3f ms  ratio %.2f\n", writeMs, writeMs / memcpyMs);
}

// A test picture of soft gradients and edges, B G R top-down.
BgrPicture MakeBenchmarkPicture(int width, int height) {
    BgrPicture picture;
    picture.width = width;
    picture.height = height;
    picture.pixels.resize(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = picture.Row(y) + x * 3;
            p[0] = static_cast<uint8_t>(x * 255 / width);
            p[1] = static_cast<uint8_t>(y * 255 / height);
            p[2] = static_cast<uint8_t>(((x / 64) + (y / 64)) % 2 ? 200 : 40);
        }
    return picture;
}

// The picture as WIC's JPEG encoder makes it (its defaults: 4:2:0).
std::vector<uint8_t> WicJpeg(const BgrPicture& picture) {
    using Microsoft::WRL::ComPtr;
    constexpr CLSID kImagingFactory = {0xcacaf262, 0x9370, 0x4615, {0xa1, 0x3b, 0x9f, 0x55, 0x39, 0xda, 0x4c, 0x0a}};
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    std::vector<uint8_t> bytes;
    if (FAILED(::CoCreateInstance(kImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory))) ||
        FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, &stream)) ||
        FAILED(factory->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, &encoder)) ||
        FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(&frame, &options)))
        return bytes;
    PROPBAG2 quality = {};
    quality.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
    VARIANT value;
    ::VariantInit(&value);
    value.vt = VT_R4;
    value.fltVal = 0.85f;
    if (options) options->Write(1, &quality, &value);
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (FAILED(frame->Initialize(options.Get())) || FAILED(frame->SetSize(picture.width, picture.height)) ||
        FAILED(frame->SetPixelFormat(&format)) ||
        FAILED(frame->WritePixels(picture.height, picture.width * 3, static_cast<UINT>(picture.pixels.size()),
                                  const_cast<BYTE*>(picture.pixels.data()))) ||
        FAILED(frame->Commit()) || FAILED(encoder->Commit()))
        return bytes;
    STATSTG stat = {};
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME))) return bytes;
    bytes.resize(static_cast<size_t>(stat.cbSize.QuadPart));
    LARGE_INTEGER zero = {};
    ULONG read = 0;
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
    bytes.resize(read);
    return bytes;
}

void MeasureMjpgDecoding() {
    ScopedComApartment com(COINIT_MULTITHREADED);
    const int width = 1920, height = 1080;
    const BgrPicture picture = MakeBenchmarkPicture(width, height);
    const std::wstring name = L"Local\\QvBridgeBenchmarkMjpg" + std::to_wstring(::GetCurrentProcessId());
    CJpegDecoder decoder;
    CNamedFrameExchange exchange;
    if (FAILED(decoder.Open()) || FAILED(exchange.Open(name.c_str()))) {
        std::printf("MJPG decoding: no WIC or no frame exchange of our own\n");
        return;
    }
    std::vector<BYTE> nv12(static_cast<size_t>(width) * height * 3 / 2);
    const struct {
        const char* what;
        std::vector<uint8_t> jpeg;
    } jpegs[] = {{"demo webcam's JPEG (4:4:4)", EncodeJpeg(picture)}, {"WIC's JPEG (4:2:0, quality 0.85)", WicJpeg(picture)}};
    std::printf("MJPG 1920x1080 decoded into NV12 and written into a named exchange of our own (60 frames each)\n");
    for (const auto& j : jpegs) {
        if (j.jpeg.empty()) {
            std::printf("  %s: could not be made\n", j.what);
            continue;
        }
        std::vector<double> times;
        FILETIME created, exited, kernelBefore, userBefore, kernelAfter, userAfter;
        ::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernelBefore, &userBefore);
        const double begin = NowMs();
        bool ok = true;
        for (int i = 0; i < 60 && ok; ++i) {
            const double start = NowMs();
            ok = decoder.Decode(j.jpeg.data(), j.jpeg.size(), width, height, nv12.data()) == S_OK &&
                 exchange.WriteFrame(width, height, NamedFrameFormat::NV12, width, 30, nv12.data()) == S_OK;
            times.push_back(NowMs() - start);
        }
        const double wall = NowMs() - begin;
        ::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernelAfter, &userAfter);
        auto ticks = [](const FILETIME& t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
        const double cpuMs =
            (ticks(kernelAfter) - ticks(kernelBefore) + ticks(userAfter) - ticks(userBefore)) / 10000.0;
        if (!ok) {
            std::printf("  %s: the decode failed\n", j.what);
            continue;
        }
        const double median = Percentile(times, 0.5);
        // The share of a core from the thread's processor time: on a busy
        // machine the wall-clock time also holds the waits for a core.
        std::printf("  %s, %zu bytes, decoded %s: wall-clock median %.2f ms  p99 %.2f ms; processor time %.2f ms a "
                    "frame, %.0f %% of a core at 30 fps (60 frames in %.0f ms)\n",
                    j.what, j.jpeg.size(), decoder.LastPath() == JpegDecodePath::Planar ? "into planes" : "through B G R",
                    median, Percentile(times, 0.99), cpuMs / 60, cpuMs / 60 * 30 / 10, wall);
    }
}

// The record and the exchange the measured bridge writes: this process's
// own, written by the camera's own code (as QvCamera's WriteFrame would),
// so that the run never shows in the user's camera.
class CPrivateRecordWriter : public CPictureRecordWriter {
public:
    explicit CPrivateRecordWriter(CNamedFrameExchange* exchange) : m_exchange(exchange) {}
    HRESULT Write(const BYTE* picture) override {
        return WriteRecordAndExchange(m_record, m_guard, m_exchange, picture, kCameraPictureBytes);
    }

private:
    CNamedFrameExchange* m_exchange;
    FrameExchange m_record = {};
    FrameExchangeGuard m_guard = {};
};

void MeasureLatency(const std::wstring& webcam, int seconds) {
    const std::wstring exchangeName = L"Local\\QvBridgeBenchmarkLatency" + std::to_wstring(::GetCurrentProcessId());
    CNamedFrameExchange exchange;
    if (FAILED(exchange.Open(exchangeName.c_str()))) {
        std::printf("latency: no frame exchange of our own\n");
        return;
    }
    auto record = std::make_unique<CPrivateRecordWriter>(&exchange);
    BridgeOutputs outputs;
    outputs.record = record.get();
    outputs.exchangeName = exchangeName.c_str();
    std::mutex lock;
    std::vector<double> latencies;
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    const double msPerTick = 1000.0 / static_cast<double>(frequency.QuadPart);
    BridgeArguments arguments{L"", webcam};
    std::thread bridge([&] {
        const int exitCode = RunBridge(
            arguments,
            [&](LONGLONG arrived, LONGLONG written) {
                std::lock_guard<std::mutex> guard(lock);
                latencies.push_back(static_cast<double>(written - arrived) * msPerTick);
            },
            outputs);
        std::printf("the bridge ended early with exit code %d\n", exitCode);
        std::fflush(stdout);
        ::ExitProcess(1);
    });
    bridge.detach();
    ::Sleep(static_cast<DWORD>(seconds) * 1000);
    std::lock_guard<std::mutex> guard(lock);
    std::printf("sample arrival to end of WriteFrame, %zu pictures in %d s (%.1f a second)\n", latencies.size(),
                seconds, static_cast<double>(latencies.size()) / seconds);
    std::printf("  median %.3f ms  p99 %.3f ms  max %.3f ms  (goal: median < 5 ms)\n", Percentile(latencies, 0.5),
                Percentile(latencies, 0.99), Percentile(latencies, 1.0));
    std::fflush(stdout);
    // The bridge has no orderly end (the daemon kills it); neither has this.
    ::ExitProcess(0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring webcam;
    int seconds = 20;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::wcscmp(argv[i], L"--webcam") == 0) webcam = argv[i + 1];
        if (std::wcscmp(argv[i], L"--seconds") == 0) seconds = std::max(1, _wtoi(argv[i + 1]));
    }
    MeasureConversions();
    MeasureHdRegrouping();
    MeasureMjpgDecoding();
    if (!webcam.empty()) MeasureLatency(webcam, seconds);
    return 0;
}
