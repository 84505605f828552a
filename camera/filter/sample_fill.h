#pragma once
// What goes into one of the camera's samples: the latest injected frame while
// it is fresh, else the stand-by picture, in the connection's size.
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "camera/filter/frame_exchange.h"
#include "camera/filter/picture_scaling.h"

// Bytes of a copy of `length` bytes that fit into `room`; a negative length
// copies nothing.
size_t BoundedCopyLength(LONG length, size_t room);

struct SampleSources {
    const uint8_t* standbyFull;  // 640 x 480
    const uint8_t* standbyHalf;  // 320 x 240
    uint8_t* halfScratch;        // receives the halved injected frame, 921,600 bytes
};

// The session's named exchange as a source, the frames that this image
// copied into it left out (its own record has them, under its own rules).
struct NamedSource {
    CNamedFrameExchange* exchange = nullptr;  // null: not available
    DWORD ownImage = 0;
};

// Draws the named exchange's latest fresh frame (not one of ownImage's
// copies) into a picture of `layout`; true when it did.
bool DrawNamedFrame(const NamedSource& named, const PictureLayout& layout, uint8_t* picture);

// Fills a sample of a width x height connection. An injected frame is copied
// as it is at 640 x 480 and halved at 320 x 240, frameLength (or a quarter of
// it) bytes of it; the rest of the sample keeps what it held. No copy runs
// past the sample or the frame record, whatever frameLength says. A record
// that stays busy past the reader's wait counts as no frame (the sample gets
// the stand-by picture over whatever a dropped take left in it). When the
// record has no fresh frame, a whole picture from `named` is scaled in
// before the stand-by picture is taken.
FrameTake FillSample(FrameExchange& record, FrameExchangeGuard& guard, LONG width, LONG height,
                     const SampleSources& sources, uint8_t* sample, size_t sampleSize,
                     const NamedSource& named = NamedSource());

// Fills a sample of a large connection of `layout` (a whole picture, or
// nothing when sampleSize is short of it): the named exchange's frame, else
// the record's whole 640 x 480 picture, else `standby` (the stand-by picture
// already drawn at this layout); copied or scaled as DrawPicture does.
FrameTake FillLargeSample(FrameExchange& record, FrameExchangeGuard& guard, const NamedSource& named,
                          const PictureLayout& layout, const uint8_t* standby, uint8_t* sample, size_t sampleSize);
