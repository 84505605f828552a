#include "daemon/shell/start_main_service.h"

#include <winsock2.h>

#include "daemon/command/thread_main_service.h"
#include "daemon/publisher/child_slot.h"
#include "daemon/publisher/image_names.h"
#include "daemon/publisher/leftover_processes.h"
#include "daemon/publisher/publish_state.h"
#include "daemon/web/web_service.h"

#include <memory>

void StartMainService() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    ThePublishState().InitLock();
    // An earlier daemon of this folder that crashed where its job could not
    // hold its children may have left them running.
    EndLeftovers(kEncoderImageName, 0, kStopWaitMs);
    EndLeftovers(kBridgeImageName, 0, kStopWaitMs);
    auto service = std::make_unique<CThreadMainService>(&TheWebService());
    service->autoDelete = true;
    // Once its thread runs, the listener deletes itself when it ends.
    if (service->Start()) service.release();
}
