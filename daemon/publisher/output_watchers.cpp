#include "daemon/publisher/output_watchers.h"

#include "daemon/publisher/output_lines.h"
#include "daemon/publisher/status_board.h"
#include "daemon/text/diagnostics.h"
#include "daemon/text/text_conversion.h"

#include <string>

namespace {

const char kChunkPrefix[] = "zrshow:  ";
const wchar_t kReaderEndText[] = L"pipe 读出为0，ThreadRecvPipeData线程直接退出";

class CEncoderWatcher : public COutputWatcher {
public:
    explicit CEncoderWatcher(unsigned generation) : m_generation(generation) {}

    void Chunk(const char* bytes, size_t count) override {
        DebugText(kChunkPrefix + std::string(bytes, count));
        if (m_generation == 0) return;
        m_lines.Take(bytes, count, [this](const std::string& line) {
            ProgressLine progress;
            std::string encoder;
            if (ParseEncoderLine(line, encoder))
                TheStatusBoard().Encoder(m_generation, encoder);
            else if (ParseProgressLine(line, progress))
                TheStatusBoard().Progress(m_generation, progress);
            else if (IsErrorLine(line))
                TheStatusBoard().ErrorLine(StatusKind::Publish, m_generation, ConsoleLineToUtf8(line));
        });
    }

    void Ended() override { DebugText(WideToNarrow(kReaderEndText)); }

private:
    unsigned m_generation;
    COutputLines m_lines;
};

// The bridge prints two announcements ("QvGraph: camera ..." and the
// "delivering" line); every other line of its own is why it ends.
bool IsBridgeFailureLine(const std::string& line) {
    return line.compare(0, 9, "QvGraph: ") == 0 && line.compare(0, 17, "QvGraph: camera \"") != 0;
}

class CBridgeWatcher : public COutputWatcher {
public:
    explicit CBridgeWatcher(unsigned generation) : m_generation(generation) {}

    void Chunk(const char* bytes, size_t count) override {
        m_lines.Take(bytes, count, [this](const std::string& line) {
            std::string format;
            if (ParseDeliveringLine(line, format))
                TheStatusBoard().Delivering(m_generation, ConsoleLineToUtf8(format));
            else if (IsBridgeFailureLine(line))
                TheStatusBoard().ErrorLine(StatusKind::Camera, m_generation, ConsoleLineToUtf8(line));
        });
    }

    void Ended() override {}

private:
    unsigned m_generation;
    COutputLines m_lines;
};

}  // namespace

std::unique_ptr<COutputWatcher> EncoderOutputWatcher(unsigned generation) {
    return std::make_unique<CEncoderWatcher>(generation);
}

std::unique_ptr<COutputWatcher> BridgeOutputWatcher(unsigned generation) {
    return std::make_unique<CBridgeWatcher>(generation);
}
