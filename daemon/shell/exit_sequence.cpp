#include "daemon/shell/exit_sequence.h"

#include "daemon/publisher/encoder_launch.h"
#include "daemon/publisher/image_names.h"

#include <winsock2.h>

void RunExitSequence() {
    StopExecutable(kEncoderImageName);
    StopExecutable(kBridgeImageName);
    ::WSACleanup();
}
