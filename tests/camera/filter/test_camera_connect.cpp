// test_camera_connect: a test-only capture client. It takes the camera from
// the video capture device list (the camera must be registered), connects
// its pin directly to a sample grabber at 640 x 480, then asks for
// 320 x 240 through IAMStreamConfig::SetFormat, which reconnects the pin.
// It prints "connected <width>x<height>" after each step and exits with 0,
// or prints "error: ..." and exits with 1. Tests run it as a debuggee to read
// the camera's debugger texts.
#include <windows.h>
#include <dshow.h>

#include <cstdio>

#include "tests/camera/filter/camera_graph.h"

namespace {

bool Report(CameraGraph& graph) {
    LONG width = 0, height = 0;
    if (!graph.ConnectedSize(&width, &height)) {
        std::printf("error: not connected\n");
        return false;
    }
    std::printf("connected %ldx%ld\n", width, height);
    std::fflush(stdout);
    return true;
}

}  // namespace

int wmain() {
    ComScope com;
    if (FAILED(com.Result())) return 1;
    CameraGraph graph;
    std::string problem = graph.Build(false);
    if (problem.empty()) problem = graph.Connect();
    if (!problem.empty()) {
        std::printf("error: %s\n", problem.c_str());
        return 1;
    }
    if (!Report(graph)) return 1;

    if (SetHalfSizeFormat(graph.StreamConfig()) != S_OK) {
        std::printf("error: SetFormat failed\n");
        return 1;
    }
    return Report(graph) ? 0 : 1;
}
