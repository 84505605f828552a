#pragma once
// When a lost executable is started again: 1, 2, 4, 8, 16, then every 30 s,
// and from 1 s again once a start has been live (delivering) for 30 s. A server that
// refuses, or a camera that is gone, is then tried a few times a minute at
// most instead of twice a second for ever.
#include <windows.h>

class CRestartBackoff {
public:
    // A command asked anew: the next loss waits 1 s again.
    void Reset() { m_attempt = 0; }
    // The executable ended after being live (delivering) for healthyMs;
    // returns how long to wait before the next start and counts the attempt.
    DWORD OnLoss(ULONGLONG healthyMs);
    // Restarts since the last healthy run (1 for the first restart).
    int Attempt() const { return m_attempt; }

    static const ULONGLONG kHealthyMs = 30000;

private:
    int m_attempt = 0;
};
