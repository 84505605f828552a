#pragma once
// What QvGraph.exe's exit code says. The daemon reads them: usage, an
// unknown camera, the virtual camera named as the source and QvCamera not
// registered are set-up failures that it does not retry; it starts the
// bridge again after the others. Each failure also prints one line on
// standard error and on the debugger output.
enum BridgeExitCode : int {
    kExitTerminated = 0,          // never returned by the bridge itself: it runs until killed or the camera fails
    kExitCameraNotFound = 3,      // no video capture device has the friendly name given with -v
    kExitOwnCamera = 4,           // -v names the virtual camera itself: it would feed itself
    kExitCameraNotOpened = 5,     // the device could not be bound, given a format, connected or run (in use, say)
    kExitCameraLost = 6,          // the running graph reported the device lost or a streaming error
    kExitVirtualCameraMissing = 7,// QvCamera is not registered, or does not offer TranslateData_buf
    kExitSystemFailure = 8,       // COM or the filter graph itself could not be set up
    kExitUsage = 2,               // the command line is not ` -a "AUDIO" -v "VIDEO"`
    kExitCameraStalled = 9,       // no usable picture for 3 s (kStallLimitMs), from the start on
};
