// test_card_producer: a test-only producer that writes a test card into the
// session's named frame exchange, as the bridge writes the webcam's picture.
//
//   test_card_producer.exe <fps> <seconds>
//
// The card (tests/daemon/picture/test_card.h): colour bars over the top
// three quarters, a grey band below with a white marker that moves 8 pixels
// a frame. Prints "frames=<n>" at the end; exit 0, or 1 when the exchange
// could not be opened or a write failed.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <vector>

#include "common/named_frame_exchange.h"
#include "tests/daemon/picture/test_card.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::printf("usage: test_card_producer <fps> <seconds>\n");
        return 1;
    }
    const int fps = std::wcstol(argv[1], nullptr, 10);
    const int seconds = std::wcstol(argv[2], nullptr, 10);
    if (fps <= 0 || seconds <= 0) return 1;
    CNamedFrameExchange exchange;
    if (FAILED(exchange.Open())) {
        std::printf("error: cannot open the named frame exchange\n");
        return 1;
    }
    std::vector<BYTE> card;
    const ULONGLONG start = ::GetTickCount64();
    int frames = 0;
    for (ULONGLONG due = start; due < start + static_cast<ULONGLONG>(seconds) * 1000;
         due = start + static_cast<ULONGLONG>(frames) * 1000 / fps) {
        const ULONGLONG now = ::GetTickCount64();
        if (due > now) ::Sleep(static_cast<DWORD>(due - now));
        DrawTestCard(frames, card);
        const HRESULT hr = exchange.WriteFrame(kTestCardWidth, kTestCardHeight, NamedFrameFormat::RGB24,
                                               kTestCardWidth * 3, static_cast<DWORD>(fps), card.data());
        if (FAILED(hr)) {
            std::printf("error: write failed 0x%08lX\n", static_cast<unsigned long>(hr));
            return 1;
        }
        ++frames;
    }
    std::printf("frames=%d\n", frames);
    return 0;
}
