// The module's class object and unload rule, called through its exports as
// COM calls them: DllGetClassObject, IClassFactory, DllCanUnloadNow.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include "camera/filter/frame_exchange.h"
#include "camera/filter/camera_identity.h"
#include "tests/camera/module/camera_module.h"

using Microsoft::WRL::ComPtr;

namespace {

// {0E9B7A52-6C1D-4F83-9A2E-7B4C5D6E8F10}: a class the module does not serve.
constexpr CLSID kOtherClsid = {0x0E9B7A52, 0x6C1D, 0x4F83, {0x9A, 0x2E, 0x7B, 0x4C, 0x5D, 0x6E, 0x8F, 0x10}};

void* const kUntouched = reinterpret_cast<void*>(static_cast<uintptr_t>(0x5A5A5A5A));

class ClassFactoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module_) << "LoadLibrary failed: " << ::GetLastError();
        ASSERT_EQ(module_.CanUnloadNow(), S_OK) << "objects left over from an earlier test";
    }
    void TearDown() override { EXPECT_EQ(module_.CanUnloadNow(), S_OK) << "a test leaked an object or a lock"; }

    ComPtr<IClassFactory> Factory() {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(module_.GetClassObject(CLSID_VirtualCamera, IID_IClassFactory,
                                         reinterpret_cast<void**>(factory.GetAddressOf())),
                  S_OK);
        return factory;
    }

    CameraModule module_;
};

TEST_F(ClassFactoryTest, GetClassObjectAnswersByInterfaceFirstThenClass) {
    struct Case {
        const char* what;
        const CLSID* clsid;
        const IID* iid;
        HRESULT expected;
    } cases[] = {
        {"camera, IClassFactory", &CLSID_VirtualCamera, &IID_IClassFactory, S_OK},
        {"camera, IUnknown", &CLSID_VirtualCamera, &IID_IUnknown, S_OK},
        {"camera, IBaseFilter", &CLSID_VirtualCamera, &IID_IBaseFilter, E_NOINTERFACE},
        {"camera, TranslateData_buf", &CLSID_VirtualCamera, &IID_TranslateData_buf, E_NOINTERFACE},
        {"other class, IClassFactory", &kOtherClsid, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
        {"other class, IUnknown", &kOtherClsid, &IID_IUnknown, CLASS_E_CLASSNOTAVAILABLE},
        // The interface is tested before the class.
        {"other class, IBaseFilter", &kOtherClsid, &IID_IBaseFilter, E_NOINTERFACE},
    };
    for (const Case& c : cases) {
        void* out = kUntouched;
        HRESULT hr = module_.GetClassObject(*c.clsid, *c.iid, &out);
        EXPECT_EQ(hr, c.expected) << c.what;
        if (SUCCEEDED(hr)) {
            ASSERT_NE(out, nullptr) << c.what;
            EXPECT_EQ(static_cast<IUnknown*>(out)->Release(), 0u) << c.what << ": the factory came with one reference";
        } else {
            EXPECT_EQ(out, kUntouched) << c.what << ": the out pointer is left alone on failure";
        }
    }
}

TEST_F(ClassFactoryTest, FactoryCountsItsReferencesAndAnswersItsTwoInterfaces) {
    IClassFactory* factory = nullptr;
    ASSERT_EQ(module_.GetClassObject(CLSID_VirtualCamera, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(factory->AddRef(), 2u);

    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    void* out = kUntouched;
    EXPECT_EQ(factory->QueryInterface(IID_IBaseFilter, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr) << "a refused query clears the out pointer";
    IUnknown* unknown = nullptr;
    ASSERT_EQ(factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(factory));
    IClassFactory* again = nullptr;
    ASSERT_EQ(factory->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(again, factory);

    EXPECT_EQ(unknown->Release(), 3u);
    EXPECT_EQ(again->Release(), 2u);
    EXPECT_EQ(factory->Release(), 1u);
    EXPECT_EQ(module_.CanUnloadNow(), S_FALSE) << "a live factory keeps the module";
    EXPECT_EQ(factory->Release(), 0u);
}

TEST_F(ClassFactoryTest, EachCallMakesANewFactory) {
    ComPtr<IClassFactory> first = Factory();
    ComPtr<IClassFactory> second = Factory();
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.Get(), second.Get());
}

TEST_F(ClassFactoryTest, CreateInstanceWithoutOuterUnknown) {
    ComPtr<IClassFactory> factory = Factory();
    ASSERT_TRUE(factory);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, nullptr), E_POINTER);

    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf())), S_OK);
    CLSID clsid = {};
    EXPECT_EQ(filter->GetClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_VirtualCamera));

    // The non-delegating unknown has no way to the pin's interfaces.
    void* out = kUntouched;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IAMStreamConfig, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IKsPropertySet, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

// An outer object aggregating the camera, counting what reaches it.
class Outer : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        ++queries;
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        if (inner) return inner->QueryInterface(iid, out);
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++references); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--references); }

    long references = 1;
    int queries = 0;
    IUnknown* inner = nullptr;  // the camera's non-delegating unknown
};

TEST_F(ClassFactoryTest, CreateInstanceWithOuterUnknown) {
    ComPtr<IClassFactory> factory = Factory();
    ASSERT_TRUE(factory);
    Outer outer;

    void* out = kUntouched;
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IBaseFilter, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(outer.references, 1) << "a refused aggregation must not touch the outer object";

    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
    ASSERT_NE(outer.inner, nullptr);
    EXPECT_NE(static_cast<void*>(outer.inner), static_cast<void*>(&outer));
    EXPECT_EQ(outer.references, 1) << "the inner unknown counts its own references";

    // Interfaces handed out by the inner object belong to the outer one.
    IBaseFilter* filter = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&filter)), S_OK);
    EXPECT_EQ(outer.references, 2);
    filter->AddRef();
    EXPECT_EQ(outer.references, 3);
    filter->Release();
    EXPECT_EQ(outer.references, 2);

    int queriesBefore = outer.queries;
    IUnknown* identity = nullptr;
    ASSERT_EQ(filter->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer)) << "identity is the outer object's";
    EXPECT_EQ(outer.queries, queriesBefore + 1);
    identity->Release();

    TranslateData_buf* sink = nullptr;
    ASSERT_EQ(filter->QueryInterface(IID_TranslateData_buf, reinterpret_cast<void**>(&sink)), S_OK);
    EXPECT_EQ(outer.references, 3);
    sink->Release();

    filter->Release();
    EXPECT_EQ(outer.references, 1);
    EXPECT_EQ(module_.CanUnloadNow(), S_FALSE);
    EXPECT_EQ(outer.inner->Release(), 0u);
    outer.inner = nullptr;
}

TEST_F(ClassFactoryTest, CanUnloadNowFollowsLiveObjectsAndServerLocks) {
    ComPtr<IClassFactory> factory = Factory();
    ASSERT_TRUE(factory);
    EXPECT_EQ(module_.CanUnloadNow(), S_FALSE) << "factory alive";

    ComPtr<IUnknown> filter;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(filter.GetAddressOf())), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(module_.CanUnloadNow(), S_FALSE) << "filter alive, server locked";
    filter.Reset();
    EXPECT_EQ(module_.CanUnloadNow(), S_FALSE) << "server still locked";

    factory = Factory();
    ASSERT_TRUE(factory);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory.Reset();
    EXPECT_EQ(module_.CanUnloadNow(), S_FALSE) << "one lock left";

    factory = Factory();
    ASSERT_TRUE(factory);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory.Reset();
    EXPECT_EQ(module_.CanUnloadNow(), S_OK);
}

}  // namespace
