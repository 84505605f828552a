// QvGraph.exe: the camera bridge. It delivers the pictures of the webcam the
// page picked into the virtual camera, which the encoder captures.
#include <windows.h>

#include "bridge/bridge_command_line.h"
#include "bridge/bridge_diagnostics.h"
#include "bridge/bridge_session.h"
#include "common/child_exit_codes.h"

int wmain() {
    BridgeArguments arguments;
    if (!ParseBridgeCommandLine(::GetCommandLineW(), arguments)) {
        ReportLine(kBridgeUsage);
        return kExitUsage;
    }
    // The microphone is the encoder's to capture; it is named here so that
    // one line tells what the daemon asked for.
    AnnounceLine(L"QvGraph: camera \"" + arguments.videoDevice + L"\", microphone \"" + arguments.audioDevice +
                 L"\" (captured by the encoder)");
    return RunBridge(arguments);
}
