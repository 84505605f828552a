// What DllRegisterServer and DllUnregisterServer ask of the filter mapper,
// call by call. The test process registers recording mappers as the class
// objects of CLSID_FilterMapper2 and CLSID_FilterMapper (visible to this
// process only), so the module's CoCreateInstance reaches them instead of
// the system's; their answers can be scripted. The COM server keys are
// written to the real registry and checked there.
#include <windows.h>
#include <dshow.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "camera/filter/camera_identity.h"
#include "tests/camera/module/camera_module.h"
#include "tests/camera/module/device_registry.h"

namespace {

const std::wstring kClassKey = L"CLSID\\" + GuidText(CLSID_VirtualCamera);
const std::wstring kServerKey = kClassKey + L"\\InprocServer32";
const HRESULT kNotRegistered = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

struct RecordedPin {
    std::wstring name;
    BOOL rendered = FALSE, output = FALSE, zero = FALSE, many = FALSE;
    CLSID connectsToFilter = GUID_NULL;
    bool connectsToFilterGiven = false;
    std::wstring connectsToPin;
    std::vector<std::pair<GUID, GUID>> types;
};

struct MapperCall {
    std::string method;
    CLSID filter = GUID_NULL;
    std::wstring name;
    bool categoryGiven = false;
    CLSID category = GUID_NULL;
    bool instanceGiven = false;
    std::wstring instance;
    bool monikerGiven = false;
    DWORD version = 0, merit = 0;
    std::vector<RecordedPin> pins;
    // IFilterMapper only
    std::wstring pinName;
    GUID major = GUID_NULL, minor = GUID_NULL;
};

// What the mappers record and answer; one per test.
struct MapperScript {
    std::vector<MapperCall> calls;
    std::function<HRESULT(const MapperCall&)> answer = [](const MapperCall&) { return S_OK; };
    HRESULT mapper2Creation = S_OK;
    int mapper2Created = 0;
    int mapper1Created = 0;

    HRESULT Record(MapperCall call) {
        calls.push_back(call);
        return answer(calls.back());
    }
};
MapperScript* g_script = nullptr;

std::wstring Text(LPCWSTR text) { return text ? std::wstring(text) : std::wstring(); }

template <typename Interface>
class RecordingUnknown : public Interface {
public:
    virtual ~RecordingUnknown() = default;
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, __uuidof(Interface))) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_references)); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG count = InterlockedDecrement(&m_references);
        if (count == 0) delete this;
        return static_cast<ULONG>(count);
    }

private:
    volatile LONG m_references = 1;
};

class RecordingMapper2 : public RecordingUnknown<IFilterMapper2> {
public:
    STDMETHODIMP CreateCategory(REFCLSID, DWORD, LPCWSTR) override { return E_NOTIMPL; }
    STDMETHODIMP UnregisterFilter(const CLSID* category, LPCOLESTR instance, REFCLSID filter) override {
        MapperCall call;
        call.method = "UnregisterFilter";
        Describe(call, filter, nullptr, category, instance);
        return g_script->Record(call);
    }
    STDMETHODIMP RegisterFilter(REFCLSID filter, LPCWSTR name, IMoniker** moniker, const CLSID* category,
                                LPCOLESTR instance, const REGFILTER2* data) override {
        MapperCall call;
        call.method = "RegisterFilter";
        Describe(call, filter, name, category, instance);
        call.monikerGiven = moniker != nullptr;
        if (data) {
            call.version = data->dwVersion;
            call.merit = data->dwMerit;
            for (ULONG i = 0; data->dwVersion == 1 && i < data->cPins; ++i) {
                const REGFILTERPINS& p = data->rgPins[i];
                RecordedPin pin;
                pin.name = Text(p.strName);
                pin.rendered = p.bRendered;
                pin.output = p.bOutput;
                pin.zero = p.bZero;
                pin.many = p.bMany;
                pin.connectsToFilterGiven = p.clsConnectsToFilter != nullptr;
                if (p.clsConnectsToFilter) pin.connectsToFilter = *p.clsConnectsToFilter;
                pin.connectsToPin = Text(p.strConnectsToPin);
                for (UINT t = 0; t < p.nMediaTypes; ++t)
                    pin.types.emplace_back(*p.lpMediaType[t].clsMajorType, *p.lpMediaType[t].clsMinorType);
                call.pins.push_back(pin);
            }
        }
        return g_script->Record(call);
    }
    STDMETHODIMP EnumMatchingFilters(IEnumMoniker**, DWORD, BOOL, DWORD, BOOL, DWORD, const GUID*, const REGPINMEDIUM*,
                                     const CLSID*, BOOL, BOOL, DWORD, const GUID*, const REGPINMEDIUM*,
                                     const CLSID*) override {
        return E_NOTIMPL;
    }

private:
    static void Describe(MapperCall& call, REFCLSID filter, LPCWSTR name, const CLSID* category, LPCOLESTR instance) {
        call.filter = filter;
        call.name = Text(name);
        call.categoryGiven = category != nullptr;
        if (category) call.category = *category;
        call.instanceGiven = instance != nullptr;
        call.instance = Text(instance);
    }
};

