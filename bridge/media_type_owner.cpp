#include "bridge/media_type_owner.h"

void FreeMediaTypeContent(AM_MEDIA_TYPE& type) {
    if (type.cbFormat != 0 || type.pbFormat != nullptr) ::CoTaskMemFree(type.pbFormat);
    type.cbFormat = 0;
    type.pbFormat = nullptr;
    if (type.pUnk != nullptr) {
        type.pUnk->Release();
        type.pUnk = nullptr;
    }
}
