#pragma once
// The whole publishing chain on this machine, for the end-to-end test and
// the publish benchmark: a private RTMP server, the camera registered from a
// copy of QvCamera.dll with a producer in this process writing a known
// picture, the demo microphone with a tone, and the real QvPushServer.exe in
// a directory of its own beside our QvShow.exe, the fetched Windows FFmpeg
// as ffmpeg.exe and the stand-in bridge as QvGraph.exe. Or, given a webcam
// picture: the demo webcam showing it and the real QvGraph.exe, which
// bridges whatever camera the client names into the camera (no producer).
#include "camera/filter/frame_exchange.h"
#include "common/non_copyable.h"
#include "common/unique_handle.h"
#include "tests/daemon/command/wire_client.h"
#include "tests/support/rtmp/rtmp_server.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <wrl/client.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern const wchar_t kDemoMicrophone[];
// A second demo microphone whose name no single code page holds, with a tone
// of its own: only the WebSocket path can name it.
extern const wchar_t kForeignMicrophone[];
constexpr int kForeignToneHz = 880;
extern const wchar_t kDemoWebcam[];
// What the chain's demo webcam offers: a YUY2 type, as most webcams do.
extern const wchar_t kDemoWebcamFormats[];
constexpr int kToneHz = 660;
constexpr uint16_t kCommandPort = 19723;

// Writes a solid picture into the camera every 100 ms from a thread of its
// own, through TranslateData_buf of the module copy that the chain
// registered.
class PictureProducer {
public:
    ~PictureProducer() { Stop(); }
    std::string Start(const std::wstring& modulePath);
    void Stop();
    // Switches to a solid picture of this colour at once; returns the
    // GetTickCount of that first write.
    DWORD ShowColour(BYTE red, BYTE green, BYTE blue);
    // Switches to new random pixels in every write: a picture no encoder
    // can squeeze, for a stream at its full bitrate.
    void ShowNoise();

private:
    void Run();
    HMODULE m_module = nullptr;
    Microsoft::WRL::ComPtr<TranslateData_buf> m_sink;
    std::mutex m_mutex;
    std::vector<BYTE> m_picture;
    std::atomic<bool> m_stop{false};
    bool m_noise = false;
    uint32_t m_seed = 2463534242u;
    std::thread m_thread;
};

class PublishChain : private CNonCopyable {
public:
    PublishChain() = default;
    ~PublishChain() { Stop(); }

    // Empty when the whole chain runs; else what is missing or failed.
    // With a webcam picture (a 24-bit BMP), the real bridge and the demo
    // webcam (offering `webcamFormats`) feed the camera instead of the producer.
    // webcamOptions: more options of the demo webcam's registration.
    std::string Start(const std::wstring& webcamPicture = std::wstring(),
                      const std::wstring& webcamFormats = kDemoWebcamFormats,
                      const std::wstring& webcamOptions = std::wstring());
    void Stop();

    // Starts QvPushServer.exe of the chain's directory (again, after a kill);
    // empty once it listens, else why not.
    std::string StartDaemon();
    // Ends the daemon's Wine process with SIGKILL, as a crash ends it; true
    // once it has ended.
    bool KillDaemon();

    // The demo webcam gone from the system (as after sleep or a USB reset)
    // and back, with these options; empty when done, else why not.
    std::string UnregisterWebcam();
    std::string RegisterWebcam(const std::wstring& webcamOptions = std::wstring());

    RtmpServer& Server() { return m_server; }
    PictureProducer& Producer() { return m_producer; }
    const std::wstring& DaemonDirectory() const { return m_daemonDir; }

    // A stream URL of the private server with a k and t of our own.
    std::string RoomUrl() const;
    // "start" for the camera and the demo microphone at a push level.
    static std::string StartMessage(const std::string& url, int level);
    // "start" and "preview" naming `videoDevice` and the demo microphone.
    static std::string StartMessage(const std::string& url, int level, const std::wstring& videoDevice);
    static std::string PreviewMessage(const std::wstring& videoDevice);

    // The chain's FFmpeg processes (ffmpeg.exe of the daemon's directory).
    std::vector<DWORD> FfmpegProcesses() const;
    // Terminates them from outside, as a crash or a user would end them.
    int KillFfmpeg() const;

private:
    RtmpServer m_server;
    PictureProducer m_producer;
    std::wstring m_cameraCopy;
    bool m_cameraRegistered = false;
    bool m_microphoneRegistered = false;
    bool m_foreignMicrophoneRegistered = false;
    bool m_webcamRegistered = false;
    std::wstring m_webcamPicture;
    std::wstring m_webcamFormats;
    std::wstring m_daemonDir;
    UniqueHandle m_daemon;
};

// One chain for a whole test program, started before its first test and
// ended after its last: ::testing::AddGlobalTestEnvironment(new ChainEnvironment).
class ChainEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;
    // The running chain (null outside the program's tests), and why it does
    // not run (empty when it does).
    static PublishChain* Chain();
    static const std::string& Failure();
};

// Process ids of an exact image name in the whole prefix.
std::vector<DWORD> ProcessesNamed(const std::wstring& imageName);
// Waits until no process of these names runs; true when none did in time.
bool WaitUntilGone(const std::vector<std::wstring>& imageNames, DWORD timeoutMs);
// The fetched Windows FFmpeg: <build>/ffmpeg/ffmpeg.exe.
std::wstring FetchedFfmpeg();
