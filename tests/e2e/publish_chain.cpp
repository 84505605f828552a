#include "tests/e2e/publish_chain.h"

#include "camera/filter/camera_identity.h"
#include "tests/daemon/command/wire_messages.h"
#include "tests/support/child_process.h"
#include "tests/support/directory_tree.h"
#include "tests/support/rtmp/component_check.h"

#include <tlhelp32.h>

#include <cstring>

using Microsoft::WRL::ComPtr;

const wchar_t kDemoMicrophone[] = L"演示麦克风 Demo";
const wchar_t kForeignMicrophone[] = L"\uB9C8\uC774\uD06C Ger\u00E4t";
const wchar_t kDemoWebcam[] = L"演示摄像头 Demo";
const wchar_t kDemoWebcamFormats[] = L"yuy2:640x480";

namespace {

const DWORD kPictureBytes = 640 * 480 * 3;
const DWORD kProducerIntervalMs = 100;

std::string Run(const std::wstring& commandLine, const char* what) {
    ProgramResult run = RunProgram(commandLine, 60000);
    if (run.started && !run.timedOut && run.exitCode == 0) return std::string();
    return OwnFailure(std::string(what) + " failed (" +
                      (run.started ? "exit " + std::to_string(run.exitCode) : std::string("not started")) +
                      "): " + run.output);
}

bool IsFile(const std::wstring& path) {
    const DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

namespace {

PublishChain* g_chain = nullptr;
std::string g_chainFailure;

}  // namespace

void ChainEnvironment::SetUp() {
    g_chain = new PublishChain;
    g_chainFailure = g_chain->Start();
}

void ChainEnvironment::TearDown() {
    delete g_chain;
    g_chain = nullptr;
}

PublishChain* ChainEnvironment::Chain() { return g_chain; }

const std::string& ChainEnvironment::Failure() { return g_chainFailure; }

std::wstring FetchedFfmpeg() {
    wchar_t full[MAX_PATH] = {};
    ::GetFullPathNameW((TestBinDir() + L"..\\ffmpeg\\ffmpeg.exe").c_str(), MAX_PATH, full, nullptr);
    return full;
}

std::vector<DWORD> ProcessesNamed(const std::wstring& imageName) {
    std::vector<DWORD> ids;
    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL ok = ::Process32FirstW(snapshot.get(), &entry); ok; ok = ::Process32NextW(snapshot.get(), &entry))
        if (imageName == entry.szExeFile) ids.push_back(entry.th32ProcessID);
    return ids;
}

bool WaitUntilGone(const std::vector<std::wstring>& imageNames, DWORD timeoutMs) {
    const DWORD started = ::GetTickCount();
    for (;;) {
        bool any = false;
        for (const auto& name : imageNames) any = any || !ProcessesNamed(name).empty();
        if (!any) return true;
        if (::GetTickCount() - started > timeoutMs) return false;
        ::Sleep(50);
    }
}

std::string PictureProducer::Start(const std::wstring& modulePath) {
    m_module = ::LoadLibraryW(modulePath.c_str());
    if (!m_module) return "the camera copy did not load: error " + std::to_string(::GetLastError());
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto getClassObject = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(::GetProcAddress(m_module, "DllGetClassObject")));
    ComPtr<IClassFactory> factory;
    ComPtr<IUnknown> filter;
    if (!getClassObject ||
        FAILED(getClassObject(CLSID_VirtualCamera, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf()))) ||
        FAILED(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(filter.GetAddressOf()))) ||
        FAILED(filter->QueryInterface(IID_TranslateData_buf, reinterpret_cast<void**>(m_sink.GetAddressOf()))))
        return "no TranslateData_buf from the camera copy";
    ShowColour(128, 128, 128);
    m_stop = false;
    m_thread = std::thread(&PictureProducer::Run, this);
    return std::string();
}

void PictureProducer::Stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
    m_sink.Reset();
    // The module stays loaded: the filter's pin thread may still be ending.
}

DWORD PictureProducer::ShowColour(BYTE red, BYTE green, BYTE blue) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_noise = false;
    m_picture.resize(kPictureBytes);
    for (DWORD i = 0; i < kPictureBytes; i += 3) {
        m_picture[i] = blue;
        m_picture[i + 1] = green;
        m_picture[i + 2] = red;
    }
    if (m_sink) m_sink->WriteFrame(m_picture.data(), static_cast<LONG>(m_picture.size()));
    return ::GetTickCount();
}

void PictureProducer::ShowNoise() {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_picture.resize(kPictureBytes);
    m_noise = true;
}

void PictureProducer::Run() {
    while (!m_stop) {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            for (size_t i = 0; m_noise && i + 4 <= m_picture.size(); i += 4) {
                m_seed ^= m_seed << 13;
                m_seed ^= m_seed >> 17;
                m_seed ^= m_seed << 5;
                memcpy(&m_picture[i], &m_seed, 4);
            }
            m_sink->WriteFrame(m_picture.data(), static_cast<LONG>(m_picture.size()));
        }
        ::Sleep(kProducerIntervalMs);
    }
}

