#pragma once
// The one stream the demo microphone captures: 16-bit PCM, two channels,
// 44,100 samples a second, and the capabilities it reports for it.
#include <windows.h>
#include <dshow.h>

#include "camera/framework/media_type.h"

constexpr WORD kMicChannels = 2;
constexpr DWORD kMicSamplesPerSecond = 44100;
constexpr WORD kMicBitsPerSample = 16;
constexpr WORD kMicBlockAlign = kMicChannels * kMicBitsPerSample / 8;

// The PCM type with its WAVEFORMATEX; E_OUTOFMEMORY without a format block.
HRESULT MakeMicrophoneType(CMediaType* type);
// True for PCM audio with our channels, rate and sample size, whatever else
// the caller left in the type (a longer WAVEFORMATEXTENSIBLE included).
bool IsMicrophoneType(const AM_MEDIA_TYPE& type);
void FillMicrophoneCaps(AUDIO_STREAM_CONFIG_CAPS* caps);
