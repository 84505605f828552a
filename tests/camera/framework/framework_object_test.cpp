// The framework's COM objects through their interfaces: identity and
// aggregation, the class factory and what keeps a module loaded, the pin
// and media-type enumerators, and the pin's side of the IPin protocol.
#include <gtest/gtest.h>

#include <cstring>


#include "tests/camera/framework/grabber_graph.h"

using Microsoft::WRL::ComPtr;

namespace {

class FrameworkObjects : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        ASSERT_EQ(LiveObjectCount(), 0);
    }
    void TearDown() override {
        CoUninitialize();
        EXPECT_EQ(LiveObjectCount(), 0) << "a framework object was not destroyed";
        EXPECT_EQ(FrameworkCanUnloadNow(), S_OK);
    }
};

// An outer object that aggregates a framework object and counts what its
// inner object forwards to it.
class CountingOuter : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        ++queries;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++references); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--references); }

    LONG references = 1;
    int queries = 0;
    IUnknown* inner = nullptr;  // the inner object's non-delegating unknown
};

class RecordingQualitySink : public IQualityControl {
public:
    STDMETHODIMP QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP Notify(IBaseFilter* sender, Quality quality) override {
        lastSender = sender;
        lastQuality = quality;
        ++calls;
        return S_FALSE;
    }
    STDMETHODIMP SetSink(IQualityControl*) override { return E_NOTIMPL; }

    IBaseFilter* lastSender = nullptr;
    Quality lastQuality = {};
    int calls = 0;
};

ComPtr<IClassFactory> GetFactory(REFCLSID clsid) {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(FrameworkGetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf())),
              S_OK);
    return factory;
}

ComPtr<IBaseFilter> NewSource(CFrameworkTestSource** filter) {
    *filter = CFrameworkTestSource::Create(nullptr);
    ComPtr<IBaseFilter> base;
    if (*filter) (*filter)->NonDelegatingQueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(base.GetAddressOf()));
    return base;
}

TEST_F(FrameworkObjects, GetClassObjectTestsTheInterfaceBeforeTheClass) {
    const CLSID unknown = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
    void* sentinel = reinterpret_cast<void*>(0x1234);
    void* out = sentinel;
    EXPECT_EQ(FrameworkGetClassObject(unknown, IID_IBaseFilter, &out), E_NOINTERFACE);
    EXPECT_EQ(FrameworkGetClassObject(CLSID_FrameworkTestSource, IID_IBaseFilter, &out), E_NOINTERFACE);
    EXPECT_EQ(FrameworkGetClassObject(unknown, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, sentinel) << "a failed call must leave the out pointer alone";

    IUnknown* asUnknown = nullptr;
    ASSERT_EQ(FrameworkGetClassObject(CLSID_FrameworkTestSource, IID_IUnknown, reinterpret_cast<void**>(&asUnknown)),
              S_OK);
    EXPECT_EQ(LiveObjectCount(), 1) << "the factory counts as a live object";
    EXPECT_EQ(FrameworkCanUnloadNow(), S_FALSE);
    EXPECT_EQ(asUnknown->AddRef(), 2u);
    EXPECT_EQ(asUnknown->Release(), 1u);
    EXPECT_EQ(asUnknown->Release(), 0u);
}

TEST_F(FrameworkObjects, ClassFactoryAnswersAsTheContractSays) {
    ComPtr<IClassFactory> factory = GetFactory(CLSID_FrameworkTestSource);
    ASSERT_TRUE(factory);
    EXPECT_EQ(factory->QueryInterface(IID_IClassFactory, nullptr), E_POINTER);
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(factory->QueryInterface(IID_IBaseFilter, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    ComPtr<IUnknown> same;
    ASSERT_EQ(factory.As(&same), S_OK);
    EXPECT_EQ(same.Get(), static_cast<IUnknown*>(factory.Get()));
    same.Reset();

    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, nullptr), E_POINTER);
    ComPtr<IPin> notThere;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPin, reinterpret_cast<void**>(notThere.GetAddressOf())),
              E_NOINTERFACE);
    EXPECT_EQ(LiveObjectCount(), 1) << "the refused object was not destroyed";

    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf())),
              S_OK);
    CLSID clsid = {};
    ASSERT_EQ(filter->GetClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_FrameworkTestSource));
    // Filter and pin count themselves besides the factory.
    EXPECT_EQ(LiveObjectCount(), 3);
    EXPECT_EQ(filter.Reset(), 0u);
    EXPECT_EQ(LiveObjectCount(), 1);

    // Server locks keep the module loaded without any object.
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(LiveObjectCount(), 0);
    EXPECT_EQ(FrameworkCanUnloadNow(), S_FALSE);
    ComPtr<IClassFactory> again = GetFactory(CLSID_FrameworkTestSource);
    ASSERT_EQ(again->LockServer(FALSE), S_OK);
    again.Reset();
    EXPECT_EQ(FrameworkCanUnloadNow(), S_OK);
}

