// The named frame exchange as producers and camera images meet in it: each
// opens the same mapping by name, a write is read back whole with its
// description, bad descriptions and foreign layouts are refused, copies of
// the camera's record never push out a fresh direct frame, a stale frame is
// dropped, and a writer that died holding the lock does not block the next.
#include "common/named_frame_exchange.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/exchange_security.h"
#include "common/unique_handle.h"

namespace {

// A name of this test's own, so that no camera or producer of other tests
// meets it.
std::wstring TestName(const wchar_t* what) {
    return L"Local\\QvNamedFrameExchangeTest." + std::to_wstring(::GetCurrentProcessId()) + L"." + what;
}

std::vector<BYTE> Picture(size_t bytes, BYTE seed) {
    std::vector<BYTE> picture(bytes);
    for (size_t i = 0; i < bytes; ++i) picture[i] = static_cast<BYTE>(seed + i * 13 + i / 1920);
    return picture;
}

TEST(NamedFrameExchange, TwoOpenersShareTheFrameAndItsDescription) {
    const std::wstring name = TestName(L"share");
    CNamedFrameExchange writer, reader;
    ASSERT_EQ(S_OK, writer.Open(name.c_str()));
    ASSERT_EQ(S_OK, reader.Open(name.c_str()));
    EXPECT_EQ(kNamedFrameMagic, reader.Header()->magic);
    EXPECT_EQ(kNamedFrameLayoutVersion, reader.Header()->layoutVersion);

    struct Case {
        LONG width, height;
        NamedFrameFormat format;
        LONG stride;
        DWORD bytes;
        bool inPlace = false;  // written by WriteFrameWith
    };
    const Case cases[] = {
        {1920, 1080, NamedFrameFormat::NV12, 1920, 3110400},
        {1280, 720, NamedFrameFormat::NV12, 1344, 1451520, true},
        {1920, 1080, NamedFrameFormat::RGB24, 5760, 6220800},
        {640, 480, NamedFrameFormat::RGB24, 1920, 921600, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " stride " + std::to_string(c.stride));
        ASSERT_EQ(c.bytes, NamedFrameBytes(c.width, c.height, c.format, c.stride));
        const std::vector<BYTE> picture = Picture(c.bytes, static_cast<BYTE>(c.width));
        const DWORD count = reader.Header()->frameCount;
        if (c.inPlace) {
            DWORD filled = 0;
            ASSERT_EQ(S_OK, writer.WriteFrameWith(c.width, c.height, c.format, c.stride, 30, [&](BYTE* frame) {
                std::copy(picture.begin(), picture.end(), frame);
                filled = c.bytes;
            }));
            EXPECT_EQ(c.bytes, filled);
        } else {
            ASSERT_EQ(S_OK, writer.WriteFrame(c.width, c.height, c.format, c.stride, 30, picture.data()));
        }
        EXPECT_EQ(count + 1, reader.Header()->frameCount);
        EXPECT_EQ(::GetCurrentProcessId(), reader.Header()->writerProcessId);

        NamedFrameInfo info = {};
        std::vector<BYTE> copy(kNamedFrameCapacity);
        ASSERT_EQ(FrameTake::Injected, reader.ReadLatest(&info, copy.data(), copy.size()));
        EXPECT_EQ(c.width, info.width);
        EXPECT_EQ(c.height, info.height);
        EXPECT_EQ(c.format, info.format);
        EXPECT_EQ(c.stride, info.stride);
        EXPECT_EQ(30u, info.frameRate);
        EXPECT_EQ(c.bytes, info.frameBytes);
        EXPECT_EQ(0u, info.copiedFromImage);
        EXPECT_TRUE(std::equal(picture.begin(), picture.end(), copy.begin())) << "the frame read back differs";
        EXPECT_EQ(FrameTake::Standby, reader.ReadLatest(&info, copy.data(), c.bytes - 1)) << "too small a buffer";
    }
}

TEST(NamedFrameExchange, RefusesWhatItCannotHold) {
    CNamedFrameExchange closed;
    const std::vector<BYTE> picture(kNamedFrameCapacity);
    EXPECT_EQ(E_HANDLE, closed.WriteFrame(640, 480, NamedFrameFormat::RGB24, 1920, 30, picture.data()));

    const std::wstring name = TestName(L"refuse");
    CNamedFrameExchange exchange;
    ASSERT_EQ(S_OK, exchange.Open(name.c_str()));
    struct Case {
        const char* what;
        LONG width, height;
        NamedFrameFormat format;
        LONG stride;
        const BYTE* bytes;
    };
    const auto nv12 = NamedFrameFormat::NV12;
    const auto rgb = NamedFrameFormat::RGB24;
    const Case cases[] = {
        {"no width", 0, 480, rgb, 1920, picture.data()},
        {"wider than 1920", 1922, 1080, nv12, 1922, picture.data()},
        {"taller than 1080", 1920, 1082, nv12, 1920, picture.data()},
        {"odd NV12 width", 641, 480, nv12, 642, picture.data()},
        {"odd NV12 height", 640, 481, nv12, 640, picture.data()},
        {"stride short of a row", 640, 480, rgb, 1919, picture.data()},
        {"negative height", 640, -480, rgb, 1920, picture.data()},
        {"beyond the frame room", 1920, 1080, rgb, 5764, picture.data()},
        {"unknown format", 640, 480, static_cast<NamedFrameFormat>(0x32595559), 1280, picture.data()},
        {"no bytes", 640, 480, rgb, 1920, nullptr},
    };
    for (const Case& c : cases)
        EXPECT_EQ(E_INVALIDARG, exchange.WriteFrame(c.width, c.height, c.format, c.stride, 30, c.bytes)) << c.what;
    EXPECT_EQ(0, exchange.Header()->hasFrame) << "a refused write changed the exchange";

    // A mapping of the name that holds another layout is not taken for ours.
    const std::wstring foreign = TestName(L"foreign");
    // Made with the user's own security, as the exchange's other openers
    // make it: its layout alone is what is wrong.
    CExchangeSecurity security;
    UniqueHandle mapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, security.Attributes(), PAGE_READWRITE, 0,
                                              kNamedFrameMappingBytes, foreign.c_str()));
    ASSERT_TRUE(mapping);
    void* view = ::MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, 0);
    ASSERT_NE(nullptr, view);
    static_cast<DWORD*>(view)[0] = 0x12345678;
    ::UnmapViewOfFile(view);
    CNamedFrameExchange other;
    EXPECT_EQ(E_FAIL, other.Open(foreign.c_str()));
    EXPECT_FALSE(other.IsOpen());
}

