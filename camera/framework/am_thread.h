#pragma once
// A worker thread that takes one command at a time from its owner and
// answers each with a reply (CallWorker blocks until the reply).
#include <windows.h>

#include "camera/framework/critical_section.h"

class CAMThread {
public:
    CAMThread();
    virtual ~CAMThread();
    CAMThread(const CAMThread&) = delete;
    CAMThread& operator=(const CAMThread&) = delete;

    // Starts ThreadProc; false when a thread exists already or cannot start.
    bool Create();
    // Owner side: sends `request` and waits for the worker's reply.
    DWORD CallWorker(DWORD request);
    // Waits for the thread to end and forgets it.
    void Close();
    bool ThreadExists() const { return m_thread != nullptr; }

    // Worker side: waits for the next request.
    DWORD GetRequest();
    // Worker side: true with the request when one is waiting (it stays
    // pending until GetRequest takes it).
    bool CheckRequest(DWORD* request);
    void Reply(DWORD result);
    // Signalled while a request is pending.
    HANDLE GetRequestHandle() const { return m_work; }
    DWORD GetRequestParam() const { return m_param; }

protected:
    // Runs on the thread; its result is the thread's exit code.
    virtual DWORD ThreadProc() = 0;

private:
    static DWORD WINAPI InitialThreadProc(LPVOID self);

    HANDLE m_thread = nullptr;
    HANDLE m_work;  // manual reset: set by CallWorker, reset by GetRequest
    HANDLE m_done;  // auto reset: set by Reply
    DWORD m_param = 0;
    DWORD m_result = 0;
    // One caller at a time; the worker's reply belongs to that caller.
    CCritSec m_accessLock;
};
