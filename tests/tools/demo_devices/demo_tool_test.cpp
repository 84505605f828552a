// demo_devices.exe's command line and the registry keys it leaves: bad
// usage, unknown devices, and unregistration that removes every key it made.
#include "tests/tools/demo_devices/demo_device_graph.h"

#include <gtest/gtest.h>
#include <uuids.h>

#include "tools/demo_devices/common/demo_device_classes.h"

namespace {

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(guid, text, 40);
    return text;
}

bool KeyExists(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

// Device keys of the category that name the kind's class.
int DeviceKeysOf(DemoDeviceKind kind) {
    const std::wstring path = L"CLSID\\" + GuidText(DemoCategoryOf(kind)) + L"\\Instance";
    HKEY instances = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &instances) != ERROR_SUCCESS) return 0;
    int count = 0;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (::RegEnumKeyExW(instances, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        wchar_t clsid[64] = {};
        DWORD size = sizeof clsid - sizeof(wchar_t);
        if (::RegGetValueW(instances, name, L"CLSID", RRF_RT_REG_SZ, nullptr, clsid, &size) == ERROR_SUCCESS &&
            _wcsicmp(clsid, GuidText(DemoClassOf(kind)).c_str()) == 0)
            ++count;
    }
    ::RegCloseKey(instances);
    return count;
}

bool ServerKeyExists(DemoDeviceKind kind) {
    return KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID\\" + GuidText(DemoClassOf(kind)));
}

TEST(DemoToolTest, BadUsageGetsOneLineUsageTextAndExitCode2) {
    const std::vector<std::vector<std::wstring>> cases = {
        {},
        {L"register"},
        {L"list", L"--microphone", L"x"},
        {L"register", L"--microphone"},
        {L"register", L"--microphone", L""},
        {L"register", L"--microphone", L"x", L"--webcam", L"y"},
        {L"register", L"--microphone", L"x", L"--tone", L"loud"},
        {L"register", L"--microphone", L"x", L"--tone", L"5"},
        {L"register", L"--microphone", L"x", L"--tone", L"440", L"--tone", L"880"},
        {L"register", L"--microphone", L"x", L"--picture", L"card.bmp"},
        {L"register", L"--microphone", L"x", L"--volume", L"3"},
        {L"unregister", L"--microphone", L"x", L"--tone", L"440"},
    };
    for (const auto& arguments : cases) {
        std::wstring line;
        for (const auto& a : arguments) line += L" [" + a + L"]";
        SCOPED_TRACE(ToUtf8(line));
        const ProgramResult result = RunDemoTool(arguments);
        EXPECT_EQ(2u, result.exitCode);
        EXPECT_EQ(0u, result.output.find("demo_devices: ")) << result.output;
        EXPECT_NE(std::string::npos, result.output.find("\nusage: demo_devices register")) << result.output;
    }
}

TEST(DemoToolTest, UnregisteringAnUnknownDeviceFailsWithExitCode3) {
    const ProgramResult result = RunDemoTool({L"unregister", L"--microphone", L"没有这个 No such mic"});
    EXPECT_EQ(3u, result.exitCode);
    EXPECT_EQ("demo_devices: cannot unregister demo microphone \"没有这个 No such mic\": no such device is registered\r\n",
              result.output);
}

TEST(DemoToolTest, UnregisterRemovesEveryKeyItMade) {
    ComScope com;
    const DemoDeviceKind kind = DemoDeviceKind::Microphone;
    const int before = DeviceKeysOf(kind);
    ASSERT_FALSE(ServerKeyExists(kind)) << "a demo device of an earlier run is still registered";
    for (const wchar_t* name : {L"钥匙 Keys A", L"钥匙 Keys B"})
        ASSERT_EQ(0u, RunDemoTool({L"register", L"--microphone", name}).exitCode);
    EXPECT_EQ(before + 2, DeviceKeysOf(kind));
    EXPECT_TRUE(ServerKeyExists(kind));

    ASSERT_EQ(0u, RunDemoTool({L"unregister", L"--microphone", L"钥匙 Keys A"}).exitCode);
    EXPECT_EQ(before + 1, DeviceKeysOf(kind));
    EXPECT_TRUE(ServerKeyExists(kind)) << "the class went while a device of it was left";
    EXPECT_FALSE(HasDevice(CLSID_AudioInputDeviceCategory, L"钥匙 Keys A"));
    EXPECT_TRUE(HasDevice(CLSID_AudioInputDeviceCategory, L"钥匙 Keys B"));

    ASSERT_EQ(0u, RunDemoTool({L"unregister", L"--microphone", L"钥匙 Keys B"}).exitCode);
    EXPECT_EQ(before, DeviceKeysOf(kind));
    EXPECT_FALSE(ServerKeyExists(kind));
    EXPECT_FALSE(HasDevice(CLSID_AudioInputDeviceCategory, L"钥匙 Keys B"));
}

}  // namespace
