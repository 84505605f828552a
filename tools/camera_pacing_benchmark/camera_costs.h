#pragma once
// What the camera benchmark's cost measurements share.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <functional>
#include <vector>

class CVirtualCamera;

// The performance counter in milliseconds.
double NowMs();
// The p-quantile (0..1) of the values.
double Percentile(std::vector<double> values, double p);
// Median time of one call, in microseconds.
double MedianMicros(int runs, const std::function<void()>& call);
// The camera made in this process, its code linked in; owner keeps it alive.
CVirtualCamera* CreateCameraInProcess(Microsoft::WRL::ComPtr<IUnknown>& owner);

// One committed allocator of one buffer of `bytes`, and a sample from it
// (null, with the reason printed, when either cannot be had). Pacing of the
// camera's pin is set to a run long ago, so that it never waits.
Microsoft::WRL::ComPtr<IMediaSample> MakeBenchmarkSample(long bytes, CVirtualCamera* camera,
                                                         Microsoft::WRL::ComPtr<IMemAllocator>& allocator);

// Prints the costs of 1920 x 1080 frames: the named exchange's write and the
// pin's fills, copied and scaled. False when the camera cannot be had.
bool MeasureLargeFrameCosts();
