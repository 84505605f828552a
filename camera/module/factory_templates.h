#pragma once
// Registration data beside g_Templates: the record for the video input
// device category (both pin rows, normal merit), where the default-category
// record of the template lists only the output row.
#include <windows.h>
#include <dshow.h>

const REGFILTER2& DeviceCategoryRegistration();
