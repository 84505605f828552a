#pragma once
// The daemon's encoder command line, recognised as one of its publish forms
// (one a push level, common/push_levels.h). Only these forms are accepted: anything else is refused rather
// than passed on, so no crafted value can turn into options of FFmpeg.
#include "encoder/command_line_words.h"

#include <string>
#include <vector>

struct PublishCommand {
    int pushLevel = 0;  // which of the forms
    // The DirectShow input's own options (the HD levels' size, pixel format
    // and rate), as FFmpeg takes them.
    std::vector<std::wstring> inputOptions;
    std::wstring videoDevice;
    std::wstring audioDevice;
    std::wstring streamUrl;  // the output target without its " live=1"
    // The options between the input and the output, as FFmpeg takes them
    // (rate, size, bitrate, encoders...), in the daemon's order.
    std::vector<std::wstring> encodingOptions;
};

// True with the command filled in when `words` are one of the forms;
// otherwise false with `problem` naming the first word that does not fit.
bool ParsePublishCommand(const std::vector<CommandWord>& words, PublishCommand& command, std::wstring& problem);
