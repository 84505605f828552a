// The large sizes' costs: the named exchange's write of a 1920 x 1080 NV12
// frame, the pin's fill of a sample of that size from a frame of that size,
// both against one memcpy of the frame, and the fills that scale or convert.
#include <windows.h>
#include <dshow.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "camera/filter/frame_exchange.h"
#include "camera/filter/output_pin_formats.h"
#include "camera/filter/virtual_camera.h"
#include "camera/filter/virtual_camera_pin.h"
#include "tools/camera_pacing_benchmark/camera_costs.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr int kRuns = 100;
// Sources are written again this often, well inside the 2 s of freshness.
constexpr int kRefreshEvery = 10;
constexpr LONG kRecordBytes = 921600;

std::vector<uint8_t> Pattern(size_t bytes) {
    std::vector<uint8_t> picture(bytes);
    for (size_t i = 0; i < bytes; ++i) picture[i] = static_cast<uint8_t>(16 + (i * 7 + i / 1920) % 220);
    return picture;
}

// Median of FillBuffer's time, the source refreshed outside the timing.
double MedianFill(CVirtualCamerPin* pin, IMediaSample* sample, const std::function<void()>& refresh) {
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        if (i % kRefreshEvery == 0) refresh();
        const double start = NowMs();
        pin->FillBuffer(sample);
        times.push_back((NowMs() - start) * 1000.0);
    }
    return Percentile(times, 0.5);
}

}  // namespace

bool MeasureLargeFrameCosts() {
    CNamedFrameExchange* exchange = SessionNamedFrameExchange();
    ComPtr<IUnknown> owner;
    CVirtualCamera* camera = CreateCameraInProcess(owner);
    if (!exchange || !camera) {
        std::printf("error: no named frame exchange or no camera\n");
        return false;
    }
    auto* pin = static_cast<CVirtualCamerPin*>(camera->GetPin(0));
    ComPtr<IMemAllocator> allocator;
    ComPtr<IMediaSample> sample = MakeBenchmarkSample(1920 * 1080 * 3, camera, allocator);
    if (!sample) return false;

    const DWORD nv12Bytes = 1920 * 1080 * 3 / 2;
    const std::vector<uint8_t> full = Pattern(nv12Bytes);
    const std::vector<uint8_t> hd = Pattern(1280 * 720 * 3 / 2);
    const std::vector<uint8_t> record = Pattern(kRecordBytes);
    std::vector<uint8_t> target(nv12Bytes);
    const double copy = MedianMicros(kRuns, [&] { std::memcpy(target.data(), full.data(), nv12Bytes); });
    const double write = MedianMicros(kRuns, [&] {
        exchange->WriteFrame(1920, 1080, NamedFrameFormat::NV12, 1920, 30, full.data());
    });

    auto writeFull = [&] { exchange->WriteFrame(1920, 1080, NamedFrameFormat::NV12, 1920, 30, full.data()); };
    auto writeHd = [&] { exchange->WriteFrame(1280, 720, NamedFrameFormat::NV12, 1280, 30, hd.data()); };
    // The record's picture alone: the exchange's frame made stale first.
    auto writeRecord = [&] {
        exchange->Header()->writeTick = ::GetTickCount() - 10000;
        camera->WriteFrame(record.data(), kRecordBytes);
    };
    auto standby = [&] {
        exchange->Header()->writeTick = ::GetTickCount() - 10000;
        SharedFrameExchange().writeTick = ::GetTickCount() - 10000;
    };
    struct Case {
        const char* name;
        int position;  // 5: 1280x720 NV12, 6: RGB24; 7: 1920x1080 NV12, 8: RGB24
        std::function<void()> refresh;
        const char* target;
    };
    const Case cases[] = {
        {"1920x1080 NV12 from 1920x1080 NV12", 7, writeFull, "  (target 1.2)"},
        {"1920x1080 NV12 from 1280x720 NV12 ", 7, writeHd, ""},
        {"1280x720 NV12 from 1920x1080 NV12 ", 5, writeFull, ""},
        {"1280x720 NV12 from 1280x720 NV12  ", 5, writeHd, ""},
        {"1280x720 RGB24 from 1920x1080 NV12", 6, writeFull, ""},
        {"1920x1080 RGB24 from 1920x1080 NV12", 8, writeFull, ""},
        {"1280x720 NV12 from 640x480 RGB24  ", 5, writeRecord, ""},
        {"1920x1080 NV12, stand-by          ", 7, standby, ""},
    };
    std::printf("large frame costs (median of %d calls; ratio to memcpy of one 1920x1080 NV12 frame)\n", kRuns);
    std::printf("  memcpy 3,110,400 bytes                        %8.1f us  1.00\n", copy);
    std::printf("  named exchange write 1920x1080 NV12           %8.1f us  %.2f  (target 1.1)\n", write, write / copy);
    for (const Case& c : cases) {
        CMediaType type;
        MakeListedVideoType(c.position, &type);
        pin->SetMediaType(&type);
        pin->FillBuffer(sample.Get());  // the first one draws the stand-by picture at this size
        const double fill = MedianFill(pin, sample.Get(), c.refresh);
        std::printf("  FillBuffer %s %8.1f us  %.2f%s\n", c.name, fill, fill / copy, c.target);
    }
    sample.Reset();
    allocator->Decommit();
    return true;
}
