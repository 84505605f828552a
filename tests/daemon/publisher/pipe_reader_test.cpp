// The encoder output reader, fed by a stand-in encoder whose output the test
// scripts, as seen through the host's debugger output.
#include "tests/daemon/publisher/publisher_sandbox.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const wchar_t kPrefix[] = L"zrshow:  ";
const wchar_t kEndText[] = L"pipe 读出为0，ThreadRecvPipeData线程直接退出";

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex.push_back(kDigits[c >> 4]);
        hex.push_back(kDigits[c & 15]);
    }
    return hex;
}

// The texts the reader wrote: its chunks (prefix removed) and its end texts.
struct ReaderTexts {
    std::vector<std::wstring> m_chunks;
    size_t m_endTexts = 0;
    bool m_endIsLast = false;
};

ReaderTexts TakeReaderTexts(const std::vector<std::wstring>& texts) {
    ReaderTexts reader;
    for (const std::wstring& text : texts) {
        if (text.rfind(kPrefix, 0) == 0) {
            reader.m_chunks.push_back(text.substr(wcslen(kPrefix)));
            reader.m_endIsLast = false;
        } else if (text == kEndText) {
            ++reader.m_endTexts;
            reader.m_endIsLast = true;
        }
    }
    return reader;
}

std::wstring Joined(const std::vector<std::wstring>& chunks) {
    std::wstring all;
    for (const std::wstring& chunk : chunks) all += chunk;
    return all;
}

std::function<bool(const ReaderTexts&)> Bytes(size_t count) {
    return [count](const ReaderTexts& now) { return Joined(now.m_chunks).size() >= count; };
}

std::function<bool(const ReaderTexts&)> Chunks(size_t count) {
    return [count](const ReaderTexts& now) { return now.m_chunks.size() >= count; };
}

class PipeReader : public ::testing::Test {
protected:
    // Starts the encoder through LaunchWithOutputPipe with the script, waits
    // until `enough` holds for what the reader mirrored (or the reader
    // ended), kills the encoder when it still runs and returns the reader's
    // texts once it has ended.
    ReaderTexts Run(const std::string& script, const std::function<bool(const ReaderTexts&)>& enough) {
        m_sandbox.SetScript(kEncoder, script);
        std::wstring release = m_sandbox.NewEventName();
        DebuggeeProcess* host =
            m_sandbox.StartHost({L"launch-pipe=" + m_sandbox.Dir() + kEncoder + L"| -f dshow", L"wait=" + release});
        if (!host) return ReaderTexts();
        if (!m_sandbox.WaitForStarts(kEncoder, 1, 20000)) {
            ADD_FAILURE() << "the encoder did not start; the host said:\n" << host->Output();
            m_sandbox.Signal(release);
            return ReaderTexts();
        }
        for (DWORD waited = 0; waited < 20000; waited += 20) {
            ReaderTexts now = TakeReaderTexts(host->DebugTexts());
            if (enough(now) || now.m_endTexts > 0) break;
            ::Sleep(20);
        }
        // Let a chunk too many show up, then end the encoder.
        ::Sleep(200);
        TerminateProcessesNamed(kEncoder);
        EXPECT_TRUE(host->WaitForDebugText(kEndText, 20000)) << "no end text after the encoder ended";
        // A second end text would come within a cycle or two.
        ::Sleep(200);
        m_sandbox.Signal(release);
        EXPECT_TRUE(host->WaitForExit(30000));
        EXPECT_NE(host->Output().find("launch-pipe 1"), std::string::npos) << host->Output();
        return TakeReaderTexts(host->DebugTexts());
    }

    PublisherSandbox m_sandbox;
};

TEST_F(PipeReader, FullChunkIsOneText) {
    ASSERT_TRUE(m_sandbox.Ready());
    ReaderTexts reader = Run("fill stdout 4096 61\n", Bytes(4096));
    ASSERT_EQ(reader.m_chunks.size(), 1u);
    EXPECT_EQ(reader.m_chunks[0], std::wstring(4096, L'a'));
    EXPECT_EQ(reader.m_endTexts, 1u);
    EXPECT_TRUE(reader.m_endIsLast);
}

TEST_F(PipeReader, MoreThanAChunkIsCutAt4096Bytes) {
    ASSERT_TRUE(m_sandbox.Ready());
    ReaderTexts reader = Run("fill stdout 6000 62\n", Bytes(6000));
    ASSERT_EQ(reader.m_chunks.size(), 2u);
    EXPECT_EQ(reader.m_chunks[0], std::wstring(4096, L'b'));
    EXPECT_EQ(reader.m_chunks[1], std::wstring(1904, L'b'));
    EXPECT_EQ(reader.m_endTexts, 1u);
}

