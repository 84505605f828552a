#pragma once
// One parsed command line of the command port.
#include <cstdint>
#include <string>

class RecvCmd {
public:
    virtual ~RecvCmd() = default;

    std::wstring m_strCmd;
    std::wstring m_videoDevice;
    std::wstring m_audioDevice;
    std::wstring m_streamUrl;
    int32_t m_pushLevel = 0;
    // A start without pushLevel keeps the level the publish had.
    bool m_pushLevelGiven = false;
};
