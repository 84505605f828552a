// The resources of QvPushServer.exe, read from the file as the dialog
// manager and the shell read them.
#include "tests/support/child_process.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct DialogItem {
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    WORD classAtom = 0;
    std::wstring text;
};

struct DialogTemplate {
    DWORD exStyle = 0;
    DWORD style = 0;
    short cx = 0, cy = 0;
    std::wstring caption;
    WORD pointSize = 0;
    std::wstring typeface;
    std::vector<DialogItem> items;
};

class Reader {
public:
    Reader(const BYTE* data, size_t size) : m_data(data), m_size(size) {}
    template <typename T>
    T Read() {
        T value{};
        if (m_offset + sizeof(T) <= m_size) std::memcpy(&value, m_data + m_offset, sizeof(T));
        m_offset += sizeof(T);
        return value;
    }
    std::wstring ReadString() {
        std::wstring text;
        for (wchar_t c; (c = static_cast<wchar_t>(Read<WORD>())) != 0 && m_offset <= m_size;) text.push_back(c);
        return text;
    }
    // A name or an ordinal (0xFFFF then a WORD); returns the ordinal or 0.
    WORD ReadNameOrOrdinal(std::wstring* name) {
        WORD first = Read<WORD>();
        if (first == 0xFFFF) return Read<WORD>();
        if (first != 0) {
            name->assign(1, static_cast<wchar_t>(first));
            *name += ReadString();
        }
        return 0;
    }
    void AlignToDword() { m_offset = (m_offset + 3) & ~size_t(3); }
    void Skip(size_t n) { m_offset += n; }
    bool Overrun() const { return m_offset > m_size; }

private:
    const BYTE* m_data;
    size_t m_size;
    size_t m_offset = 0;
};

// DLGTEMPLATEEX as the resource compiler lays it out.
bool ParseDialog(const BYTE* data, size_t size, DialogTemplate* dialog) {
    Reader r(data, size);
    if (r.Read<WORD>() != 1 || r.Read<WORD>() != 0xFFFF) return false;
    r.Read<DWORD>();  // help id
    dialog->exStyle = r.Read<DWORD>();
    dialog->style = r.Read<DWORD>();
    WORD count = r.Read<WORD>();
    r.Read<short>();
    r.Read<short>();
    dialog->cx = r.Read<short>();
    dialog->cy = r.Read<short>();
    std::wstring ignored;
    r.ReadNameOrOrdinal(&ignored);  // menu
    r.ReadNameOrOrdinal(&ignored);  // class
    dialog->caption = r.ReadString();
    if (dialog->style & DS_SETFONT) {
        dialog->pointSize = r.Read<WORD>();
        r.Read<WORD>();
        r.Read<BYTE>();
        r.Read<BYTE>();
        dialog->typeface = r.ReadString();
    }
    for (WORD i = 0; i < count; ++i) {
        r.AlignToDword();
        DialogItem item;
        r.Read<DWORD>();
        r.Read<DWORD>();
        item.style = r.Read<DWORD>();
        item.x = r.Read<short>();
        item.y = r.Read<short>();
        item.cx = r.Read<short>();
        item.cy = r.Read<short>();
        item.id = r.Read<DWORD>();
        std::wstring className;
        item.classAtom = r.ReadNameOrOrdinal(&className);
        r.ReadNameOrOrdinal(&item.text);
        r.Skip(r.Read<WORD>());
        dialog->items.push_back(item);
    }
    return !r.Overrun();
}

class ShellResourcesTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_module = ::LoadLibraryExW((TestBinDir() + L"QvPushServer.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(m_module, nullptr) << "QvPushServer.exe not found beside the test";
    }
    void TearDown() override {
        if (m_module) ::FreeLibrary(m_module);
    }

    std::vector<BYTE> Resource(const wchar_t* type, UINT id) {
        HRSRC found = ::FindResourceW(m_module, MAKEINTRESOURCEW(id), type);
        if (!found) return {};
        HGLOBAL loaded = ::LoadResource(m_module, found);
        auto* bytes = static_cast<const BYTE*>(::LockResource(loaded));
        return std::vector<BYTE>(bytes, bytes + ::SizeofResource(m_module, found));
    }

    DialogTemplate Dialog(UINT id) {
        DialogTemplate dialog;
        std::vector<BYTE> bytes = Resource(RT_DIALOG, id);
        EXPECT_FALSE(bytes.empty()) << "no dialog " << id;
        if (!bytes.empty()) {
            EXPECT_TRUE(ParseDialog(bytes.data(), bytes.size(), &dialog)) << "dialog " << id;
        }
        return dialog;
    }

    HMODULE m_module = nullptr;
};

const WORD kButtonAtom = 0x0080;
const WORD kStaticAtom = 0x0082;