TEST_F(FrameworkObjects, CreateInstanceReportsFailuresOfTheCreateFunction) {
    ComPtr<IBaseFilter> filter;
    ComPtr<IClassFactory> failing = GetFactory(CLSID_FrameworkFailingSource);
    EXPECT_EQ(failing->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf())),
              kFailingSourceResult);
    EXPECT_EQ(filter.Get(), nullptr);
    EXPECT_EQ(LiveObjectCount(), 1) << "the object of a failed creation must be destroyed";
    ComPtr<IClassFactory> missing = GetFactory(CLSID_FrameworkMissingSource);
    EXPECT_EQ(missing->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter.GetAddressOf())),
              E_OUTOFMEMORY);
}

TEST_F(FrameworkObjects, AggregatedFilterForwardsToItsOuterUnknown) {
    ComPtr<IClassFactory> factory = GetFactory(CLSID_FrameworkTestSource);
    CountingOuter outer;
    void* out = nullptr;
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IBaseFilter, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
    EXPECT_EQ(outer.references, 1) << "the inner object must not count its owner";

    // The inner unknown answers for the object itself...
    IBaseFilter* filter = nullptr;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&filter)), S_OK);
    EXPECT_EQ(outer.references, 2) << "the reference went to the inner object, not to the owner";

    // ...while every interface of it goes to the owner.
    IUnknown* identity = nullptr;
    int queries = outer.queries;
    ASSERT_EQ(filter->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    EXPECT_EQ(outer.queries, queries + 1);
    identity->Release();
    IPersist* persist = nullptr;
    ASSERT_EQ(filter->QueryInterface(IID_IPersist, reinterpret_cast<void**>(&persist)), S_OK);
    EXPECT_EQ(outer.queries, queries + 2);
    EXPECT_EQ(outer.references, 3);
    persist->Release();
    EXPECT_EQ(outer.references, 2);

    // The pin's references are the filter's, so they reach the owner too.
    ComPtr<IPin> pin;
    ASSERT_EQ(filter->FindPin(L"Out", &pin), S_OK);
    EXPECT_EQ(outer.references, 3);
    pin.Reset();
    EXPECT_EQ(outer.references, 2);

    filter->Release();
    EXPECT_EQ(outer.references, 1);
    EXPECT_EQ(outer.inner->Release(), 0u);
    outer.inner = nullptr;
    factory.Reset();
}

TEST_F(FrameworkObjects, PinLivesAsLongAsItsFilterAndTheFilterAsItsPin) {
    CFrameworkTestSource* raw = nullptr;
    ComPtr<IBaseFilter> filter = NewSource(&raw);
    ASSERT_TRUE(filter);
    ComPtr<IPin> pin;
    ASSERT_EQ(filter->FindPin(L"Out", &pin), S_OK);
    filter.Reset();
    EXPECT_EQ(LiveObjectCount(), 2) << "the pin's reference must keep the filter";
    PIN_INFO info = {};
    ASSERT_EQ(pin->QueryPinInfo(&info), S_OK);
    EXPECT_EQ(info.pFilter, static_cast<IBaseFilter*>(raw));
    info.pFilter->Release();
    // A pin's own identity is its own, not the filter's.
    ComPtr<IUnknown> pinIdentity;
    ASSERT_EQ(pin.As(&pinIdentity), S_OK);
    EXPECT_NE(pinIdentity.Get(), static_cast<IUnknown*>(static_cast<IBaseFilter*>(raw)));
    pinIdentity.Reset();
    EXPECT_EQ(pin.Reset(), 0u);
    EXPECT_EQ(LiveObjectCount(), 0);
}

// Once what an enumerator lists has changed, every step but Reset answers
// out of sync; after Reset it lists again from the start. Each item is
// handed to `release`.
template <typename Enum, typename Item, typename Release>
void ExpectOutOfSyncUntilReset(Enum* items, Release release) {
    Item* got = nullptr;
    ULONG fetched = 7;
    EXPECT_EQ(items->Next(1, &got, &fetched), VFW_E_ENUM_OUT_OF_SYNC);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(items->Skip(1), VFW_E_ENUM_OUT_OF_SYNC);
    ComPtr<Enum> stale;
    EXPECT_EQ(items->Clone(&stale), VFW_E_ENUM_OUT_OF_SYNC);
    ASSERT_EQ(items->Reset(), S_OK);
    ASSERT_EQ(items->Next(1, &got, &fetched), S_OK);
    EXPECT_EQ(fetched, 1u);
    release(got);
}

