#pragma once
// What the capture client tests share: FFmpeg (a stock Windows build that no
// one here wrote) run against the registered camera, a producer process
// keeping a picture in the camera's shared record, and the pictures the
// frames must hold.
//
// FFmpeg is fetched into the build tree by the fetch_ffmpeg test; without it
// (no network) the whole program reports itself skipped (exit code 77).
#include "common/non_copyable.h"
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/camera/filter/camera_graph.h"
#include "tests/support/child_process.h"

constexpr DWORD kCaptureTimeoutMs = 40000;

// Registers (or unregisters) the test program's copy of the camera module,
// which is registered for the whole run; empty on success. The caller holds
// the registry lock of the camera tests.
std::string RegisterCameraCopy(bool registered);

// The build puts FFmpeg in ffmpeg/ beside the bin/ directory of the tests.
std::wstring FfmpegPath();
bool FfmpegPresent();
// The DirectShow input of the camera: "video=Kavo直播插件".
std::wstring CameraInput();

// FFmpeg with `arguments` (each quoted) to its end, or killed after
// kCaptureTimeoutMs.
ProgramResult RunFfmpeg(const std::vector<std::wstring>& arguments);

// Rows in the opposite order: FFmpeg hands bottom-up RGB out top-down.
std::vector<uint8_t> FlipRows(const std::vector<uint8_t>& picture, size_t rowBytes);
// What one frame of a capture holds compared with the picture expected (as
// the camera delivers it, bottom-up); empty when FFmpeg gave it top-down and
// byte for byte.
std::string CompareFrame(const uint8_t* frame, const std::vector<uint8_t>& bottomUp, size_t rowBytes);

// An output file of its own in the temporary directory, removed afterwards.
class TemporaryFile {
public:
    TemporaryFile();
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::wstring& Path() const { return m_path; }
    // What has been written so far, while another process writes it.
    ULONGLONG Size() const;
    std::vector<uint8_t> Read() const;

private:
    std::wstring m_path;
};

// A frame producer (test_frame_producer.exe, on the camera copy that the
// tests registered) rewriting one picture in the background for the length
// of a test; it never inherits our handles, so nothing it starts can hold
// our pipes.
class BackgroundProducer : CNonCopyable {
public:
    BackgroundProducer() = default;
    ~BackgroundProducer() { Stop(); }

    // Starts it with the producer's --pattern and waits until its first
    // picture of `length` bytes is in the shared record; empty on success,
    // else what went wrong.
    std::string Start(const std::wstring& pattern, LONG length);
    // Starts it with `arguments` on another image of the module than the
    // tests' copy (by default the one in bin/), or writing the named
    // exchange itself, and waits until the named exchange holds a fresh
    // frame; empty on success, else what went wrong.
    std::string StartOutsideTheCopy(const std::wstring& arguments);
    // Ends it; its pictures stay in the record while this process has the
    // module loaded. Every picture it writes is the same, so a write cut
    // short leaves that picture whole.
    void Stop();

private:
    // Starts the producer with `arguments` and waits for ready(); empty on
    // success, else what went wrong.
    template <typename Ready>
    std::string Launch(const std::wstring& arguments, Ready&& ready);

    HANDLE m_process = nullptr;
};

// Empty once neither the shared record nor the named exchange holds a
// picture the camera could take as fresh (waiting at most a few seconds for
// one to go stale).
std::string WaitUntilNoFreshFrame();

struct Capture {
    ProgramResult run;
    std::string log;  // what FFmpeg printed, UTF-8
    std::vector<uint8_t> bytes;
    std::wstring outputFormat;  // "bgr24" or "nv12"
    // Of the input stream, as FFmpeg reports it.
    std::string pixelFormat;
    int width = 0;
    int height = 0;
    std::string fps;
};

// Records `frames` raw frames (BGR, top row first, or NV12 as
// outputFormat says) from the camera (into `output`); inputOptions go
// before the input (a size, a frame rate, a pixel format).
Capture CaptureFramesInto(const TemporaryFile& output, const std::vector<std::wstring>& inputOptions, int frames,
                          const std::wstring& outputFormat = L"bgr24");
Capture CaptureFrames(const std::vector<std::wstring>& inputOptions, int frames,
                      const std::wstring& outputFormat = L"bgr24");

// Common checks of a finished capture: FFmpeg ran, ended well, reports the
// size and rate, and wrote exactly `frames` frames of that size.
void ExpectCapture(const Capture& capture, int width, int height, const std::string& fps, int frames);
// ExpectCapture, then every frame byte for byte the bottom-up picture.
void ExpectPictureCaptured(const Capture& capture, const std::vector<uint8_t>& picture, int width, int height,
                           const std::string& fps, int frames);
