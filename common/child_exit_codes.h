#pragma once
// The exit codes of the daemon's two children, QvShow.exe (the encoder) and
// QvGraph.exe (the camera bridge), with what each says: the children return
// them, the daemon reads them and shows the text. A set-up failure (a refused
// command line, no ffmpeg.exe, an unknown camera, no QvCamera) cannot heal by
// itself, so the daemon retries it only when the child it lost had been
// running before (a camera gone for a moment after sleep or a USB reset).
// Each failure also prints one line on standard error before the exit.

// QvShow.exe's own failures; once FFmpeg runs, FFmpeg's exit code is
// QvShow.exe's (its own codes: 0, 1, 255 and negative error numbers).
enum EncoderExitCode : int {
    kExitBadCommandLine = 2,    // the command line is refused; nothing started
    kExitNoFfmpeg = 3,          // no ffmpeg.exe beside QvShow.exe
    kExitFfmpegUnusable = 6,    // ffmpeg.exe does not list its encoders
    kExitFfmpegNotStarted = 7,  // ffmpeg.exe could not be started in a job of its own
    kExitNoProgress = 9,        // FFmpeg reported no progress for kNoProgressLimitMs
};

// QvGraph.exe's: it runs until it is killed or the camera fails.
enum BridgeExitCode : int {
    kExitUsage = 2,                 // the command line is not ` -a "AUDIO" -v "VIDEO"`
    kExitCameraNotFound = 3,        // no video capture device has the friendly name given with -v
    kExitOwnCamera = 4,             // -v names the virtual camera itself: it would feed itself
    kExitCameraNotOpened = 5,       // the device could not be bound, given a format, connected or run (in use, say)
    kExitCameraLost = 6,            // the running graph reported the device lost or a streaming error
    kExitVirtualCameraMissing = 7,  // QvCamera is not registered, or does not offer TranslateData_buf
    kExitSystemFailure = 8,         // COM or the filter graph itself could not be set up
    kExitCameraStalled = 9,         // no usable picture in time (stall_watchdog.h)
};

// The code with which the daemon ends what it started. None of the codes
// above, none of FFmpeg's, and not a status of the system (those have the
// top bits set), so a child the daemon ended is never taken for a failure.
constexpr unsigned kExitKilledByDaemon = 0x51560004u;

struct ChildExitText {
    int code;
    bool setup;
    const char* text;  // English; the page translates by code
};

constexpr ChildExitText kEncoderExitTexts[] = {
    {kExitBadCommandLine, true, "QvShow.exe refused the command line"},
    {kExitNoFfmpeg, true, "no ffmpeg.exe beside QvShow.exe"},
    {kExitFfmpegUnusable, true, "ffmpeg.exe cannot be used"},
    {kExitFfmpegNotStarted, false, "FFmpeg could not be started"},
    {kExitNoProgress, false, "no progress: FFmpeg reached nothing"},
};

constexpr ChildExitText kBridgeExitTexts[] = {
    {kExitUsage, true, "QvGraph.exe refused the command line"},
    {kExitCameraNotFound, true, "no camera of that name"},
    {kExitOwnCamera, true, "the virtual camera cannot be its own source"},
    {kExitCameraNotOpened, false, "the camera cannot be opened (in use?)"},
    {kExitCameraLost, false, "the camera was lost"},
    {kExitVirtualCameraMissing, true, "QvCamera is not registered"},
    {kExitSystemFailure, false, "COM or the capture graph failed"},
    {kExitCameraStalled, false, "camera stalled"},
};
