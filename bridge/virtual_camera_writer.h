#pragma once
// The bridge's end of the virtual camera: a QvCamera object created in this
// process, whose TranslateData_buf writes the record that every process's
// camera reads. The bridge links none of the camera's code; COM loads the
// registered module.
#include <windows.h>
#include <wrl/client.h>

#include "camera/filter/frame_exchange.h"

class CVirtualCameraWriter {
public:
    // REGDB_E_CLASSNOTREG and kin when the camera is not registered,
    // E_NOINTERFACE when the object has no TranslateData_buf.
    HRESULT Open();
    // One 640 x 480 RGB24 bottom-up picture.
    HRESULT Write(const BYTE* picture);

private:
    Microsoft::WRL::ComPtr<TranslateData_buf> m_camera;
};
