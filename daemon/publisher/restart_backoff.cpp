#include "daemon/publisher/restart_backoff.h"

namespace {

const DWORD kDelaysMs[] = {1000, 2000, 4000, 8000, 16000, 30000};
const int kDelayCount = sizeof(kDelaysMs) / sizeof(kDelaysMs[0]);

}  // namespace

DWORD CRestartBackoff::OnLoss(ULONGLONG healthyMs) {
    if (healthyMs >= kHealthyMs) m_attempt = 0;
    const DWORD delay = kDelaysMs[m_attempt < kDelayCount ? m_attempt : kDelayCount - 1];
    ++m_attempt;
    return delay;
}
