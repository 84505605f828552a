#include "daemon/web/status_feed.h"

#include "daemon/publisher/status_board.h"

namespace {

const ULONGLONG kLiveRepeatMs = 2000;
// Also the longest a stopping feed takes to notice.
const DWORD kIdleWaitMs = 1000;

}  // namespace

CStatusFeed::CStatusFeed(WebSocketConnection& connection) : m_connection(connection) {
    m_thread = std::thread(&CStatusFeed::Run, this);
}

CStatusFeed::~CStatusFeed() {
    m_stop = true;
    TheStatusBoard().Wake();
    if (m_thread.joinable()) m_thread.join();
}

void CStatusFeed::Run() {
    CStatusBoard& board = TheStatusBoard();
    // Nothing sent yet: both objects go out at once.
    uint64_t sentPublish = UINT64_MAX, sentCamera = UINT64_MAX;
    ULONGLONG nextRepeat = 0;
    try {
        while (!m_stop) {
            const uint64_t seen = board.Version();
            const StatusRecord publish = board.Read(StatusKind::Publish);
            const StatusRecord camera = board.Read(StatusKind::Camera);
            const ULONGLONG now = ::GetTickCount64();
            const bool live = publish.state == StatusState::Running;
            if (publish.version != sentPublish || (live && now >= nextRepeat)) {
                if (!m_connection.SendText(StatusJson(StatusKind::Publish, publish, now))) return;
                sentPublish = publish.version;
                nextRepeat = now + kLiveRepeatMs;
            }
            if (camera.version != sentCamera) {
                if (!m_connection.SendText(StatusJson(StatusKind::Camera, camera, now))) return;
                sentCamera = camera.version;
            }
            const ULONGLONG after = ::GetTickCount64();
            const DWORD wait =
                live ? static_cast<DWORD>(nextRepeat > after ? nextRepeat - after : 0) : kIdleWaitMs;
            board.WaitForChange(seen, wait);
        }
    } catch (...) {
        // Out of memory at worst: the session goes on without its status.
    }
}
