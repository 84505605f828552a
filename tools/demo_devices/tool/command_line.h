#pragma once
// demo_devices.exe's command line:
//   register --microphone NAME [--tone HZ]
//   register --webcam NAME [--picture FILE.bmp] [--formats LIST] [--lose-after SECONDS]
//                          [--stall-after SECONDS]
//   unregister --microphone NAME | --webcam NAME
#include <string>

#include "tools/demo_devices/common/demo_device_classes.h"

extern const wchar_t kUsageText[];

struct DemoCommand {
    bool doRegister = true;
    DemoDeviceKind kind = DemoDeviceKind::Microphone;
    std::wstring name;
    // Settings as given; empty when not given. Checked by the parser.
    std::wstring tone;
    std::wstring picture;
    std::wstring formats;
    std::wstring loseAfter;
    std::wstring stallAfter;
};

// Empty on success, else what is wrong with the command line, in one line.
std::wstring ParseDemoCommand(int argc, const wchar_t* const* argv, DemoCommand* command);
