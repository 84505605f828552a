#include "daemon/shell/exit_sequence.h"

#include "daemon/publisher/encoder_launch.h"
#include "daemon/publisher/image_names.h"
#include "daemon/publisher/launch_gate.h"
#include "daemon/web/web_service.h"

#include <winsock2.h>

void RunExitSequence() {
    // Before the stops: a launch waiting for them must not follow them, and
    // no web session may start anything once the exit has begun.
    CloseLaunches();
    TheWebService().Stop();
    StopExecutable(kEncoderImageName);
    StopExecutable(kBridgeImageName);
    ::WSACleanup();
}
