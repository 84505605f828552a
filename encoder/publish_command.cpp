#include "encoder/publish_command.h"

namespace {

// The options of each push level between the input and "-f flv", as the
// daemon writes them (its quality presets).
const std::vector<std::vector<const wchar_t*>> kEncodingOptions = {
    {L"-r:v", L"10", L"-s:v", L"640*480", L"-b:v", L"300k", L"-c:v", L"libx264", L"-tune", L"zerolatency",
     L"-x264-params", L"keyint=10:keyint_min=6", L"-pix_fmt", L"yuv420p", L"-c:a", L"libaacplus", L"-ar", L"44100",
     L"-ab", L"32k"},
    {L"-r:v", L"8", L"-s:v", L"480*360", L"-b:v", L"100k", L"-c:v", L"libx264", L"-tune", L"zerolatency",
     L"-x264-params", L"keyint=10:keyint_min=6", L"-pix_fmt", L"yuv420p", L"-c:a", L"libaacplus", L"-ar", L"44100",
     L"-ab", L"32k"},
    {L"-r:v", L"7", L"-s:v", L"320*240", L"-b:v", L"40k", L"-c:v", L"libx264", L"-x264-params",
     L"keyint=14:keyint_min=7", L"-pix_fmt", L"yuv420p", L"-c:a", L"libaacplus", L"-ar", L"44100", L"-ab", L"16k"},
    {L"-r:v", L"7", L"-s:v", L"480*360", L"-b:v", L"30k", L"-c:v", L"libx264", L"-tune", L"zerolatency",
     L"-x264-params", L"keyint=20:keyint_min=20", L"-pix_fmt", L"yuv420p", L"-c:a", L"libaacplus", L"-ar", L"44100",
     L"-ab", L"32k"},
};

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
    const std::vector<const wchar_t*>& options = kEncodingOptions[level];
    size_t i = 0;
    auto plain = [&](const wchar_t* literal) { return i < words.size() && words[i].IsPlain(literal); };
    for (const wchar_t* literal : {L"-f", L"dshow", L"-i"}) {
        if (!plain(literal)) return i;
        ++i;
    }
    if (i >= words.size() || !ParseInput(words[i], command)) return i;
    ++i;
    for (const wchar_t* literal : options) {
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
    command.encodingOptions.assign(options.begin(), options.end());
    return words.size() + 1;
}

}  // namespace

bool ParsePublishCommand(const std::vector<CommandWord>& words, PublishCommand& command, std::wstring& problem) {
    size_t furthest = 0;
    for (size_t level = 0; level < kEncodingOptions.size(); ++level) {
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
