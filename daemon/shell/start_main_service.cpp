#include "daemon/shell/start_main_service.h"

#include <winsock2.h>

#include "daemon/command/thread_main_service.h"
#include "daemon/publisher/publish_state.h"
#include "daemon/web/web_service.h"

#include <memory>

void StartMainService() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    ThePublishState().InitLock();
    auto service = std::make_unique<CThreadMainService>(&TheWebService());
    service->autoDelete = true;
    // Once its thread runs, the listener deletes itself when it ends.
    if (service->Start()) service.release();
}
