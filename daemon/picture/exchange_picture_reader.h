#pragma once
// The daemon's reader of the session's named frame exchange: a glance at
// the header to learn whether a new frame is there, and a copy of the frame
// taken under the guard, so that scaling and encoding never hold a writer.
#include <windows.h>

#include <vector>

#include "common/named_frame_exchange.h"
#include "daemon/picture/picture_view.h"

class CExchangePictureReader {
public:
    // name: the session's exchange unless a test names one of its own.
    explicit CExchangePictureReader(const wchar_t* name = nullptr) : m_name(name) {}

    struct Glance {
        bool fresh = false;
        DWORD frameCount = 0;  // changes with every frame written
    };

    // Unguarded look at the header: a hint of what a Take would find. Opens
    // the exchange at first use (and again at most once a second after a
    // failure).
    Glance Look();

    // Copies the newest fresh frame; false when there is none (or a writer
    // kept it busy), and the stand-by picture goes out instead. The view
    // stays valid until the next Take.
    bool Take(PictureView& picture, DWORD& frameCount);

private:
    bool EnsureOpen();

    const wchar_t* m_name;
    CNamedFrameExchange m_exchange;
    ULONGLONG m_nextOpen = 0;
    std::vector<BYTE> m_copy;
};