TEST(NamedFrameExchange, CopiesYieldToAFreshDirectFrameAndStaleFramesAreDropped) {
    const std::wstring name = TestName(L"yield");
    CNamedFrameExchange exchange;
    ASSERT_EQ(S_OK, exchange.Open(name.c_str()));
    const std::vector<BYTE> picture = Picture(1280 * 720 * 3 / 2, 1);
    NamedFrameHeader& header = *exchange.Header();
    const DWORD image = 0xC0FFEE;

    struct Step {
        const char* what;
        DWORD copiedFromImage;  // 0: a direct write
        DWORD ageMs;            // of the frame already there
        HRESULT expected;
    };
    const Step steps[] = {
        {"a copy into an empty exchange", image, 0, S_OK},
        {"a direct frame over a fresh copy", 0, 0, S_OK},
        {"a copy over a fresh direct frame", image, 0, S_FALSE},
        {"a copy over a direct frame 2,001 ms old", image, 2001, S_OK},
        {"a copy over a fresh copy", image, 0, S_OK},
    };
    for (const Step& s : steps) {
        header.writeTick = ::GetTickCount() - s.ageMs;
        EXPECT_EQ(s.expected, exchange.WriteFrame(1280, 720, NamedFrameFormat::NV12, 1280, 30, picture.data(),
                                                  s.copiedFromImage))
            << s.what;
        if (s.expected == S_OK) {
            EXPECT_EQ(s.copiedFromImage, header.copiedFromImage) << s.what;
        }
    }

    // 2,000 ms old is fresh; 2,001 ms old is stale, and the reader drops it.
    NamedFrameInfo info = {};
    std::vector<BYTE> copy(picture.size());
    header.writeTick = ::GetTickCount() - kFrameFreshnessMs + 50;
    EXPECT_EQ(FrameTake::Injected, exchange.ReadLatest(&info, copy.data(), copy.size()));
    header.writeTick = ::GetTickCount() - kFrameFreshnessMs - 1;
    EXPECT_EQ(FrameTake::Standby, exchange.ReadLatest(&info, copy.data(), copy.size()));
    EXPECT_EQ(0, header.hasFrame);
}

