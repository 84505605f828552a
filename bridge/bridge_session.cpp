#include "bridge/bridge_session.h"

#include <windows.h>
#include <evcode.h>

#include "bridge/bridge_diagnostics.h"
#include "bridge/capture_graph.h"
#include "common/child_exit_codes.h"
#include "bridge/video_device_lookup.h"
#include "bridge/hd_frame_writer.h"
#include "bridge/virtual_camera_writer.h"
#include "camera/filter/camera_identity.h"
#include "common/com_apartment.h"

namespace {

const std::wstring kOwnCameraName = kCameraFriendlyName;

int Failure(int exitCode, const std::wstring& line) {
    ReportLine(L"QvGraph: " + line);
    return exitCode;
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

std::wstring EndText(const GraphEnd& end) {
    if (end.code == EC_DEVICE_LOST) return L"the device was removed";
    std::wstring text = L"event " + HresultText(end.code);
    if (end.code == EC_ERRORABORT || end.code == EC_ERRORABORTEX || end.code == EC_STREAM_ERROR_STOPPED)
        text += L", streaming error " + HresultText(static_cast<long>(end.param1));
    return text;
}

}  // namespace

int RunBridge(const BridgeArguments& arguments, const WriteTimingObserver& observer, const BridgeOutputs& outputs) {
    const std::wstring& name = arguments.videoDevice;
    if (name == kOwnCameraName)
        return Failure(kExitOwnCamera, Quoted(name) + L" is the virtual camera itself; it cannot feed itself");

    // The multithreaded apartment: the sample grabber calls the sink, and
    // the sink the camera object, on the graph's streaming thread, and
    // neither may be marshalled to this thread while it waits for events.
    ScopedComApartment com(COINIT_MULTITHREADED);
    if (FAILED(com.Result())) return Failure(kExitSystemFailure, L"COM does not start: " + HresultText(com.Result()));

    CVirtualCameraWriter camera;
    HRESULT hr = outputs.record ? S_OK : camera.Open();
    CPictureRecordWriter& writer = outputs.record ? *outputs.record : camera;
    if (FAILED(hr)) {
        return Failure(kExitVirtualCameraMissing, L"the virtual camera " + Quoted(kOwnCameraName) +
                                                      L" is not registered (QvCamera: " + HresultText(hr) + L")");
    }

    VideoDeviceLookup lookup = FindVideoDevice(name);
    if (FAILED(lookup.result))
        return Failure(kExitSystemFailure, L"the video devices cannot be listed: " + HresultText(lookup.result));
    if (!lookup.ambiguity.empty()) return Failure(kExitCameraNotFound, L"refused: " + lookup.ambiguity);
    if (!lookup.device)
        return Failure(kExitCameraNotFound,
                       L"no camera named " + Quoted(name) + L"; cameras found: " + JoinDeviceNames(lookup.namesFound));
    if (lookup.isVirtualCamera)
        return Failure(kExitOwnCamera, Quoted(name) + L" is the virtual camera itself; it cannot feed itself");

    CCaptureGraph graph;
    GraphFailure failure;
    if (!graph.Build(lookup.device.Get(), failure))
        return Failure(kExitCameraNotOpened,
                       L"the camera " + Quoted(name) + L" cannot be opened: " + failure.what + L" (" +
                           HresultText(failure.result) + L")");

    // Without the exchange the bridge still feeds the record: the camera's
    // small formats go on, and its HD formats scale the record's picture.
    CHdFrameWriter hdWriter;
    const HRESULT exchange = hdWriter.Open(DecodedPicture(graph.Delivered()), outputs.exchangeName);
    // Not a failure (the daemon takes lines that begin so as news): the
    // camera goes on with the record's picture, and the writer tries again.
    if (exchange == kExchangeForeignOwner || exchange == kExchangeLowerIntegrity)
        ReportLine(L"QvGraph: camera " + Quoted(name) + L": the HD frame exchange belongs to " +
                   (exchange == kExchangeForeignOwner ? L"another user" : L"a lower integrity level") +
                   L"; not used, HD formats show the 640x480 picture");
    CFrameSink* sink = CFrameSink::Create(graph.Delivered(), writer, &hdWriter);
    // The sink reports every picture that converted, written or not: what
    // the watchdog needs to know.
    CStallWatchdog watchdog;
    sink->SetTimingObserver([&watchdog, observer](LONGLONG arrived, LONGLONG written) {
        watchdog.NotePicture(::GetTickCount());
        if (observer) observer(arrived, written);
    });
    const bool running = graph.Run(sink, failure);
    int exitCode;
    if (running) {
        // The limits count from the moment the graph runs: starting it may
        // itself take seconds.
        watchdog.Restart(::GetTickCount());
        // The daemon shows the rest of this line as the camera's format.
        AnnounceLine(L"QvGraph: delivering " + graph.ChosenType());
        const GraphEnd end = graph.WaitForEnd(watchdog);
        if (end.stalled)
            exitCode = Failure(kExitCameraStalled, L"camera stalled: " + Quoted(name) + L" gave no usable picture for " +
                                                       std::to_wstring(watchdog.LimitMs() / 1000) + L" s");
        else
            exitCode = Failure(kExitCameraLost, L"the camera " + Quoted(name) + L" was lost: " + EndText(end));
    } else {
        exitCode = Failure(kExitCameraNotOpened, L"the camera " + Quoted(name) + L" cannot be run (in use?): " +
                                                     failure.what + L" (" + HresultText(failure.result) + L")");
    }
    graph.Stop();
    sink->Stop();
    sink->Release();
    return exitCode;
}
