#include "tools/demo_devices/tool/command_line.h"

#include <cwchar>

#include "tools/demo_devices/common/loss_setting.h"
#include "tools/demo_devices/common/tone_setting.h"
#include "tools/demo_devices/common/video_formats.h"

const wchar_t kUsageText[] =
    L"usage: demo_devices register --microphone NAME [--tone HZ]\n"
    L"       demo_devices register --webcam NAME [--picture FILE.bmp] [--formats yuy2:640x480,rgb24:640x480,...]\n"
    L"                                [--lose-after SECONDS] [--stall-after SECONDS]\n"
    L"       demo_devices unregister --microphone NAME | --webcam NAME\n"
    L"Demo capture devices for machines without a microphone or a camera. Registering a name again\n"
    L"replaces that device. --lose-after makes the webcam report itself unplugged after that many\n"
    L"seconds of streaming, as a real one does when its cable is pulled. --stall-after makes it stop\n"
    L"delivering after that many seconds (0: at once) without a word to the graph, as a hung driver does.\n"
    L"Exit codes: 0 done, 1 failed, 2 bad usage, 3 no such device to unregister.";

namespace {

// Friendly names end up in registry values and in programs' device lists.
constexpr size_t kMaxNameLength = 200;

struct KindOption {
    const wchar_t* option;
    DemoDeviceKind kind;
};
const KindOption kKinds[] = {{L"--microphone", DemoDeviceKind::Microphone}, {L"--webcam", DemoDeviceKind::Webcam}};

struct SettingOption {
    const wchar_t* option;
    DemoDeviceKind kind;
    std::wstring DemoCommand::*field;
};
const SettingOption kSettings[] = {
    {L"--tone", DemoDeviceKind::Microphone, &DemoCommand::tone},
    {L"--picture", DemoDeviceKind::Webcam, &DemoCommand::picture},
    {L"--formats", DemoDeviceKind::Webcam, &DemoCommand::formats},
    {L"--lose-after", DemoDeviceKind::Webcam, &DemoCommand::loseAfter},
    {L"--stall-after", DemoDeviceKind::Webcam, &DemoCommand::stallAfter},
};

std::wstring CheckSettings(const DemoCommand& command) {
    double hz = 0;
    if (!command.tone.empty() && !ParseTone(command.tone, &hz))
        return L"--tone wants a frequency in Hz from 20 to 20000, not \"" + command.tone + L"\"";
    REFERENCE_TIME loseAt = 0;
    if (!command.loseAfter.empty() && !ParseLoseAfter(command.loseAfter, &loseAt))
        return L"--lose-after wants seconds from 0.1 to 86400, not \"" + command.loseAfter + L"\"";
    REFERENCE_TIME stallAt = 0;
    if (!command.stallAfter.empty() && !ParseStallAfter(command.stallAfter, &stallAt))
        return L"--stall-after wants seconds from 0 to 86400, not \"" + command.stallAfter + L"\"";
    std::vector<VideoFormat> formats;
    if (!command.formats.empty()) {
        const std::wstring error = ParseVideoFormats(command.formats, &formats);
        if (!error.empty()) return L"--formats: " + error;
    }
    return std::wstring();
}

}  // namespace

std::wstring ParseDemoCommand(int argc, const wchar_t* const* argv, DemoCommand* command) {
    if (argc < 2) return L"no command given";
    const std::wstring verb = argv[1];
    if (verb != L"register" && verb != L"unregister") return L"unknown command \"" + verb + L"\"";
    command->doRegister = verb == L"register";
    bool haveKind = false;
    for (int i = 2; i < argc; i += 2) {
        const std::wstring option = argv[i];
        if (i + 1 >= argc) return option + L" wants a value";
        const std::wstring value = argv[i + 1];
        bool known = false;
        for (const KindOption& kind : kKinds) {
            if (option != kind.option) continue;
            if (haveKind) return L"give one device: --microphone NAME or --webcam NAME";
            if (value.empty() || value.size() > kMaxNameLength)
                return L"a device name has 1 to 200 characters";
            command->kind = kind.kind;
            command->name = value;
            haveKind = known = true;
        }
        for (const SettingOption& setting : kSettings) {
            if (option != setting.option) continue;
            if (!command->doRegister) return option + L" belongs to register";
            if (!(command->*setting.field).empty()) return option + L" is given twice";
            if (value.empty()) return option + L" wants a value";
            command->*setting.field = value;
            known = true;
        }
        if (!known) return L"unknown option \"" + option + L"\"";
    }
    if (!haveKind) return L"no device given: --microphone NAME or --webcam NAME";
    for (const SettingOption& setting : kSettings) {
        if (setting.kind != command->kind && !(command->*setting.field).empty())
            return std::wstring(setting.option) + L" does not apply to this kind of device";
    }
    return CheckSettings(*command);
}