std::string PublishChain::RegisterWebcam(const std::wstring& webcamOptions) {
    const std::string failure =
        Run(QuoteArgument(TestBinDir() + L"demo_devices.exe") + L" register --webcam " + QuoteArgument(kDemoWebcam) +
                L" --picture " + QuoteArgument(m_webcamPicture) + L" --formats " + m_webcamFormats + webcamOptions,
            "registering the demo webcam");
    if (failure.empty()) m_webcamRegistered = true;
    return failure;
}

std::string PublishChain::UnregisterWebcam() {
    const std::string failure = Run(QuoteArgument(TestBinDir() + L"demo_devices.exe") + L" unregister --webcam " +
                                        QuoteArgument(kDemoWebcam),
                                    "unregistering the demo webcam");
    if (failure.empty()) m_webcamRegistered = false;
    return failure;
}

std::string PublishChain::Start(const std::wstring& webcamPicture, const std::wstring& webcamFormats,
                                const std::wstring& webcamOptions) {
    const bool realBridge = !webcamPicture.empty();
    const std::wstring bin = TestBinDir();
    if (!IsFile(FetchedFfmpeg()))
        return "no fetched Windows FFmpeg at " + ToUtf8(FetchedFfmpeg()) + " (the fetch_ffmpeg test puts it there)";
    if (!IsFile(bin + L"demo_devices.exe")) return "no demo_devices.exe in " + ToUtf8(bin);
    std::string failure = m_server.Start();
    if (!failure.empty()) return failure;
    StartWinsock();

    // A copy of the module of our own: its shared frame record is this
    // chain's alone, whatever other tests write into bin/QvCamera.dll's.
    const std::wstring scratch = ScratchDirectory(L"chain-");
    m_cameraCopy = scratch + L"QvCamera.dll";
    if (!::CopyFileW((bin + L"QvCamera.dll").c_str(), m_cameraCopy.c_str(), FALSE)) return OwnFailure("cannot copy the camera");
    failure = Run(L"regsvr32.exe /s " + QuoteArgument(m_cameraCopy), "registering the camera copy");
    if (!failure.empty()) return failure;
    m_cameraRegistered = true;
    if (!realBridge) {
        failure = m_producer.Start(m_cameraCopy);
        if (!failure.empty()) return OwnFailure(failure);
    }
    const std::wstring demoDevices = QuoteArgument(bin + L"demo_devices.exe");
    failure = Run(demoDevices + L" register --microphone " + QuoteArgument(kDemoMicrophone) + L" --tone " +
                      std::to_wstring(kToneHz),
                  "registering the demo microphone");
    if (!failure.empty()) return failure;
    m_microphoneRegistered = true;
    failure = Run(demoDevices + L" register --microphone " + QuoteArgument(kForeignMicrophone) + L" --tone " +
                      std::to_wstring(kForeignToneHz),
                  "registering the second demo microphone");
    if (!failure.empty()) return failure;
    m_foreignMicrophoneRegistered = true;
    if (realBridge) {
        m_webcamPicture = webcamPicture;
        m_webcamFormats = webcamFormats;
        failure = RegisterWebcam(webcamOptions);
        if (!failure.empty()) return failure;
    }

    m_daemonDir = scratch + L"daemon\\";
    RemoveTree(m_daemonDir);
    ::CreateDirectoryW(m_daemonDir.c_str(), nullptr);
    const std::pair<std::wstring, std::wstring> files[] = {
        {bin + L"QvPushServer.exe", L"QvPushServer.exe"},
        {bin + L"QvShow.exe", L"QvShow.exe"},
        {bin + (realBridge ? L"QvGraph.exe" : L"stand_in_bridge.exe"), L"QvGraph.exe"},
        {FetchedFfmpeg(), L"ffmpeg.exe"},
    };
    for (const auto& file : files) {
        const std::wstring to = m_daemonDir + file.second;
        // FFmpeg is large: a hard link where the file system has them.
        if (!::CreateHardLinkW(to.c_str(), file.first.c_str(), nullptr) &&
            !::CopyFileW(file.first.c_str(), to.c_str(), FALSE))
            return OwnFailure("cannot put " + ToUtf8(file.first) + " into the daemon's directory");
    }
    return StartDaemon();
}

std::string PublishChain::StartDaemon() {
    std::wstring line = QuoteArgument(m_daemonDir + L"QvPushServer.exe");
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, m_daemonDir.c_str(), &si, &pi))
        return OwnFailure("cannot start QvPushServer.exe: error " + std::to_string(::GetLastError()));
    ::CloseHandle(pi.hThread);
    m_daemon.reset(pi.hProcess);
    for (int attempt = 0; attempt < 100; ++attempt) {
        WireClient probe;
        if (probe.Connect(kCommandPort, 1000)) {
            std::string greeting;
            probe.ReadMessage(greeting, 10000);
            return std::string();
        }
        if (::WaitForSingleObject(m_daemon.get(), 100) == WAIT_OBJECT_0) return OwnFailure("QvPushServer.exe ended at once");
    }
    return OwnFailure("QvPushServer.exe does not listen on port 19723");
}

