#pragma once
// The one command line the daemon gives the bridge:
//   ` -a "AUDIO" -v "VIDEO"`
// (leading blank, the microphone first), with values escaped by the rules
// of CommandLineToArgvW. The line is split by those same rules, not by the C
// runtime's, which would drop the empty program name that the leading blank
// stands for.
#include <string>

struct BridgeArguments {
    std::wstring audioDevice;
    std::wstring videoDevice;
};

// True for a line of exactly that form, where the first word (the program
// name) may be empty or anything else; a person typing
// `QvGraph.exe -a "Mic" -v "Cam"` is understood as well.
bool ParseBridgeCommandLine(const wchar_t* commandLine, BridgeArguments& arguments);

// What the bridge prints for any other line.
extern const wchar_t kBridgeUsage[];
