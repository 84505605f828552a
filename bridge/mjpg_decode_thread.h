#pragma once
// MJPG samples decoded beside the graph's streaming thread, not on it: a
// decode takes about as long as a frame lasts (tens of milliseconds for
// 1080p under Wine), and a streaming thread that waited for it would make
// the webcam drop the frames it could not hand out meanwhile. The streaming
// thread only copies the sample (a few hundred kilobytes) and goes on; this
// thread decodes the latest one and hands the NV12 picture on. A sample that
// a newer one replaced before its turn came is not decoded at all: only the
// latest picture matters to the camera.
#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "bridge/jpeg_decoder.h"

class CMjpgDecodeThread {
public:
    // picture: the decoded NV12 picture (width x height x 3 / 2 bytes), or
    // null when the sample did not decode; arrived: the sample's
    // performance-counter tick.
    using Deliver = std::function<void(const BYTE* picture, LONGLONG arrived)>;

    CMjpgDecodeThread(int width, int height, Deliver deliver);
    ~CMjpgDecodeThread();  // Stop
    CMjpgDecodeThread(const CMjpgDecodeThread&) = delete;
    CMjpgDecodeThread& operator=(const CMjpgDecodeThread&) = delete;

    // Copies the sample for the decoder; never waits for a decode.
    void Submit(const BYTE* jpeg, size_t length, LONGLONG arrived);
    // Ends the thread after the decode under way, if any; Deliver is not
    // called after it returns.
    void Stop();

    // Samples replaced by a newer one before they were decoded.
    LONG Replaced() const;
    // How the last sample was decoded.
    JpegDecodePath LastPath() const;

private:
    void Run();

    const int m_width;
    const int m_height;
    Deliver m_deliver;
    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::vector<BYTE> m_pending;  // the latest sample not yet taken
    LONGLONG m_pendingArrived = 0;
    bool m_hasPending = false;
    bool m_stopping = false;
    LONG m_replaced = 0;
    JpegDecodePath m_lastPath = JpegDecodePath::Bgr;
    std::thread m_thread;
};