TEST(NamedFrameExchange, AWriterThatDiedHoldingTheLockIsTakenOver) {
    const std::wstring name = TestName(L"takeover");
    CNamedFrameExchange exchange;
    ASSERT_EQ(S_OK, exchange.Open(name.c_str()));
    // A process that ran and ended: its id is no one's now, or someone
    // else's with another creation time.
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    wchar_t line[] = L"cmd.exe /c exit 0";
    ASSERT_TRUE(::CreateProcessW(nullptr, line, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi));
    UniqueHandle process(pi.hProcess), thread(pi.hThread);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.get(), 10000));
    FILETIME created = {}, exited, kernel, user;
    ASSERT_TRUE(::GetProcessTimes(process.get(), &created, &exited, &kernel, &user));
    process.reset();
    NamedFrameHeader& header = *exchange.Header();
    header.guard.writer =
        static_cast<LONGLONG>((static_cast<ULONGLONG>(created.dwLowDateTime) << 32) | pi.dwProcessId);
    header.guard.sequence = 7;  // it died in the middle of its copy

    const std::vector<BYTE> picture = Picture(640 * 480 * 3, 9);
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(S_OK, exchange.WriteFrame(640, 480, NamedFrameFormat::RGB24, 1920, 15, picture.data()));
    EXPECT_LT(::GetTickCount() - start, kWriterLockTimeoutMs) << "the write waited for the dead writer to time out";
    EXPECT_EQ(0, header.guard.sequence & 1) << "the change the dead writer left open is closed";
    NamedFrameInfo info = {};
    std::vector<BYTE> copy(picture.size());
    EXPECT_EQ(FrameTake::Injected, exchange.ReadLatest(&info, copy.data(), copy.size()));
    EXPECT_TRUE(std::equal(picture.begin(), picture.end(), copy.begin()));
}

// The rule for a mapping someone else made first, through its seam: Wine
// neither stores owners of its own nor enforces integrity levels, so the
// verdict on each owner and label is tested here.
TEST(ExchangeSecurity, OnlyTheUsersOwnMappingAtMediumOrAboveIsUsed) {
    const std::vector<BYTE> user = CurrentUserSid();
    ASSERT_FALSE(user.empty());
    struct Sid {
        PSID sid = nullptr;
        explicit Sid(const wchar_t* text) { ::ConvertStringSidToSidW(text, &sid); }
        ~Sid() { ::LocalFree(sid); }
    };
    Sid system(L"S-1-5-18"), administrators(L"S-1-5-32-544"), other(L"S-1-5-21-1004336348-1177238915-682003330-1001"),
        everyone(L"S-1-1-0"), packages(L"S-1-15-2-1");
    const PSID me = const_cast<BYTE*>(user.data());
    const struct {
        const char* what;
        PSID owner;
        DWORD integrity;
        HRESULT expected;
    } cases[] = {
        {"the user, medium", me, SECURITY_MANDATORY_MEDIUM_RID, S_OK},
        {"the user, high", me, SECURITY_MANDATORY_HIGH_RID, S_OK},
        {"SYSTEM, system", system.sid, SECURITY_MANDATORY_SYSTEM_RID, S_OK},
        {"Administrators (elevated user), high", administrators.sid, SECURITY_MANDATORY_HIGH_RID, S_OK},
        {"the user, low", me, SECURITY_MANDATORY_LOW_RID, kExchangeLowerIntegrity},
        {"the user, untrusted", me, SECURITY_MANDATORY_UNTRUSTED_RID, kExchangeLowerIntegrity},
        {"another user, medium", other.sid, SECURITY_MANDATORY_MEDIUM_RID, kExchangeForeignOwner},
        {"another user, high", other.sid, SECURITY_MANDATORY_HIGH_RID, kExchangeForeignOwner},
        {"Everyone", everyone.sid, SECURITY_MANDATORY_MEDIUM_RID, kExchangeForeignOwner},
        {"an AppContainer package", packages.sid, SECURITY_MANDATORY_LOW_RID, kExchangeForeignOwner},
        {"no owner", nullptr, SECURITY_MANDATORY_MEDIUM_RID, kExchangeForeignOwner},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, JudgeMappingSecurity(MappingSecurity{c.owner, c.integrity}, me)) << c.what;
    // The owner the token gives new objects counts as the user's (Wine: the
    // primary group; an elevated Windows process: Administrators).
    EXPECT_EQ(S_OK, JudgeMappingSecurity(MappingSecurity{other.sid, SECURITY_MANDATORY_MEDIUM_RID}, me, other.sid));
    EXPECT_EQ(kExchangeLowerIntegrity,
              JudgeMappingSecurity(MappingSecurity{other.sid, SECURITY_MANDATORY_LOW_RID}, me, other.sid));
}