TEST_F(PipeReader, ChunkEndsAtItsFirstZeroByte) {
    ASSERT_TRUE(m_sandbox.Ready());
    const struct {
        std::string written;
        std::wstring text;
    } cases[] = {
        {std::string("frame=  1\0fps=0.0\n", 18), L"frame=  1"},
        {std::string("\0abc", 4), L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Hex(c.written));
        ReaderTexts reader = Run("stdout " + Hex(c.written) + "\n", Chunks(1));
        ASSERT_EQ(reader.m_chunks.size(), 1u);
        EXPECT_EQ(reader.m_chunks[0], c.text);
        EXPECT_EQ(reader.m_endTexts, 1u);
    }
}

TEST_F(PipeReader, EncoderWithoutOutputGivesOnlyTheEndText) {
    ASSERT_TRUE(m_sandbox.Ready());
    ReaderTexts reader = Run("exit 0\n", Chunks(1));
    EXPECT_TRUE(reader.m_chunks.empty());
    EXPECT_EQ(reader.m_endTexts, 1u);
}

TEST_F(PipeReader, KilledWhileSilentEndsWithOneEndText) {
    ASSERT_TRUE(m_sandbox.Ready());
    ReaderTexts reader = Run("", Chunks(0));
    EXPECT_TRUE(reader.m_chunks.empty());
    EXPECT_EQ(reader.m_endTexts, 1u);
}

TEST_F(PipeReader, OutputLeftInThePipeIsMirroredBeforeTheEndText) {
    ASSERT_TRUE(m_sandbox.Ready());
    ReaderTexts reader = Run("stdout " + Hex("last words\r\n") + "\nexit 1\n", Chunks(1));
    ASSERT_EQ(reader.m_chunks.size(), 1u);
    EXPECT_EQ(reader.m_chunks[0], L"last words\r\n");
    EXPECT_EQ(reader.m_endTexts, 1u);
    EXPECT_TRUE(reader.m_endIsLast);
}

TEST_F(PipeReader, StandardErrorAndOutputShareThePipeAndPiecesStayApart) {
    ASSERT_TRUE(m_sandbox.Ready());
    // A line written in two pieces is two texts; nothing is assembled.
    ReaderTexts reader = Run("stderr " + Hex("Input #0, dshow, ") + "\nsleep 300\nstdout " + Hex("from 'video'\n") +
                                 "\nsleep 300\nstderr " + Hex("\xb1\xe0\xc2\xeb\xc6\xf7\n") + "\n",
                             Chunks(3));
    ASSERT_EQ(reader.m_chunks.size(), 3u);
    EXPECT_EQ(reader.m_chunks[0], L"Input #0, dshow, ");
    EXPECT_EQ(reader.m_chunks[1], L"from 'video'\n");
    // Passed on as the encoder's bytes, here code page 936 text.
    EXPECT_EQ(reader.m_chunks[2], L"编码器\n");
}

// FFmpeg takes keys from its standard input ("q" ends it): the encoder's
// input must deliver nothing at once, not wait on (or eat) its own output.
TEST_F(PipeReader, StandardInputDeliversNothing) {
    ASSERT_TRUE(m_sandbox.Ready());
    ReaderTexts reader = Run("stdin\n", Chunks(1));
    ASSERT_EQ(reader.m_chunks.size(), 1u) << "the read of standard input did not return";
    EXPECT_EQ(reader.m_chunks[0], L"stdin ok=1 read=0\n");
}

TEST_F(PipeReader, LargeOutputArrivesWholeInOrderInChunksOfAtMost4096) {
    ASSERT_TRUE(m_sandbox.Ready());
    const size_t each = 100000;
    ReaderTexts reader =
        Run("fill stdout 100000 41\nfill stderr 100000 42\nfill stdout 100000 43\n", Bytes(3 * each));
    std::wstring expected = std::wstring(each, L'A') + std::wstring(each, L'B') + std::wstring(each, L'C');
    for (const std::wstring& chunk : reader.m_chunks) {
        EXPECT_LE(chunk.size(), 4096u);
        EXPECT_FALSE(chunk.empty());
    }
    EXPECT_GE(reader.m_chunks.size(), 3 * each / 4096 + 1);
    std::wstring all = Joined(reader.m_chunks);
    EXPECT_EQ(all.size(), expected.size());
    EXPECT_TRUE(all == expected) << "bytes lost, added or reordered";
    EXPECT_EQ(reader.m_endTexts, 1u);
}

}  // namespace