class RecordingMapper1 : public RecordingUnknown<IFilterMapper> {
public:
    STDMETHODIMP RegisterFilter(CLSID filter, LPCWSTR name, DWORD merit) override {
        MapperCall call;
        call.method = "v1.RegisterFilter";
        call.filter = filter;
        call.name = Text(name);
        call.merit = merit;
        return g_script->Record(call);
    }
    STDMETHODIMP RegisterFilterInstance(CLSID, LPCWSTR, CLSID*) override { return E_NOTIMPL; }
    STDMETHODIMP RegisterPin(CLSID filter, LPCWSTR name, BOOL rendered, BOOL output, BOOL zero, BOOL many,
                             CLSID connectsToFilter, LPCWSTR connectsToPin) override {
        MapperCall call;
        call.method = "v1.RegisterPin";
        call.filter = filter;
        RecordedPin pin;
        pin.name = Text(name);
        pin.rendered = rendered;
        pin.output = output;
        pin.zero = zero;
        pin.many = many;
        pin.connectsToFilter = connectsToFilter;
        pin.connectsToFilterGiven = true;
        pin.connectsToPin = Text(connectsToPin);
        call.pins.push_back(pin);
        return g_script->Record(call);
    }
    STDMETHODIMP RegisterPinType(CLSID filter, LPCWSTR name, CLSID major, CLSID minor) override {
        MapperCall call;
        call.method = "v1.RegisterPinType";
        call.filter = filter;
        call.pinName = Text(name);
        call.major = major;
        call.minor = minor;
        return g_script->Record(call);
    }
    STDMETHODIMP UnregisterFilter(CLSID filter) override {
        MapperCall call;
        call.method = "v1.UnregisterFilter";
        call.filter = filter;
        return g_script->Record(call);
    }
    STDMETHODIMP UnregisterFilterInstance(CLSID) override { return E_NOTIMPL; }
    STDMETHODIMP UnregisterPin(CLSID, LPCWSTR) override { return E_NOTIMPL; }
    STDMETHODIMP EnumMatchingFilters(IEnumRegFilters**, DWORD, BOOL, CLSID, CLSID, BOOL, BOOL, CLSID, CLSID) override {
        return E_NOTIMPL;
    }
};

// Class object of one recording mapper; lives on the test's stack.
template <typename Mapper, bool kFirstGeneration>
class MapperFactory : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        if (kFirstGeneration) {
            ++g_script->mapper1Created;
        } else {
            ++g_script->mapper2Created;
            if (FAILED(g_script->mapper2Creation)) return g_script->mapper2Creation;
        }
        Mapper* mapper = new Mapper;
        HRESULT hr = mapper->QueryInterface(iid, out);
        mapper->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

