#include "bridge/graph_pins.h"

#include <uuids.h>

using Microsoft::WRL::ComPtr;

ComPtr<IPin> FindFreePin(IBaseFilter* filter, PIN_DIRECTION direction) {
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.GetAddressOf()))) return nullptr;
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_DIRECTION pinDirection;
        ComPtr<IPin> peer;
        if (SUCCEEDED(pin->QueryDirection(&pinDirection)) && pinDirection == direction &&
            pin->ConnectedTo(peer.GetAddressOf()) == VFW_E_NOT_CONNECTED) {
            return pin;
        }
    }
    return nullptr;
}

ComPtr<IPin> FindCapturePin(IBaseFilter* camera) {
    ComPtr<ICaptureGraphBuilder2> builder;
    ComPtr<IPin> pin;
    if (SUCCEEDED(::CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_PPV_ARGS(builder.GetAddressOf()))) &&
        SUCCEEDED(builder->FindPin(camera, PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, TRUE, 0,
                                   pin.GetAddressOf()))) {
        return pin;
    }
    return FindFreePin(camera, PINDIR_OUTPUT);
}
