#include "camera/filter/frame_exchange.h"

CNamedFrameExchange* SessionNamedFrameExchange() {
    static CLazyNamedFrameExchange exchange(kNamedFrameExchangeName);
    return exchange.Get();
}

HRESULT WriteCameraFrame(const BYTE* data, LONG length) {
    return WriteRecordAndExchange(SharedFrameExchange(), SharedFrameGuard(), SessionNamedFrameExchange(), data, length);
}