bool IsCategory(const MapperCall& call, REFCLSID category) {
    return call.categoryGiven && IsEqualCLSID(call.category, category);
}

class RegistrationCallsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
        g_script = &script_;
        ASSERT_EQ(::CoRegisterClassObject(CLSID_FilterMapper2, &factory2_, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                          &cookie2_),
                  S_OK);
        ASSERT_EQ(::CoRegisterClassObject(CLSID_FilterMapper, &factory1_, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                          &cookie1_),
                  S_OK);
        ASSERT_TRUE(module_);
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey.c_str());
    }
    void TearDown() override {
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey.c_str());
        if (cookie1_) ::CoRevokeClassObject(cookie1_);
        if (cookie2_) ::CoRevokeClassObject(cookie2_);
        g_script = nullptr;
        ::CoUninitialize();
    }

    void ExpectComServerKeys(bool present) {
        std::wstring value;
        EXPECT_EQ(ReadClassesRootString(kServerKey, nullptr, value), present);
        if (present) {
            EXPECT_EQ(ToUtf8(value), ToUtf8(CameraModulePath()));
        }
    }

    MapperScript script_;
    MapperFactory<RecordingMapper2, false> factory2_;
    MapperFactory<RecordingMapper1, true> factory1_;
    DWORD cookie2_ = 0, cookie1_ = 0;
    CameraModule module_;
};

void ExpectPin(const RecordedPin& pin, const wchar_t* name, BOOL output, const wchar_t* connectsToPin) {
    EXPECT_EQ(ToUtf8(pin.name), ToUtf8(name));
    EXPECT_FALSE(pin.rendered) << ToUtf8(name);
    EXPECT_EQ(pin.output, output) << ToUtf8(name);
    EXPECT_FALSE(pin.zero) << ToUtf8(name);
    EXPECT_FALSE(pin.many) << ToUtf8(name);
    EXPECT_TRUE(pin.connectsToFilterGiven && IsEqualCLSID(pin.connectsToFilter, CLSID_NULL)) << ToUtf8(name);
    EXPECT_EQ(ToUtf8(pin.connectsToPin), ToUtf8(connectsToPin));
}

void ExpectVideoOfAnySubtype(const std::vector<std::pair<GUID, GUID>>& types) {
    ASSERT_EQ(types.size(), 1u);
    EXPECT_TRUE(IsEqualGUID(types[0].first, MEDIATYPE_Video));
    EXPECT_TRUE(IsEqualGUID(types[0].second, MEDIASUBTYPE_NULL));
}

