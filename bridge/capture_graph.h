#pragma once
// The bridge's filter graph: webcam -> sample grabber -> null renderer,
// for MJPG too (the sink decodes it). Pins are connected directly: a Smart
// Tee would ask a webcam with one buffer for a second one it never gets.
#include <windows.h>
#include <dshow.h>
#include <qedit.h>
#include <wrl/client.h>

#include <string>

#include "bridge/pixel_format.h"
#include "bridge/stall_watchdog.h"

// What went wrong, for the one line the bridge prints.
struct GraphFailure {
    HRESULT result = S_OK;
    std::wstring what;
};

// How the graph ended.
struct GraphEnd {
    long code = 0;  // the event: EC_DEVICE_LOST, EC_ERRORABORT, ...
    LONG_PTR param1 = 0;
    bool stalled = false;  // no event: the watchdog saw no picture in time
};

class CCaptureGraph {
public:
    CCaptureGraph() = default;
    ~CCaptureGraph();
    CCaptureGraph(const CCaptureGraph&) = delete;
    CCaptureGraph& operator=(const CCaptureGraph&) = delete;

    // Binds the device, picks its type (RankCaptureFormats) and connects.
    bool Build(IMoniker* device, GraphFailure& failure);
    // The webcam's type, as "YUY2 1280x720 30 fps", or for MJPG with what
    // it is decoded to: "MJPG 1920x1080 30 fps decoded to NV12".
    const std::wstring& ChosenType() const { return m_chosen; }
    // What reaches the grabber: the webcam's type.
    const SourcePicture& Delivered() const { return m_delivered; }

    // Hands every sample to `sink` and runs the graph.
    bool Run(ISampleGrabberCB* sink, GraphFailure& failure);
    // Blocks until the graph reports the device lost, an error or the end
    // of its stream (a live webcam never ends by itself), or until
    // `watchdog` finds the webcam stalled.
    GraphEnd WaitForEnd(const CStallWatchdog& watchdog);
    void Stop();

private:
    bool ConnectOffer(IPin* cameraPin, AM_MEDIA_TYPE& type);

    Microsoft::WRL::ComPtr<IGraphBuilder> m_graph;
    Microsoft::WRL::ComPtr<IBaseFilter> m_camera;
    Microsoft::WRL::ComPtr<IBaseFilter> m_grabberFilter;
    Microsoft::WRL::ComPtr<ISampleGrabber> m_grabber;
    Microsoft::WRL::ComPtr<IBaseFilter> m_renderer;
    Microsoft::WRL::ComPtr<IMediaControl> m_control;
    Microsoft::WRL::ComPtr<IMediaEvent> m_events;
    std::wstring m_chosen;
    SourcePicture m_delivered;
    bool m_running = false;
};
