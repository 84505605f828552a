// test_frame_producer: a test-only producer process for the camera. It loads
// QvCamera.dll, creates the camera filter, takes its TranslateData_buf and
// writes frames into the shared frame record, as a real producer would.
//
//   test_frame_producer.exe [options]
//
//   --module PATH        module to load (default: QvCamera.dll beside this
//                        program); the filter comes from its DllGetClassObject
//   --cocreate           create the filter with CoCreateInstance instead (the
//                        module must be registered; --module is then unused)
//   --pattern P          what each frame holds (default fill:128):
//                          fill:V[,V...]   every byte V (0-255); with several
//                                          values, frame k uses value k mod n
//                          bgr:B,G,R       every pixel blue B, green G, red R
//                          ramp            byte i is (i + i / 1920) mod 251
//   --length N           bytes per write, passed as is (default 921600); the
//                        buffer is max(N, 0) bytes of the pattern
//   --null-data          pass a null data pointer
//   --count N            number of writes (default 1); 0: until --duration-ms
//   --duration-ms N      with --count 0: write for this long
//   --interval-ms N      sleep between writes (default 0: full speed)
//   --start-event NAME   before writing, wait (at most 10 s) for this named
//                        manual-reset event, so that several producers start
//                        together
//   --hold-ms N          keep the filter (and so the record) alive this long
//                        after the last write
//   --named-nv12 WxH     write the NV12 test picture of that size
//                        (tests/camera/nv12_test_picture.h) straight into
//                        the session's named frame exchange instead, as a
//                        producer that does not load the camera does
//
// Output: one line "writes=<n> failed=<n> last=0x<hr>", then exit code 0 when
// every write returned S_OK, 2 when one failed, 1 for bad arguments or when
// the filter could not be had (a line "error: ..." says why).
#include <windows.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "camera/filter/frame_exchange.h"
#include "camera/filter/camera_identity.h"
#include "common/named_frame_exchange.h"
#include "tests/camera/nv12_test_picture.h"

using Microsoft::WRL::ComPtr;

namespace {

struct Options {
    std::wstring module;
    bool cocreate = false;
    std::wstring pattern = L"fill:128";
    long long length = 921600;
    bool nullData = false;
    long long count = 1;
    DWORD durationMs = 0;
    DWORD intervalMs = 0;
    std::wstring startEvent;
    DWORD holdMs = 0;
    int namedWidth = 0;  // non-zero: --named-nv12
    int namedHeight = 0;
};

int Fail(const char* what, HRESULT hr = S_OK) {
    std::printf("error: %s (0x%08lX)\n", what, static_cast<unsigned long>(hr));
    std::fflush(stdout);
    return 1;
}

bool ParseNumber(const wchar_t* text, long long& value) {
    wchar_t* end = nullptr;
    value = std::wcstoll(text, &end, 10);
    return end != text && *end == L'\0';
}

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        auto next = [&](const wchar_t*& value) {
            if (i + 1 >= argc) return false;
            value = argv[++i];
            return true;
        };
        const wchar_t* value = nullptr;
        long long number = 0;
        if (arg == L"--cocreate") {
            options.cocreate = true;
        } else if (arg == L"--null-data") {
            options.nullData = true;
        } else if (arg == L"--module" && next(value)) {
            options.module = value;
        } else if (arg == L"--pattern" && next(value)) {
            options.pattern = value;
        } else if (arg == L"--start-event" && next(value)) {
            options.startEvent = value;
        } else if (arg == L"--length" && next(value) && ParseNumber(value, number)) {
            options.length = number;
        } else if (arg == L"--count" && next(value) && ParseNumber(value, number) && number >= 0) {
            options.count = number;
        } else if (arg == L"--duration-ms" && next(value) && ParseNumber(value, number) && number >= 0) {
            options.durationMs = static_cast<DWORD>(number);
        } else if (arg == L"--interval-ms" && next(value) && ParseNumber(value, number) && number >= 0) {
            options.intervalMs = static_cast<DWORD>(number);
        } else if (arg == L"--named-nv12" && next(value) &&
                   std::swscanf(value, L"%dx%d", &options.namedWidth, &options.namedHeight) == 2 &&
                   NamedFrameBytes(options.namedWidth, options.namedHeight, NamedFrameFormat::NV12,
                                   options.namedWidth) != 0) {
        } else if (arg == L"--hold-ms" && next(value) && ParseNumber(value, number) && number >= 0) {
            options.holdMs = static_cast<DWORD>(number);
        } else {
            std::printf("error: bad argument %ls\n", arg.c_str());
            return false;
        }
    }
    return options.length >= INT32_MIN && options.length <= INT32_MAX;
}

bool ParseValues(const std::wstring& list, std::vector<BYTE>& values) {
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(L',', start);
        std::wstring item = list.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
        long long value = 0;
        if (!ParseNumber(item.c_str(), value) || value < 0 || value > 255) return false;
        values.push_back(static_cast<BYTE>(value));
        if (comma == std::wstring::npos) break;
        start = comma + 1;
    }
    return !values.empty();
}

