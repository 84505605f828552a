#include "camera/framework/setup_data.h"

#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

namespace {

bool NotRegistered(HRESULT hr) { return hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND); }

HRESULT WithMapper2(IFilterMapper2* mapper, const AMOVIESETUP_FILTER& setup, bool doRegister) {
    HRESULT hr = mapper->UnregisterFilter(nullptr, nullptr, *setup.clsID);
    if (!doRegister) return NotRegistered(hr) ? S_OK : hr;
    REGFILTER2 data = {};
    data.dwVersion = 1;
    data.dwMerit = setup.dwMerit;
    data.cPins = setup.nPins;
    data.rgPins = setup.lpPin;
    hr = mapper->RegisterFilter(*setup.clsID, setup.strName, nullptr, nullptr, nullptr, &data);
    return NotRegistered(hr) ? S_OK : hr;
}

HRESULT WithMapper1(IFilterMapper* mapper, const AMOVIESETUP_FILTER& setup, bool doRegister) {
    HRESULT hr = mapper->UnregisterFilter(*setup.clsID);
    if (!doRegister) return NotRegistered(hr) ? S_OK : hr;
    hr = mapper->RegisterFilter(*setup.clsID, setup.strName, setup.dwMerit);
    for (UINT i = 0; SUCCEEDED(hr) && i < setup.nPins; ++i) {
        const AMOVIESETUP_PIN& pin = setup.lpPin[i];
        hr = mapper->RegisterPin(*setup.clsID, pin.strName, pin.bRendered, pin.bOutput, pin.bZero, pin.bMany,
                                 pin.clsConnectsToFilter ? *pin.clsConnectsToFilter : CLSID_NULL,
                                 pin.strConnectsToPin);
        for (UINT t = 0; SUCCEEDED(hr) && t < pin.nMediaTypes; ++t) {
            hr = mapper->RegisterPinType(*setup.clsID, pin.strName, *pin.lpMediaType[t].clsMajorType,
                                         *pin.lpMediaType[t].clsMinorType);
        }
    }
    return NotRegistered(hr) ? S_OK : hr;
}

}  // namespace

HRESULT RegisterFilterSetup(const AMOVIESETUP_FILTER& setup, bool doRegister) {
    ComPtr<IFilterMapper2> mapper2;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&mapper2));
    if (SUCCEEDED(hr)) return WithMapper2(mapper2.Get(), setup, doRegister);
    ComPtr<IFilterMapper> mapper1;
    hr = CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&mapper1));
    if (FAILED(hr)) return hr;
    return WithMapper1(mapper1.Get(), setup, doRegister);
}
