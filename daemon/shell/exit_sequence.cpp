#include "daemon/shell/exit_sequence.h"

#include "daemon/publisher/encoder_launch.h"
#include "daemon/publisher/image_names.h"
#include "daemon/web/web_service.h"

#include <winsock2.h>

void RunExitSequence() {
    // No web session may start anything once the exit has begun.
    TheWebService().Stop();
    StopExecutable(kEncoderImageName);
    StopExecutable(kBridgeImageName);
    ::WSACleanup();
}