// The frames to write in turn (one, except for fill with several values).
bool BuildFrames(const Options& options, std::vector<std::vector<BYTE>>& frames) {
    size_t size = options.length > 0 ? static_cast<size_t>(options.length) : 0;
    const std::wstring& p = options.pattern;
    std::vector<BYTE> values;
    if (p.rfind(L"fill:", 0) == 0 && ParseValues(p.substr(5), values)) {
        for (BYTE v : values) frames.emplace_back(size, v);
        return true;
    }
    if (p.rfind(L"bgr:", 0) == 0 && ParseValues(p.substr(4), values) && values.size() == 3) {
        std::vector<BYTE> frame(size);
        for (size_t i = 0; i < size; ++i) frame[i] = values[i % 3];
        frames.push_back(std::move(frame));
        return true;
    }
    if (p == L"ramp") {
        std::vector<BYTE> frame(size);
        for (size_t i = 0; i < size; ++i) frame[i] = static_cast<BYTE>((i + i / 1920) % 251);
        frames.push_back(std::move(frame));
        return true;
    }
    std::printf("error: bad pattern %ls\n", p.c_str());
    return false;
}

std::wstring DefaultModulePath() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1) + L"QvCamera.dll";
}

HRESULT CreateFromModule(const std::wstring& modulePath, ComPtr<IUnknown>& filter) {
    HMODULE module = ::LoadLibraryW(modulePath.c_str());  // stays loaded to the end
    if (!module) return HRESULT_FROM_WIN32(::GetLastError());
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto getClassObject =
        reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(::GetProcAddress(module, "DllGetClassObject")));
    if (!getClassObject) return HRESULT_FROM_WIN32(::GetLastError());
    ComPtr<IClassFactory> factory;
    HRESULT hr = getClassObject(CLSID_VirtualCamera, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf()));
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(filter.GetAddressOf()));
}

int Produce(const Options& options) {
    std::vector<std::vector<BYTE>> frames;
    CNamedFrameExchange named;
    if (options.namedWidth != 0) {
        frames.push_back(Nv12TestPicture(options.namedWidth, options.namedHeight));
        const HRESULT hr = named.Open();
        if (FAILED(hr)) return Fail("cannot open the named frame exchange", hr);
    } else if (!BuildFrames(options, frames)) {
        return 1;
    }

    ComPtr<IUnknown> filter;
    HRESULT hr = options.namedWidth != 0 ? S_OK : options.cocreate ? ::CoCreateInstance(CLSID_VirtualCamera, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                                       reinterpret_cast<void**>(filter.GetAddressOf()))
                                  : CreateFromModule(options.module.empty() ? DefaultModulePath() : options.module, filter);
    if (FAILED(hr)) return Fail("cannot create the camera filter", hr);
    ComPtr<TranslateData_buf> sink;
    if (filter) hr = filter->QueryInterface(IID_TranslateData_buf, reinterpret_cast<void**>(sink.GetAddressOf()));
    if (FAILED(hr)) return Fail("no TranslateData_buf", hr);

    if (!options.startEvent.empty()) {
        HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, options.startEvent.c_str());
        if (!event) return Fail("cannot open the start event", HRESULT_FROM_WIN32(::GetLastError()));
        DWORD waited = ::WaitForSingleObject(event, 10000);
        ::CloseHandle(event);
        if (waited != WAIT_OBJECT_0) return Fail("start event not set within 10 s");
    }

    long long writes = 0, failed = 0;
    HRESULT last = S_OK;
    DWORD started = ::GetTickCount();
    for (;;) {
        if (options.count > 0 ? writes >= options.count : ::GetTickCount() - started >= options.durationMs) break;
        const std::vector<BYTE>& frame = frames[static_cast<size_t>(writes % static_cast<long long>(frames.size()))];
        last = options.namedWidth != 0
                   ? named.WriteFrame(options.namedWidth, options.namedHeight, NamedFrameFormat::NV12,
                                      options.namedWidth, 30, frame.data())
                   : sink->WriteFrame(options.nullData ? nullptr : frame.data(), static_cast<LONG>(options.length));
        ++writes;
        if (last != S_OK) ++failed;
        if (options.intervalMs > 0) ::Sleep(options.intervalMs);
    }
    std::printf("writes=%lld failed=%lld last=0x%08lX\n", writes, failed, static_cast<unsigned long>(last));
    std::fflush(stdout);
    if (options.holdMs > 0) ::Sleep(options.holdMs);
    return failed == 0 ? 0 : 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) return Fail("usage: see the comment at the top of test_frame_producer.cpp");
    HRESULT hr = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(hr)) return Fail("CoInitializeEx", hr);
    int result = Produce(options);
    ::CoUninitialize();
    return result;
}
