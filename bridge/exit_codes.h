#pragma once
// What QvGraph.exe's exit code says. The daemon reads none of them (it only
// watches the process list); they are for people and tests. Each failure
// also prints one line on standard error and on the debugger output.
enum BridgeExitCode : int {
    kExitTerminated = 0,          // never returned by the bridge itself: it runs until killed or the camera fails
    kExitCameraNotFound = 3,      // no video capture device has the friendly name given with -v
    kExitOwnCamera = 4,           // -v names the virtual camera itself: it would feed itself
    kExitCameraNotOpened = 5,     // the device could not be bound, given a format, connected or run (in use, say)
    kExitCameraLost = 6,          // the running graph reported the device lost or a streaming error
    kExitVirtualCameraMissing = 7,// QvCamera is not registered, or does not offer TranslateData_buf
    kExitSystemFailure = 8,       // COM or the filter graph itself could not be set up
    kExitUsage = 2,               // the command line is not ` -a "AUDIO" -v "VIDEO"`
};
