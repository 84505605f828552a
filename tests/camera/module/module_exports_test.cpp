// What the module file itself carries: its export table, the placeholder
// exports, its version block and its manifest.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/camera/module/camera_module.h"
#include "tests/camera/module/pe_file.h"

namespace {

TEST(ModuleExports, ExportTableHoldsExactlyTheModulesEntryPoints) {
    PeFile pe = ReadPeFile(CameraModulePath());
    ASSERT_TRUE(pe.valid) << "cannot parse " << ToUtf8(CameraModulePath());
    std::vector<std::string> names = pe.exportNames;
    std::sort(names.begin(), names.end());
    // The members of CZrCamera under the platform C++ compiler's names for
    // this (64-bit) target; everything else undecorated.
    std::vector<std::string> expected = {
        "??0CZrCamera@@QEAA@XZ",
        "??4CZrCamera@@QEAAAEAV0@AEBV0@@Z",
        "DllCanUnloadNow",
        "DllGetClassObject",
        "DllMain",
        "DllRegisterServer",
        "DllUnregisterServer",
        "fnZrCamera",
        "nZrCamera",
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
}

TEST(ModuleExports, PlaceholdersAnswerAsDocumented) {
    CameraModule module;
    ASSERT_TRUE(module) << "LoadLibrary failed: " << ::GetLastError();

    using IntFn = int (*)();
    auto fn = module.Export<IntFn>("fnZrCamera");
    ASSERT_NE(fn, nullptr);
    EXPECT_EQ(fn(), 42);

    auto* n = module.Export<int*>("nZrCamera");
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(*n, 0);

    // On x64 a member function takes `this` as its first argument, so the
    // two members can be called like free functions.
    using Constructor = void* (*)(void* self);
    using Assignment = void* (*)(void* self, const void* other);
    auto construct = module.Export<Constructor>("??0CZrCamera@@QEAA@XZ");
    auto assign = module.Export<Assignment>("??4CZrCamera@@QEAAAEAV0@AEBV0@@Z");
    ASSERT_NE(construct, nullptr);
    ASSERT_NE(assign, nullptr);
    unsigned char object[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    unsigned char other[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    EXPECT_EQ(construct(object), object);
    EXPECT_EQ(assign(object, other), object);
    const unsigned char untouched[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_TRUE(std::equal(object, object + 8, untouched)) << "the placeholders must not write the object";
}

std::wstring VersionString(const std::vector<BYTE>& block, const wchar_t* name) {
    std::wstring path = std::wstring(L"\\StringFileInfo\\080404b0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), path.c_str(), &value, &length) || !value) return L"<missing>";
    return std::wstring(static_cast<const wchar_t*>(value));
}

TEST(ModuleResources, VersionBlockNamesTheModule) {
    DWORD handle = 0;
    DWORD size = ::GetFileVersionInfoSizeW(CameraModulePath().c_str(), &handle);
    ASSERT_GT(size, 0u) << "no version block, error " << ::GetLastError();
    std::vector<BYTE> block(size);
    ASSERT_TRUE(::GetFileVersionInfoW(CameraModulePath().c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedLength = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedLength));
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00030000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000002u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00030000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000002u);

    struct Translation {
        WORD language;
        WORD codePage;
    }* translation = nullptr;
    UINT translationLength = 0;
    ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                                 &translationLength));
    ASSERT_EQ(translationLength, sizeof(Translation));
    EXPECT_EQ(translation->language, 0x0804);
    EXPECT_EQ(translation->codePage, 1200);

    struct Expected {
        const wchar_t* name;
        const wchar_t* value;
    } table[] = {
        {L"FileDescription", L"ZrCamera 动态链接库"},
        {L"ProductName", L"ZrCamera 动态链接库"},
        {L"FileVersion", L"3, 0, 0, 2"},
        {L"ProductVersion", L"3, 0, 0, 2"},
        {L"InternalName", L"ZrCamera"},
        {L"OriginalFilename", L"ZrCamera.dll"},
    };
    for (const Expected& e : table)
        EXPECT_EQ(ToUtf8(VersionString(block, e.name)), ToUtf8(e.value)) << ToUtf8(e.name);
}

TEST(ModuleResources, ManifestAsksToRunAsInvokerWithoutUiAccess) {
    HMODULE module = ::LoadLibraryExW(CameraModulePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    // Resource 2 is the manifest the loader applies to a DLL.
    HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(24));
    ASSERT_NE(resource, nullptr) << "no RT_MANIFEST resource 2";
    HGLOBAL loaded = ::LoadResource(module, resource);
    ASSERT_NE(loaded, nullptr);
    std::string manifest(static_cast<const char*>(::LockResource(loaded)), ::SizeofResource(module, resource));
    ::FreeLibrary(module);
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\">"), std::string::npos)
        << manifest;
    EXPECT_NE(manifest.find("urn:schemas-microsoft-com:asm.v3"), std::string::npos) << manifest;
}

}  // namespace