TEST_F(ShellResourcesTest, MainDialogHasItsCaptionSizeStylesAndTwoHiddenButtons) {
    DialogTemplate dialog = Dialog(102);
    EXPECT_EQ(dialog.caption, L"Kavo直播伴侣");
    EXPECT_EQ(dialog.cx, 207);
    EXPECT_EQ(dialog.cy, 67);
    EXPECT_EQ(dialog.typeface, L"MS Shell Dlg");
    EXPECT_EQ(dialog.pointSize, 8);
    const DWORD styles = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_FIXEDSYS | DS_SETFONT;
    EXPECT_EQ(dialog.style, styles) << std::hex << dialog.style;
    EXPECT_EQ(dialog.exStyle, static_cast<DWORD>(WS_EX_APPWINDOW | WS_EX_CLIENTEDGE)) << std::hex << dialog.exStyle;

    struct Expected {
        DWORD id;
        const wchar_t* text;
        short x, y;
        DWORD kind;
    };
    const Expected buttons[] = {{1, L"开启", 53, 26, BS_DEFPUSHBUTTON}, {2, L"退出", 108, 26, BS_PUSHBUTTON}};
    ASSERT_EQ(dialog.items.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const DialogItem& item = dialog.items[i];
        const Expected& want = buttons[i];
        EXPECT_EQ(item.id, want.id);
        EXPECT_EQ(item.classAtom, kButtonAtom) << "item " << want.id;
        EXPECT_EQ(item.text, want.text) << "item " << want.id;
        EXPECT_EQ(item.x, want.x) << "item " << want.id;
        EXPECT_EQ(item.y, want.y) << "item " << want.id;
        EXPECT_EQ(item.cx, 50) << "item " << want.id;
        EXPECT_EQ(item.cy, 14) << "item " << want.id;
        EXPECT_EQ(item.style & 0x0F, want.kind) << "item " << want.id;
        EXPECT_FALSE(item.style & WS_VISIBLE) << "item " << want.id << " is created visible";
    }
}

TEST_F(ShellResourcesTest, AboutDialogHasItsTextAndOkButton) {
    DialogTemplate dialog = Dialog(100);
    EXPECT_EQ(dialog.caption, L"About QvDaemon");
    EXPECT_EQ(dialog.cx, 170);
    EXPECT_EQ(dialog.cy, 62);
    bool text = false, ok = false;
    for (const DialogItem& item : dialog.items) {
        if (item.classAtom == kStaticAtom && item.text == L"QvDaemon, Version 1.0") text = true;
        if (item.classAtom == kButtonAtom && item.id == IDOK && item.text == L"OK" &&
            (item.style & 0x0F) == BS_DEFPUSHBUTTON)
            ok = true;
    }
    EXPECT_TRUE(text) << "no static text \"QvDaemon, Version 1.0\"";
    EXPECT_TRUE(ok) << "no default button 1 \"OK\"";
}

TEST_F(ShellResourcesTest, SystemMenuStringIsTheAboutEntry) {
    wchar_t text[64] = {};
    ASSERT_GT(::LoadStringW(m_module, 101, text, ARRAYSIZE(text)), 0) << "no string 101";
    EXPECT_STREQ(text, L"&About QvDaemon...");
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST_F(ShellResourcesTest, IconHasFourSizesThatAllLoad) {
    std::vector<BYTE> group = Resource(RT_GROUP_ICON, 134);
    ASSERT_GE(group.size(), 6u) << "no icon group 134";
    WORD count = 0;
    std::memcpy(&count, group.data() + 4, sizeof(count));
    ASSERT_EQ(count, 4u);
    ASSERT_EQ(group.size(), 6u + count * sizeof(GroupIconEntry));
    const int sizes[] = {16, 32, 48, 256};
    for (WORD i = 0; i < count; ++i) {
        GroupIconEntry entry;
        std::memcpy(&entry, group.data() + 6 + i * sizeof(entry), sizeof(entry));
        int size = entry.width == 0 ? 256 : entry.width;
        EXPECT_EQ(size, sizes[i]) << "image " << i;
        EXPECT_EQ(entry.bitCount, 32) << "image " << i;
        std::vector<BYTE> image = Resource(RT_ICON, entry.id);
        EXPECT_EQ(image.size(), entry.bytes) << "image " << i;
        if (size == 256) {
            // Large images are PNG; the size sits in the header chunk.
            ASSERT_GE(image.size(), 24u);
            EXPECT_EQ(std::memcmp(image.data(), "\x89PNG\r\n\x1a\n", 8), 0) << "256 px image is not PNG";
            EXPECT_EQ(image[16] * 16777216u + image[17] * 65536u + image[18] * 256u + image[19], 256u);
            continue;
        }
        HICON icon = reinterpret_cast<HICON>(::LoadImageW(m_module, MAKEINTRESOURCEW(134), IMAGE_ICON, size, size, 0));
        ASSERT_NE(icon, nullptr) << size << " px";
        ICONINFO info = {};
        ASSERT_TRUE(::GetIconInfo(icon, &info));
        BITMAP bitmap = {};
        ::GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap);
        EXPECT_EQ(bitmap.bmWidth, size);
        EXPECT_EQ(bitmap.bmHeight, size);
        ::DeleteObject(info.hbmColor);
        ::DeleteObject(info.hbmMask);
        ::DestroyIcon(icon);
    }
}

}  // namespace