bool PublishChain::KillDaemon() {
    // Wine maps a program's image into its process: that finds its Linux pid.
    const std::string image = UnixPath(m_daemonDir + L"QvPushServer.exe");
    if (image.empty() || !m_daemon) return false;
    RunLinuxCommand("for p in /proc/[0-9]*; do grep -qsF " + ShellQuote(image) +
                        " $p/maps && kill -9 ${p#/proc/}; done; exit 0\n",
                    20000);
    const bool ended = ::WaitForSingleObject(m_daemon.get(), 10000) == WAIT_OBJECT_0;
    m_daemon.reset();
    return ended;
}

void PublishChain::Stop() {
    if (m_daemon) {
        {
            // As a client going away: the daemon stops both executables.
            WireClient client;
            if (client.Connect(kCommandPort, 2000)) client.Send(Message(L"stop"));
            client.ReadFor(500);
        }
        ::TerminateProcess(m_daemon.get(), 0);
        ::WaitForSingleObject(m_daemon.get(), 5000);
        m_daemon.reset();
    }
    KillFfmpeg();
    for (DWORD id : ProcessesNamed(L"QvShow.exe")) {
        UniqueHandle p(::OpenProcess(PROCESS_TERMINATE, FALSE, id));
        if (p) ::TerminateProcess(p.get(), 1);
    }
    for (DWORD id : ProcessesNamed(L"QvGraph.exe")) {
        UniqueHandle p(::OpenProcess(PROCESS_TERMINATE, FALSE, id));
        if (p) ::TerminateProcess(p.get(), 1);
    }
    const std::wstring demoDevices = QuoteArgument(TestBinDir() + L"demo_devices.exe");
    if (m_microphoneRegistered) {
        Run(demoDevices + L" unregister --microphone " + QuoteArgument(kDemoMicrophone),
            "unregistering the demo microphone");
        m_microphoneRegistered = false;
    }
    if (m_foreignMicrophoneRegistered) {
        Run(demoDevices + L" unregister --microphone " + QuoteArgument(kForeignMicrophone),
            "unregistering the second demo microphone");
        m_foreignMicrophoneRegistered = false;
    }
    if (m_webcamRegistered) {
        Run(demoDevices + L" unregister --webcam " + QuoteArgument(kDemoWebcam), "unregistering the demo webcam");
        m_webcamRegistered = false;
    }
    m_producer.Stop();
    if (m_cameraRegistered) {
        Run(L"regsvr32.exe /s /u " + QuoteArgument(m_cameraCopy), "unregistering the camera copy");
        m_cameraRegistered = false;
    }
    m_server.Stop();
    if (!m_daemonDir.empty()) RemoveTree(m_daemonDir);
}

std::string PublishChain::RoomUrl() const {
    return m_server.Url("room1?k=00112233445566778899aabbccddeeff&t=5f5e1000");
}

std::string PublishChain::StartMessage(const std::string& url, int level) {
    return StartMessage(url, level, kCameraFriendlyName);
}

std::string PublishChain::StartMessage(const std::string& url, int level, const std::wstring& videoDevice) {
    return Message(L"start videoDevice=\"" + videoDevice + L"\" audioDevice=\"" + std::wstring(kDemoMicrophone) +
                   L"\" streamUrl=\"" + FromUtf8(url) + L"\" pushLevel=\"" + std::to_wstring(level) + L"\"");
}

std::string PublishChain::PreviewMessage(const std::wstring& videoDevice) {
    return Message(L"preview videoDevice=\"" + videoDevice + L"\" audioDevice=\"" + std::wstring(kDemoMicrophone) +
                   L"\"");
}

std::vector<DWORD> PublishChain::FfmpegProcesses() const {
    // FFmpeg started by a QvShow.exe: other tests' FFmpeg are left alone.
    const std::vector<DWORD> encoders = ProcessesNamed(L"QvShow.exe");
    std::vector<DWORD> ours;
    UniqueHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL ok = ::Process32FirstW(snapshot.get(), &entry); ok; ok = ::Process32NextW(snapshot.get(), &entry)) {
        if (lstrcmpW(entry.szExeFile, L"ffmpeg.exe") != 0) continue;
        for (DWORD parent : encoders)
            if (entry.th32ParentProcessID == parent) ours.push_back(entry.th32ProcessID);
    }
    return ours;
}

int PublishChain::KillFfmpeg() const {
    int killed = 0;
    for (DWORD id : FfmpegProcesses()) {
        UniqueHandle p(::OpenProcess(PROCESS_TERMINATE, FALSE, id));
        if (p && ::TerminateProcess(p.get(), 1)) ++killed;
    }
    return killed;
}
