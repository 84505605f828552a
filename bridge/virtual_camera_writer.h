#pragma once
// The bridge's end of the virtual camera: a QvCamera object created in this
// process, whose TranslateData_buf writes the record that every process's
// camera reads. The bridge links none of the camera's code; COM loads the
// registered module.
#include <windows.h>
#include <wrl/client.h>

#include "camera/filter/frame_exchange.h"

// Where the bridge writes its 640 x 480 pictures.
class CPictureRecordWriter {
public:
    virtual ~CPictureRecordWriter() = default;
    // One 640 x 480 RGB24 bottom-up picture.
    virtual HRESULT Write(const BYTE* picture) = 0;
};

class CVirtualCameraWriter : public CPictureRecordWriter {
public:
    // REGDB_E_CLASSNOTREG and kin when the camera is not registered,
    // E_NOINTERFACE when the object has no TranslateData_buf.
    HRESULT Open();
    HRESULT Write(const BYTE* picture) override;

private:
    Microsoft::WRL::ComPtr<TranslateData_buf> m_camera;
};
