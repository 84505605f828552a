// demo_devices.exe: registers and unregisters the demo microphone and the
// demo webcam, for anyone without a microphone or a camera (and for tests
// that need to know what a device delivers).
#include <windows.h>
#include <objbase.h>
#include <uuids.h>

#include <algorithm>
#include <string>

#include "tools/demo_devices/common/bmp_picture.h"
#include "tools/demo_devices/common/video_formats.h"
#include "tools/demo_devices/tool/command_line.h"
#include "tools/demo_devices/tool/console_text.h"
#include "tools/demo_devices/tool/device_registration.h"

namespace {

enum ExitCode { kDone = 0, kFailed = 1, kBadUsage = 2, kNotRegistered = 3 };

const wchar_t kServerName[] = L"demo_devices.dll";

std::wstring ServerPath() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path, length);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1) + kServerName;
}

const wchar_t* KindText(DemoDeviceKind kind) {
    return kind == DemoDeviceKind::Microphone ? L"demo microphone" : L"demo webcam";
}

int Fail(const std::wstring& text, int code = kFailed) {
    PrintErrorLine(L"demo_devices: " + text);
    return code;
}

void DescribeMicrophone(const DemoCommand& command, DemoDeviceRecord* device, std::wstring* summary) {
    device->subtypes = {MEDIASUBTYPE_PCM};
    const std::wstring tone = command.tone.empty() ? L"440" : command.tone;
    device->settings.emplace_back(kToneValue, tone);
    *summary = L"a " + tone + L" Hz tone, 16-bit stereo PCM at 44100 Hz";
}

// False with the reason in `summary` when the picture cannot be shown.
bool DescribeWebcam(const DemoCommand& command, DemoDeviceRecord* device, std::wstring* summary) {
    const std::wstring formatsText = command.formats.empty() ? kDefaultFormats : command.formats;
    std::vector<VideoFormat> formats;
    ParseVideoFormats(formatsText, &formats);
    for (const VideoFormat& format : formats) {
        const GUID& subtype = SubtypeOf(format.layout);
        if (std::find(device->subtypes.begin(), device->subtypes.end(), subtype) == device->subtypes.end())
            device->subtypes.push_back(subtype);
    }
    device->settings.emplace_back(kFormatsValue, formatsText);
    *summary = L"the test card";
    if (!command.picture.empty()) {
        // The filter reads the file whenever a program opens the device,
        // from whatever directory that program runs in.
        wchar_t full[MAX_PATH] = {};
        if (!::GetFullPathNameW(command.picture.c_str(), MAX_PATH, full, nullptr)) {
            *summary = L"the picture's path is too long";
            return false;
        }
        BgrPicture picture;
        const std::wstring error = LoadBmpPicture(full, &picture);
        if (!error.empty()) {
            *summary = error;
            return false;
        }
        device->settings.emplace_back(kPictureValue, full);
        *summary = full;
    }
    *summary += formatsText.find(L'@') == std::wstring::npos ? L" at 30 frames a second as " + formatsText
                                                              : L" as " + formatsText;
    if (!command.loseAfter.empty()) {
        device->settings.emplace_back(kLoseAfterValue, command.loseAfter);
        *summary += L", unplugged after " + command.loseAfter + L" s of streaming";
    }
    if (!command.stallAfter.empty()) {
        device->settings.emplace_back(kStallAfterValue, command.stallAfter);
        *summary += L", stalls after " + command.stallAfter + L" s of streaming";
    }
    return true;
}

// The device as registered: its pin's subtypes and its settings' values.
bool DescribeDevice(const DemoCommand& command, DemoDeviceRecord* device, std::wstring* summary) {
    device->kind = command.kind;
    device->name = command.name;
    if (command.kind == DemoDeviceKind::Webcam) return DescribeWebcam(command, device, summary);
    DescribeMicrophone(command, device, summary);
    return true;
}

int Register(const DemoCommand& command) {
    const std::wstring server = ServerPath();
    if (::GetFileAttributesW(server.c_str()) == INVALID_FILE_ATTRIBUTES)
        return Fail(std::wstring(kServerName) + L" is missing: looked for " + server);
    DemoDeviceRecord device;
    std::wstring summary;
    if (!DescribeDevice(command, &device, &summary)) return Fail(summary);
    std::wstring error;
    if (RegisterDemoDevice(device, server, &error) != RegistrationResult::Done)
        return Fail(L"cannot register " + std::wstring(KindText(command.kind)) + L" \"" + command.name + L"\": " + error);
    PrintOutLine(L"registered " + std::wstring(KindText(command.kind)) + L" \"" + command.name + L"\": " + summary);
    return kDone;
}

int Unregister(const DemoCommand& command) {
    std::wstring error;
    const std::wstring what = std::wstring(KindText(command.kind)) + L" \"" + command.name + L"\"";
    switch (UnregisterDemoDevice(command.kind, command.name, &error)) {
        case RegistrationResult::Done:
            PrintOutLine(L"unregistered " + what);
            return kDone;
        case RegistrationResult::NotRegistered:
            return Fail(L"cannot unregister " + what + L": " + error, kNotRegistered);
        case RegistrationResult::Failed:
            break;
    }
    return Fail(L"cannot unregister " + what + L": " + error);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    DemoCommand command;
    const std::wstring usageError = ParseDemoCommand(argc, argv, &command);
    if (!usageError.empty()) {
        PrintErrorLine(L"demo_devices: " + usageError);
        PrintErrorLine(kUsageText);
        return kBadUsage;
    }
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(hr)) return Fail(L"COM cannot be initialised");
    const int code = command.doRegister ? Register(command) : Unregister(command);
    ::CoUninitialize();
    return code;
}