TEST_F(RegistrationCallsTest, RegisterServerWritesKeysThenTheDefaultCategoryThenTheDevice) {
    EXPECT_EQ(module_.RegisterServer(), S_OK);
    ExpectComServerKeys(true);
    ASSERT_EQ(script_.calls.size(), 3u);

    const MapperCall& clear = script_.calls[0];
    EXPECT_EQ(clear.method, "UnregisterFilter");
    EXPECT_FALSE(clear.categoryGiven);
    EXPECT_FALSE(clear.instanceGiven);
    EXPECT_TRUE(IsEqualCLSID(clear.filter, CLSID_VirtualCamera));

    const MapperCall& setup = script_.calls[1];
    EXPECT_EQ(setup.method, "RegisterFilter");
    EXPECT_TRUE(IsEqualCLSID(setup.filter, CLSID_VirtualCamera));
    EXPECT_EQ(ToUtf8(setup.name), ToUtf8(kCameraFriendlyName));
    EXPECT_FALSE(setup.monikerGiven);
    EXPECT_FALSE(setup.categoryGiven);
    EXPECT_FALSE(setup.instanceGiven);
    EXPECT_EQ(setup.version, 1u);
    EXPECT_EQ(setup.merit, static_cast<DWORD>(MERIT_DO_NOT_USE));
    ASSERT_EQ(setup.pins.size(), 1u);
    ExpectPin(setup.pins[0], L"Output", TRUE, L"Input");
    ExpectVideoOfAnySubtype(setup.pins[0].types);

    const MapperCall& device = script_.calls[2];
    EXPECT_EQ(device.method, "RegisterFilter");
    EXPECT_TRUE(IsEqualCLSID(device.filter, CLSID_VirtualCamera));
    EXPECT_EQ(ToUtf8(device.name), ToUtf8(kCameraFriendlyName));
    EXPECT_FALSE(device.monikerGiven);
    EXPECT_TRUE(IsCategory(device, CLSID_VideoInputDeviceCategory));
    EXPECT_TRUE(device.instanceGiven);
    EXPECT_EQ(ToUtf8(device.instance), ToUtf8(kCameraFriendlyName));
    EXPECT_EQ(device.version, 1u);
    EXPECT_EQ(device.merit, static_cast<DWORD>(MERIT_NORMAL));
    ASSERT_EQ(device.pins.size(), 2u);
    ExpectPin(device.pins[0], L"Output", TRUE, L"Input");
    ExpectPin(device.pins[1], L"Intput", FALSE, L"Output");
    ExpectVideoOfAnySubtype(device.pins[0].types);
    ExpectVideoOfAnySubtype(device.pins[1].types);
    EXPECT_EQ(script_.mapper2Created, 2) << "one mapper for the framework step, one for the device";
}

TEST_F(RegistrationCallsTest, NotRegisteredFromTheDefaultCategoryCountsAsSuccess) {
    script_.answer = [](const MapperCall& call) { return !call.categoryGiven ? kNotRegistered : S_OK; };
    EXPECT_EQ(module_.RegisterServer(), S_OK);
    ASSERT_EQ(script_.calls.size(), 3u);
    EXPECT_TRUE(IsCategory(script_.calls[2], CLSID_VideoInputDeviceCategory));
}

TEST_F(RegistrationCallsTest, FailedDeviceRegistrationIsReturnedAndEarlierStepsStay) {
    script_.answer = [](const MapperCall& call) {
        return IsCategory(call, CLSID_VideoInputDeviceCategory) ? E_ACCESSDENIED : S_OK;
    };
    EXPECT_EQ(module_.RegisterServer(), E_ACCESSDENIED);
    ExpectComServerKeys(true);
    // The default-category entry was made and nothing is undone afterwards.
    ASSERT_EQ(script_.calls.size(), 3u);
    EXPECT_EQ(script_.calls[1].method, "RegisterFilter");
    EXPECT_FALSE(script_.calls[1].categoryGiven);
}

TEST_F(RegistrationCallsTest, FailedDefaultCategoryRegistrationStopsBeforeTheDevice) {
    script_.answer = [](const MapperCall& call) {
        return call.method == "RegisterFilter" && !call.categoryGiven ? E_OUTOFMEMORY : S_OK;
    };
    EXPECT_EQ(module_.RegisterServer(), E_OUTOFMEMORY);
    ExpectComServerKeys(true);
    ASSERT_EQ(script_.calls.size(), 2u);
    EXPECT_EQ(script_.mapper2Created, 1);
}

