#include "encoder/publish_command.h"

#include "common/push_levels.h"

namespace {

// The words of a preset's option text, with the bitrate in place of "%d".
std::vector<std::wstring> OptionWords(const char* text, int bitrateKbps) {
    std::vector<std::wstring> words;
    std::wstring word;
    for (const char* c = text;; ++c) {
        if (*c == ' ' || *c == '\0') {
            const size_t at = word.find(L"%d");
            if (at != std::wstring::npos) word.replace(at, 2, std::to_wstring(bitrateKbps));
            if (!word.empty()) words.push_back(word);
            word.clear();
            if (*c == '\0') break;
        } else {
            word.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*c)));
        }
    }
    return words;
}

const wchar_t kLiveSuffix[] = L" live=1";

std::wstring Describe(const std::vector<CommandWord>& words, size_t index) {
    if (index >= words.size()) return L"the line ends after " + std::to_wstring(words.size()) + L" words";
    return L"word " + std::to_wstring(index + 1) + L" (" + words[index].Text() + L")";
}

// video="V":audio="A" with both values quoted; a colon inside a value would
// be taken by FFmpeg's dshow input as the start of another device name.
bool ParseInput(const CommandWord& word, PublishCommand& command) {
    const auto& p = word.pieces;
    if (p.size() != 4 || p[0].quoted || p[0].text != L"video=" || !p[1].quoted || p[2].quoted ||
        p[2].text != L":audio=" || !p[3].quoted)
        return false;
    command.videoDevice = p[1].text;
    command.audioDevice = p[3].text;
    return true;
}

bool ParseTarget(const CommandWord& word, PublishCommand& command) {
    const auto& p = word.pieces;
    const size_t suffix = sizeof(kLiveSuffix) / sizeof(wchar_t) - 1;
    if (p.size() != 1 || !p[0].quoted || p[0].text.size() < suffix ||
        p[0].text.compare(p[0].text.size() - suffix, suffix, kLiveSuffix) != 0)
        return false;
    command.streamUrl = p[0].text.substr(0, p[0].text.size() - suffix);
    return true;
}

// How far the words follow the form of `level`; == words.size() + 1 when
// they follow it whole.
size_t Match(const std::vector<CommandWord>& words, size_t level, PublishCommand& command) {
    const PushLevelPreset& preset = kPushLevelPresets[level];
    const std::vector<std::wstring> input = OptionWords(preset.m_inputOptions, preset.m_videoBitrateKbps);
    const std::vector<std::wstring> options = OptionWords(preset.m_encodingOptions, preset.m_videoBitrateKbps);
    size_t i = 0;
    auto plain = [&](const std::wstring& literal) { return i < words.size() && words[i].IsPlain(literal.c_str()); };
    for (const std::wstring& literal : {std::wstring(L"-f"), std::wstring(L"dshow")}) {
        if (!plain(literal)) return i;
        ++i;
    }
    for (const std::wstring& literal : input) {
        if (!plain(literal)) return i;
        ++i;
    }
    if (!plain(L"-i")) return i;
    ++i;
    if (i >= words.size() || !ParseInput(words[i], command)) return i;
    ++i;
    for (const std::wstring& literal : options) {
        if (!plain(literal)) return i;
        ++i;
    }
    for (const wchar_t* literal : {L"-f", L"flv"}) {
        if (!plain(literal)) return i;
        ++i;
    }
    if (i >= words.size() || !ParseTarget(words[i], command)) return i;
    ++i;
    if (i != words.size()) return i;
    command.pushLevel = static_cast<int>(level);
    command.inputOptions = input;
    command.encodingOptions = options;
    return words.size() + 1;
}

}  // namespace

bool ParsePublishCommand(const std::vector<CommandWord>& words, PublishCommand& command, std::wstring& problem) {
    size_t furthest = 0;
    for (size_t level = 0; level < static_cast<size_t>(kPushLevelCount); ++level) {
        PublishCommand candidate;
        const size_t reached = Match(words, level, candidate);
        if (reached == words.size() + 1) {
            for (const std::wstring* device : {&candidate.videoDevice, &candidate.audioDevice}) {
                if (device->find(L':') != std::wstring::npos) {
                    problem = L"the device name \"" + *device +
                              L"\" holds a colon, which FFmpeg's dshow input would take as a second device";
                    return false;
                }
            }
            command = candidate;
            return true;
        }
        if (reached > furthest) furthest = reached;
    }
    problem = L"not one of the daemon's publish forms: " + Describe(words, furthest) + L" does not fit";
    return false;
}
