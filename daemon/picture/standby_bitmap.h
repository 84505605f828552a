#pragma once
// The stand-by picture the virtual camera delivers while no fresh frame is
// there. The daemon never loads the camera: it carries the same bitmap as a
// resource of its own executable (QvPushServer.rc, under the same number).
#include <windows.h>

#include <vector>

#include "daemon/picture/picture_view.h"

constexpr WORD kStandbyBitmapResource = 109;
constexpr LONG kStandbyWidth = 640;
constexpr LONG kStandbyHeight = 480;

// The stand-by picture, loaded once from the executable; a view with no
// bytes when the resource is missing (a program built without it).
const PictureView& StandbyPicture();
