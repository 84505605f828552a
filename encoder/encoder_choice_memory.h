#pragma once
// The HD levels' encoder choice, remembered per FFmpeg so that a start or
// restart does not probe again: probing starts an FFmpeg per hardware
// encoder, seconds under Wine and on slow drivers. The memory belongs to the
// FFmpeg file as it is (path, size and time of last write): another or an
// updated ffmpeg.exe is probed afresh. It lives in the user's local
// application data, which a standard user owns, never beside QvShow.exe
// (a program folder a standard user cannot write to).
//
// A hardware encoder that probed well and then failed while publishing is
// dropped for good (for this FFmpeg): the next start probes only the others
// and ends on libx264 when none is left, rather than failing again.
#include <string>
#include <vector>

class CEncoderChoiceMemory {
public:
    // Reads what is remembered for the FFmpeg at `ffmpegPath` (nothing when
    // the file changed, the memory is missing or unreadable).
    explicit CEncoderChoiceMemory(const std::wstring& ffmpegPath);

    // The remembered encoder's name; empty when none is.
    const std::wstring& Remembered() const { return m_encoder; }
    // Hardware encoders that failed while publishing: never probed again.
    bool Dropped(const std::wstring& name) const;

    // Saves `encoder` as the choice; false when it could not be written
    // (the next start then probes again, nothing worse).
    bool Remember(const std::wstring& encoder);
    // Forgets the choice and keeps `encoder` out of later probes.
    bool Drop(const std::wstring& encoder);

private:
    bool Save() const;

    std::wstring m_file;  // empty: no place for the memory
    std::wstring m_key;   // the FFmpeg file as it is now
    std::wstring m_encoder;
    std::vector<std::wstring> m_dropped;
};

// Where the memory is kept: "<local application data>\QvPush\encoder.txt",
// the folder taken from LOCALAPPDATA (the known folder when it is unset).
std::wstring EncoderChoiceMemoryFile();