TEST_F(RegistrationCallsTest, WithoutFilterMapper2TheOlderMapperTakesTheSetupRecord) {
    script_.mapper2Creation = REGDB_E_CLASSNOTREG;
    // The device step needs IFilterMapper2 and has no fallback.
    EXPECT_EQ(module_.RegisterServer(), REGDB_E_CLASSNOTREG);
    ExpectComServerKeys(true);
    EXPECT_EQ(script_.mapper1Created, 1);
    EXPECT_EQ(script_.mapper2Created, 2);
    ASSERT_EQ(script_.calls.size(), 4u);
    EXPECT_EQ(script_.calls[0].method, "v1.UnregisterFilter");
    EXPECT_EQ(script_.calls[1].method, "v1.RegisterFilter");
    EXPECT_EQ(ToUtf8(script_.calls[1].name), ToUtf8(kCameraFriendlyName));
    EXPECT_EQ(script_.calls[1].merit, static_cast<DWORD>(MERIT_DO_NOT_USE));
    EXPECT_EQ(script_.calls[2].method, "v1.RegisterPin");
    ASSERT_EQ(script_.calls[2].pins.size(), 1u);
    ExpectPin(script_.calls[2].pins[0], L"Output", TRUE, L"Input");
    EXPECT_EQ(script_.calls[3].method, "v1.RegisterPinType");
    EXPECT_EQ(ToUtf8(script_.calls[3].pinName), "Output");
    EXPECT_TRUE(IsEqualGUID(script_.calls[3].major, MEDIATYPE_Video));
    EXPECT_TRUE(IsEqualGUID(script_.calls[3].minor, MEDIASUBTYPE_NULL));
    for (const MapperCall& call : script_.calls) EXPECT_TRUE(IsEqualCLSID(call.filter, CLSID_VirtualCamera));
}

TEST_F(RegistrationCallsTest, UnregisterServerRemovesTheDefaultEntryThenKeysThenTheDevice) {
    ASSERT_EQ(module_.RegisterServer(), S_OK);
    script_.calls.clear();
    EXPECT_EQ(module_.UnregisterServer(), S_OK);
    ExpectComServerKeys(false);
    EXPECT_FALSE(ClassesRootKeyExists(kClassKey));
    ASSERT_EQ(script_.calls.size(), 2u);
    EXPECT_EQ(script_.calls[0].method, "UnregisterFilter");
    EXPECT_FALSE(script_.calls[0].categoryGiven);
    EXPECT_FALSE(script_.calls[0].instanceGiven);
    EXPECT_EQ(script_.calls[1].method, "UnregisterFilter");
    EXPECT_TRUE(IsCategory(script_.calls[1], CLSID_VideoInputDeviceCategory));
    EXPECT_EQ(ToUtf8(script_.calls[1].instance), ToUtf8(kCameraFriendlyName));
    EXPECT_TRUE(IsEqualCLSID(script_.calls[1].filter, CLSID_VirtualCamera));
}

// Every mapper call answering the same failure: "not registered" counts as
// success in the framework step only; any other failure stops there and
// keeps the keys.
TEST_F(RegistrationCallsTest, FailedUnregistrationCallsAnswerAsTheirStepAllows) {
    const struct {
        const char* what;
        HRESULT answer;
        bool keysKept;
        size_t calls;
    } cases[] = {
        {"not registered", kNotRegistered, false, 2},
        {"access denied", E_ACCESSDENIED, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        script_.answer = [](const MapperCall&) { return S_OK; };
        ASSERT_EQ(module_.RegisterServer(), S_OK);
        script_.calls.clear();
        const HRESULT answer = c.answer;
        script_.answer = [answer](const MapperCall&) { return answer; };
        EXPECT_EQ(module_.UnregisterServer(), c.answer);
        ExpectComServerKeys(c.keysKept);
        EXPECT_EQ(script_.calls.size(), c.calls);
    }
}

TEST_F(RegistrationCallsTest, DeviceStepWithoutAMapperReturnsTheCreationFailure) {
    ASSERT_EQ(module_.RegisterServer(), S_OK);
    script_.calls.clear();
    script_.mapper2Creation = E_OUTOFMEMORY;
    // The framework step goes to the older mapper; the device step has none.
    EXPECT_EQ(module_.UnregisterServer(), E_OUTOFMEMORY);
    ExpectComServerKeys(false);
    ASSERT_EQ(script_.calls.size(), 1u);
    EXPECT_EQ(script_.calls[0].method, "v1.UnregisterFilter");
}

}  // namespace
