#include "tools/demo_devices/microphone/wave_format.h"

#include <mmreg.h>
#include <uuids.h>

HRESULT MakeMicrophoneType(CMediaType* type) {
    type->Clear();
    auto* format = reinterpret_cast<WAVEFORMATEX*>(type->AllocFormatBuffer(sizeof(WAVEFORMATEX)));
    if (!format) return E_OUTOFMEMORY;
    format->wFormatTag = WAVE_FORMAT_PCM;
    format->nChannels = kMicChannels;
    format->nSamplesPerSec = kMicSamplesPerSecond;
    format->wBitsPerSample = kMicBitsPerSample;
    format->nBlockAlign = kMicBlockAlign;
    format->nAvgBytesPerSec = kMicSamplesPerSecond * kMicBlockAlign;
    format->cbSize = 0;
    type->SetType(&MEDIATYPE_Audio);
    type->SetSubtype(&MEDIASUBTYPE_PCM);
    type->SetFormatType(&FORMAT_WaveFormatEx);
    type->SetTemporalCompression(FALSE);
    type->SetSampleSize(kMicBlockAlign);
    return S_OK;
}

bool IsMicrophoneType(const AM_MEDIA_TYPE& type) {
    if (!IsEqualGUID(type.majortype, MEDIATYPE_Audio) || !IsEqualGUID(type.formattype, FORMAT_WaveFormatEx))
        return false;
    if (!IsEqualGUID(type.subtype, MEDIASUBTYPE_PCM) && !IsEqualGUID(type.subtype, GUID_NULL)) return false;
    if (!type.pbFormat || type.cbFormat < sizeof(WAVEFORMATEX)) return false;
    const auto* format = reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat);
    const bool pcmTag = format->wFormatTag == WAVE_FORMAT_PCM || format->wFormatTag == WAVE_FORMAT_EXTENSIBLE;
    return pcmTag && format->nChannels == kMicChannels && format->nSamplesPerSec == kMicSamplesPerSecond &&
           format->wBitsPerSample == kMicBitsPerSample && format->nBlockAlign == kMicBlockAlign;
}

void FillMicrophoneCaps(AUDIO_STREAM_CONFIG_CAPS* caps) {
    *caps = AUDIO_STREAM_CONFIG_CAPS();
    caps->guid = MEDIATYPE_Audio;
    caps->MinimumChannels = kMicChannels;
    caps->MaximumChannels = kMicChannels;
    caps->ChannelsGranularity = 1;
    caps->MinimumBitsPerSample = kMicBitsPerSample;
    caps->MaximumBitsPerSample = kMicBitsPerSample;
    caps->BitsPerSampleGranularity = 8;
    caps->MinimumSampleFrequency = kMicSamplesPerSecond;
    caps->MaximumSampleFrequency = kMicSamplesPerSecond;
    caps->SampleFrequencyGranularity = 1;
}
