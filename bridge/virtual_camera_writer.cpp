#include "bridge/virtual_camera_writer.h"

#include "bridge/picture_fit.h"
#include "camera/filter/camera_identity.h"

HRESULT CVirtualCameraWriter::Open() {
    return ::CoCreateInstance(CLSID_VirtualCamera, nullptr, CLSCTX_INPROC_SERVER, IID_TranslateData_buf,
                              reinterpret_cast<void**>(m_camera.ReleaseAndGetAddressOf()));
}

HRESULT CVirtualCameraWriter::Write(const BYTE* picture) {
    if (!m_camera) return E_UNEXPECTED;
    return m_camera->WriteFrame(picture, kCameraPictureBytes);
}
