#pragma once
// The types a webcam's capture pin offers, with what the format choice
// needs to know of each.
#include <windows.h>
#include <dshow.h>

#include <vector>

#include "bridge/format_choice.h"
#include "bridge/media_type_owner.h"

struct CaptureFormatOffers {
    std::vector<UniqueMediaType> types;
    std::vector<CaptureFormatOffer> offers;  // one for each type, same order
};

// Through IAMStreamConfig (with its frame-interval ranges) when the pin has
// it, else through the pin's type enumerator (with each type's own rate).
CaptureFormatOffers ListCaptureFormats(IPin* pin);

// A copy of `type` asking for `frameInterval` (unchanged when 0).
void SetFrameInterval(AM_MEDIA_TYPE& type, LONGLONG frameInterval);