TEST_F(FrameworkObjects, PinEnumeratorStepsSkipsClonesAndNoticesNewPins) {
    CFrameworkTestSource* raw = nullptr;
    ComPtr<IBaseFilter> filter = NewSource(&raw);
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(filter->EnumPins(&pins), S_OK);

    IPin* got[2] = {};
    ULONG fetched = 7;
    EXPECT_EQ(pins->Next(2, got, nullptr), E_POINTER);
    ASSERT_EQ(pins->Next(2, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(got[0], static_cast<IPin*>(raw->Stream()));
    got[0]->Release();
    EXPECT_EQ(pins->Next(1, got, nullptr), S_FALSE);

    ASSERT_EQ(pins->Reset(), S_OK);
    EXPECT_EQ(pins->Skip(1), S_OK);
    EXPECT_EQ(pins->Skip(1), S_FALSE);
    ASSERT_EQ(pins->Reset(), S_OK);
    ComPtr<IEnumPins> clone;
    ASSERT_EQ(pins->Clone(&clone), S_OK);
    ASSERT_EQ(pins->Next(1, got, nullptr), S_OK);
    got[0]->Release();
    // The clone kept its own position.
    ASSERT_EQ(clone->Next(1, got, &fetched), S_OK);
    EXPECT_EQ(fetched, 1u);
    got[0]->Release();

    ASSERT_EQ(raw->AddSecondPin(), S_OK);
    ExpectOutOfSyncUntilReset<IEnumPins, IPin>(pins.Get(), [](IPin* pin) { pin->Release(); });
    ASSERT_EQ(pins->Reset(), S_OK);
    ASSERT_EQ(pins->Next(2, got, &fetched), S_OK);
    EXPECT_EQ(fetched, 2u);
    EXPECT_NE(got[0], got[1]);
    got[0]->Release();
    got[1]->Release();

    ComPtr<IPin> found;
    EXPECT_EQ(filter->FindPin(L"Out", &found), S_OK);
    EXPECT_EQ(filter->FindPin(L"In", found.ReleaseAndGetAddressOf()), VFW_E_NOT_FOUND);
    EXPECT_EQ(found.Get(), nullptr);
}

TEST_F(FrameworkObjects, MediaTypeEnumeratorFollowsGetMediaType) {
    CFrameworkTestSource* raw = nullptr;
    ComPtr<IBaseFilter> filter = NewSource(&raw);
    CFrameworkTestStream* pin = raw->Stream();
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(pin->EnumMediaTypes(&types), S_OK);

    AM_MEDIA_TYPE* got[5] = {};
    ULONG fetched = 0;
    EXPECT_EQ(types->Next(2, got, nullptr), E_POINTER);
    ASSERT_EQ(types->Next(5, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 3u) << "the current type, then both listed sizes";
    EXPECT_TRUE(CMediaType(*got[0]) == MakeTestVideoType(64, 48));
    EXPECT_TRUE(CMediaType(*got[1]) == MakeTestVideoType(64, 48));
    EXPECT_TRUE(CMediaType(*got[2]) == MakeTestVideoType(32, 24));
    for (ULONG i = 0; i < fetched; ++i) DeleteMediaType(got[i]);

    ASSERT_EQ(types->Reset(), S_OK);
    EXPECT_EQ(types->Skip(2), S_OK);
    ComPtr<IEnumMediaTypes> clone;
    ASSERT_EQ(types->Clone(&clone), S_OK);
    ASSERT_EQ(clone->Next(1, got, nullptr), S_OK);
    EXPECT_TRUE(CMediaType(*got[0]) == MakeTestVideoType(32, 24)) << "the clone lost its position";
    DeleteMediaType(got[0]);
    EXPECT_EQ(types->Skip(2), S_FALSE);
    EXPECT_EQ(types->Next(1, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    pin->BumpTypeVersion();
    ExpectOutOfSyncUntilReset<IEnumMediaTypes, AM_MEDIA_TYPE>(types.Get(), [](AM_MEDIA_TYPE* type) {
        DeleteMediaType(type);
    });
}

TEST_F(FrameworkObjects, OutputPinDescribesItselfAndRefusesInputCalls) {
    CFrameworkTestSource* raw = nullptr;
    ComPtr<IBaseFilter> filter = NewSource(&raw);
    ComPtr<IPin> pin;
    ASSERT_EQ(filter->FindPin(L"Out", &pin), S_OK);

    PIN_DIRECTION direction = PINDIR_INPUT;
    ASSERT_EQ(pin->QueryDirection(&direction), S_OK);
    EXPECT_EQ(direction, PINDIR_OUTPUT);
    LPWSTR id = nullptr;
    ASSERT_EQ(pin->QueryId(&id), S_OK);
    EXPECT_STREQ(id, L"Out");
    CoTaskMemFree(id);
    PIN_INFO info = {};
    ASSERT_EQ(pin->QueryPinInfo(&info), S_OK);
    EXPECT_STREQ(info.achName, L"Out");
    EXPECT_EQ(info.dir, PINDIR_OUTPUT);
    EXPECT_EQ(info.pFilter, filter.Get());
    info.pFilter->Release();

    CMediaType listed = MakeTestVideoType(32, 24);
    CMediaType unlisted = MakeTestVideoType(16, 16);
    EXPECT_EQ(pin->QueryAccept(&listed), S_OK);
    EXPECT_EQ(pin->QueryAccept(&unlisted), S_FALSE);

    ComPtr<IPin> peer;
    EXPECT_EQ(pin->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
    AM_MEDIA_TYPE none;
    std::memset(&none, 0xcc, sizeof(none));
    EXPECT_EQ(pin->ConnectionMediaType(&none), VFW_E_NOT_CONNECTED);
    EXPECT_TRUE(IsEqualGUID(none.majortype, GUID_NULL));
    EXPECT_EQ(none.pbFormat, nullptr);
    EXPECT_EQ(pin->Disconnect(), S_FALSE);

    EXPECT_EQ(pin->EndOfStream(), E_UNEXPECTED);
    EXPECT_EQ(pin->BeginFlush(), E_UNEXPECTED);
    EXPECT_EQ(pin->EndFlush(), E_UNEXPECTED);
    EXPECT_EQ(pin->NewSegment(0, 10000000, 1.0), S_OK);
    EXPECT_EQ(pin->ReceiveConnection(pin.Get(), &listed), VFW_E_INVALID_DIRECTION);
    EXPECT_EQ(pin->ReceiveConnection(nullptr, &listed), E_POINTER);

    // Quality messages go to the sink when there is one.
    ComPtr<IQualityControl> quality;
    ASSERT_EQ(pin.As(&quality), S_OK);
    Quality q = {Famine, 800, -20000, 5000000};
    EXPECT_EQ(quality->Notify(filter.Get(), q), E_NOTIMPL);
    RecordingQualitySink sink;
    ASSERT_EQ(quality->SetSink(&sink), S_OK);
    EXPECT_EQ(quality->Notify(filter.Get(), q), S_FALSE);
    EXPECT_EQ(sink.calls, 1);
    EXPECT_EQ(sink.lastSender, filter.Get());
    EXPECT_EQ(sink.lastQuality.Proportion, 800);
    EXPECT_EQ(sink.lastQuality.Late, -20000);
    quality->SetSink(nullptr);
    quality.Reset();

    ComPtr<IAMovieSetup> setup;
    ASSERT_EQ(filter.As(&setup), S_OK);
    EXPECT_EQ(setup->Register(), S_FALSE) << "no setup data: nothing to register";
    EXPECT_EQ(setup->Unregister(), S_FALSE);
    REFERENCE_TIME now = 0;
    EXPECT_EQ(raw->StreamTime(now), VFW_E_NO_CLOCK);
}

TEST_F(FrameworkObjects, ConnectHonoursFullAndPartialTypes) {
    CFrameworkTestSource* raw = nullptr;
    ComPtr<IBaseFilter> filter = NewSource(&raw);
    ComPtr<IBaseFilter> grabber;
    ASSERT_EQ(CoCreateInstance(kClsidSampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&grabber)), S_OK);
    ComPtr<IPin> out = FindPinByDirection(filter.Get(), PINDIR_OUTPUT);
    ComPtr<IPin> in = FindPinByDirection(grabber.Get(), PINDIR_INPUT);
    ComPtr<IPin> otherOut = FindPinByDirection(grabber.Get(), PINDIR_OUTPUT);
    ASSERT_TRUE(out && in && otherOut);

    EXPECT_EQ(out->Connect(nullptr, nullptr), E_POINTER);
    CMediaType unlisted = MakeTestVideoType(16, 16);
    EXPECT_EQ(out->Connect(in.Get(), &unlisted), VFW_E_TYPE_NOT_ACCEPTED);
    CMediaType listed = MakeTestVideoType(32, 24);
    EXPECT_EQ(out->Connect(otherOut.Get(), &listed), VFW_E_INVALID_DIRECTION);
    CMediaType audio;
    audio.SetType(&MEDIATYPE_Audio);
    EXPECT_EQ(out->Connect(in.Get(), &audio), VFW_E_NO_ACCEPTABLE_TYPES);
    EXPECT_FALSE(raw->Stream()->IsConnected());

    // A fully specified type is the connection's type.
    ASSERT_EQ(out->Connect(in.Get(), &listed), S_OK);
    AM_MEDIA_TYPE agreed = {};
    ASSERT_EQ(in->ConnectionMediaType(&agreed), S_OK);
    EXPECT_TRUE(CMediaType(agreed) == listed);
    FreeMediaType(agreed);
    EXPECT_EQ(out->ReceiveConnection(in.Get(), &listed), VFW_E_ALREADY_CONNECTED);
    ASSERT_EQ(in->Disconnect(), S_OK);
    ASSERT_EQ(out->Disconnect(), S_OK);

    // A partial type picks the first listed type that matches it: the
    // current type, which the last connection left at 32 x 24.
    CMediaType partial;
    partial.SetType(&MEDIATYPE_Video);
    partial.SetSubtype(&MEDIASUBTYPE_RGB24);
    ASSERT_EQ(out->Connect(in.Get(), &partial), S_OK);
    ASSERT_EQ(out->ConnectionMediaType(&agreed), S_OK);
    EXPECT_TRUE(CMediaType(agreed) == listed);
    FreeMediaType(agreed);
    ASSERT_EQ(in->Disconnect(), S_OK);
    ASSERT_EQ(out->Disconnect(), S_OK);
}

TEST_F(FrameworkObjects, FilterReleasedWhilePausedStopsItsWorker) {
    CFrameworkTestSource* raw = nullptr;
    ComPtr<IBaseFilter> filter = NewSource(&raw);
    ComPtr<IBaseFilter> grabber;
    ASSERT_EQ(CoCreateInstance(kClsidSampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&grabber)), S_OK);
    ComPtr<IPin> out = FindPinByDirection(filter.Get(), PINDIR_OUTPUT);
    ComPtr<IPin> in = FindPinByDirection(grabber.Get(), PINDIR_INPUT);
    ASSERT_EQ(out->Connect(in.Get(), nullptr), S_OK);

    // Outside a graph: the worker fills, the stopped grabber refuses the
    // sample, and the loop ends.
    CFrameworkTestStream* pin = raw->Stream();
    ASSERT_EQ(filter->Pause(), S_OK);
    EXPECT_EQ(out->Disconnect(), VFW_E_NOT_STOPPED);
    const DWORD begin = GetTickCount();
    while (pin->filled == 0 && GetTickCount() - begin < 5000) Sleep(5);
    EXPECT_GE(pin->filled.load(), 1u) << "no FillBuffer while paused";

    ASSERT_EQ(in->Disconnect(), S_OK);
    out.Reset();
    in.Reset();
    grabber.Reset();
    EXPECT_EQ(filter.Reset(), 0u);
    EXPECT_EQ(LiveObjectCount(), 0);
}

TEST_F(FrameworkObjects, EntryRoutineRecordsTheModuleAndCallsInitRoutines) {
    HINSTANCE module = GetModuleHandleW(nullptr);
    EXPECT_TRUE(FrameworkDllEntry(module, DLL_PROCESS_ATTACH, nullptr));
    EXPECT_EQ(FrameworkModuleInstance(), module);
    EXPECT_EQ(FrameworkPlatformId(), static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    EXPECT_EQ(g_initRoutineCalls.loading, 1);
    EXPECT_EQ(g_initRoutineCalls.clsid, &CLSID_FrameworkTestSource);
    EXPECT_TRUE(FrameworkDllEntry(module, DLL_THREAD_ATTACH, nullptr));
    EXPECT_EQ(g_initRoutineCalls.loading, 1);
    EXPECT_EQ(g_initRoutineCalls.unloading, 0);
    EXPECT_TRUE(FrameworkDllEntry(module, DLL_PROCESS_DETACH, nullptr));
    EXPECT_EQ(g_initRoutineCalls.unloading, 1);
}

}  // namespace
