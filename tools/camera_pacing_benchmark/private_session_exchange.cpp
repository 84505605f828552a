// The camera's session exchange, for this benchmark only: an exchange of a
// name of the benchmark's own in place of the user's live one (the
// product's session_exchange.cpp is not linked), so that the frames it
// writes and reads never reach a camera the user has open.
#include <string>

#include "camera/filter/frame_exchange.h"

CNamedFrameExchange* SessionNamedFrameExchange() {
    static CLazyNamedFrameExchange exchange(L"Local\\QvCameraPacingBenchmark." +
                                            std::to_wstring(::GetCurrentProcessId()));
    return exchange.Get();
}

HRESULT WriteCameraFrame(const BYTE* data, LONG length) {
    return WriteRecordAndExchange(SharedFrameExchange(), SharedFrameGuard(), SessionNamedFrameExchange(), data, length);
}