// The descriptor the exchange is made with, as the platform reads it back.
TEST(ExchangeSecurity, TheExchangeIsMadeWithTheUsersDescriptor) {
    const std::wstring name = TestName(L"security");
    CNamedFrameExchange exchange;
    ASSERT_EQ(S_OK, exchange.Open(name.c_str()));
    UniqueHandle mapping(::OpenFileMappingW(READ_CONTROL, FALSE, name.c_str()));
    ASSERT_TRUE(mapping);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PSID owner = nullptr;
    PACL dacl = nullptr, sacl = nullptr;
    ASSERT_EQ(DWORD(ERROR_SUCCESS),
              ::GetSecurityInfo(mapping.get(), SE_KERNEL_OBJECT,
                                OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION,
                                &owner, nullptr, &dacl, &sacl, &descriptor));
    LPWSTR text = nullptr;
    ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorW(
        descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION,
        &text, nullptr));
    const std::wstring sddl = text;
    ::LocalFree(text);
    ::LocalFree(descriptor);
    std::printf("the exchange's descriptor as the platform reads it back: %ls\n", sddl.c_str());
    LPWSTR userText = nullptr;
    const std::vector<BYTE> user = CurrentUserSid();
    ASSERT_TRUE(::ConvertSidToStringSidW(const_cast<BYTE*>(user.data()), &userText));
    const std::wstring me = userText;
    ::LocalFree(userText);
    EXPECT_NE(std::wstring::npos, sddl.find(L"(A;;GA;;;" + me + L")")) << sddl;
    EXPECT_NE(std::wstring::npos, sddl.find(L"(A;;GA;;;SY)")) << sddl;
    EXPECT_NE(std::wstring::npos, sddl.find(L"(A;;GR;;;AC)") == std::wstring::npos
                                      ? sddl.find(L"(A;;GR;;;S-1-15-2-1)")
                                      : sddl.find(L"(A;;GR;;;AC)"))
        << "no read access for ALL APPLICATION PACKAGES: " << sddl;
    EXPECT_EQ(std::wstring::npos, sddl.find(L";;;WD)")) << "Everyone has access: " << sddl;
    EXPECT_EQ(ExchangeSecurityText(me).substr(0, 4), L"D:P(");
    // The second opener finds the mapping its own and uses it.
    CNamedFrameExchange second;
    EXPECT_EQ(S_OK, second.Open(name.c_str()));
}

// A mapping of the name made first by someone else: with a foreign owner,
// or labelled below medium integrity, it is not used.
TEST(ExchangeSecurity, AMappingMadeFirstByAnotherOwnerIsNotUsed) {
    const struct {
        const wchar_t* what;
        const wchar_t* sddl;
        HRESULT expected;
    } cases[] = {
        {L"foreign-owner", L"O:S-1-5-21-1004336348-1177238915-682003330-1001D:(A;;GA;;;WD)", kExchangeForeignOwner},
        {L"low-label", L"D:(A;;GA;;;WD)S:(ML;;NW;;;LW)", kExchangeLowerIntegrity},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::wstring name = TestName(c.what);
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(c.sddl, SDDL_REVISION_1, &descriptor,
                                                                          nullptr));
        SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
        UniqueHandle squatter(::CreateFileMappingW(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0,
                                                   kNamedFrameMappingBytes, name.c_str()));
        const DWORD error = ::GetLastError();
        ::LocalFree(descriptor);
        if (!squatter) {
            // Windows lets no one give an object another user as its owner
            // without the restore privilege: the case cannot be set up.
            std::printf("%ls: the mapping cannot be made (error %lu)\n", c.what, error);
            continue;
        }
        PSECURITY_DESCRIPTOR seen = nullptr;
        PSID owner = nullptr;
        PACL sacl = nullptr;
        LPWSTR text = nullptr;
        if (::GetSecurityInfo(squatter.get(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION,
                              &owner, nullptr, nullptr, &sacl, &seen) == ERROR_SUCCESS &&
            ::ConvertSecurityDescriptorToStringSecurityDescriptorW(
                seen, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION, &text, nullptr)) {
            std::printf("%ls: the platform keeps %ls\n", c.what, text);
            ::LocalFree(text);
        }
        bool labelled = false;
        for (DWORD i = 0; sacl && i < sacl->AceCount; ++i) {
            ACE_HEADER* ace = nullptr;
            labelled = labelled || (::GetAce(sacl, i, reinterpret_cast<void**>(&ace)) &&
                                    ace->AceType == SYSTEM_MANDATORY_LABEL_ACE_TYPE);
        }
        if (seen) ::LocalFree(seen);
        if (c.expected == kExchangeLowerIntegrity && !labelled) {
            // A platform that keeps no mandatory label: the mapping is an
            // ordinary one of the user's there (the seam's test holds the rule).
            std::printf("%ls: the platform kept no mandatory label; not judged here\n", c.what);
            continue;
        }
        CNamedFrameExchange exchange;
        const HRESULT hr = exchange.Open(name.c_str());
        std::printf("%ls: Open gives 0x%08lx\n", c.what, static_cast<unsigned long>(hr));
        EXPECT_EQ(c.expected, hr);
        EXPECT_FALSE(exchange.IsOpen());
    }
}

}  // namespace
