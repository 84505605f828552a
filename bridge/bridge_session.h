#pragma once
// One run of the bridge: the webcam named on the command line, delivered
// into the virtual camera until the webcam is lost. Everything but the
// process entry, so that the benchmark runs the very same path.
#include <string>

#include "bridge/bridge_command_line.h"
#include "bridge/frame_sink.h"

// Runs until the camera is lost or cannot be used; returns the exit code
// (common/child_exit_codes.h) after printing its one line. observer, if set, sees the
// timing of every written picture.
int RunBridge(const BridgeArguments& arguments, const WriteTimingObserver& observer = nullptr);
