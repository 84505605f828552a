#pragma once
// One run of the bridge: the webcam named on the command line, delivered
// into the virtual camera until the webcam is lost. Everything but the
// process entry, so that the benchmark runs the very same path.
#include <string>

#include "bridge/bridge_command_line.h"
#include "bridge/frame_sink.h"
#include "bridge/virtual_camera_writer.h"
#include "common/named_frame_exchange.h"

// Where a run's pictures go. By default the registered virtual camera's
// record and the session's named exchange, and that is all QvGraph.exe
// ever uses: neither its command line nor its environment reaches these.
// A program that runs the bridge in its own process to measure it gives a
// record and an exchange name of its own, so that it never feeds the
// user's camera.
struct BridgeOutputs {
    CPictureRecordWriter* record = nullptr;  // null: the registered virtual camera
    const wchar_t* exchangeName = kNamedFrameExchangeName;
};

// Runs until the camera is lost or cannot be used; returns the exit code
// (common/child_exit_codes.h) after printing its one line. observer, if set, sees the
// timing of every written picture.
int RunBridge(const BridgeArguments& arguments, const WriteTimingObserver& observer = nullptr,
              const BridgeOutputs& outputs = BridgeOutputs());
