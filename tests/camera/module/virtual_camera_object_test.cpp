// The camera filter object as a capture program or a producer meets it,
// created through the module's class factory: where each interface leads,
// its one pin, and the frame interface on every one of its interfaces.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include "camera/filter/frame_exchange.h"
#include "camera/filter/camera_identity.h"
#include "tests/camera/module/camera_module.h"

using Microsoft::WRL::ComPtr;

namespace {

class VirtualCameraObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module_) << "LoadLibrary failed: " << ::GetLastError();
        ASSERT_EQ(module_.CreateCamera(CLSID_VirtualCamera, IID_IUnknown,
                                       reinterpret_cast<void**>(unknown_.GetAddressOf())),
                  S_OK);
        ASSERT_EQ(unknown_.As(&filter_), S_OK);
    }
    void TearDown() override {
        filter_.Reset();
        unknown_.Reset();
        EXPECT_EQ(module_.CanUnloadNow(), S_OK) << "the filter or its pin outlived its references";
    }

    ComPtr<IPin> OnlyPin() {
        ComPtr<IEnumPins> pins;
        EXPECT_EQ(filter_->EnumPins(pins.GetAddressOf()), S_OK);
        ComPtr<IPin> pin;
        if (pins) {
            EXPECT_EQ(pins->Next(1, pin.GetAddressOf(), nullptr), S_OK);
        }
        return pin;
    }

    CameraModule module_;
    ComPtr<IUnknown> unknown_;  // the non-delegating unknown
    ComPtr<IBaseFilter> filter_;
};

TEST_F(VirtualCameraObjectTest, EnumPinsYieldsExactlyOneOutputPin) {
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(filter_->EnumPins(pins.GetAddressOf()), S_OK);
    IPin* got[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(pins->Next(2, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    // mingw's ComPtr::Attach takes a reference of its own; hand this one over.
    ComPtr<IPin> pin;
    *pin.GetAddressOf() = got[0];
    PIN_DIRECTION direction = PINDIR_INPUT;
    EXPECT_EQ(pin->QueryDirection(&direction), S_OK);
    EXPECT_EQ(direction, PINDIR_OUTPUT);
    PIN_INFO info = {};
    ASSERT_EQ(pin->QueryPinInfo(&info), S_OK);
    EXPECT_EQ(info.pFilter, filter_.Get()) << "the pin names its filter";
    if (info.pFilter) info.pFilter->Release();
    EXPECT_EQ(pins->Skip(1), S_FALSE);
}

TEST_F(VirtualCameraObjectTest, FindPinReturnsThePinForAnyIdentifier) {
    ComPtr<IPin> pin = OnlyPin();
    ASSERT_TRUE(pin);
    LPWSTR id = nullptr;
    ASSERT_EQ(pin->QueryId(&id), S_OK);
    ComPtr<IPin> found;
    EXPECT_EQ(filter_->FindPin(id, found.GetAddressOf()), S_OK);
    ::CoTaskMemFree(id);
    EXPECT_EQ(found.Get(), pin.Get());
    for (LPCWSTR other : {L"Output", L"Intput", L""}) {
        ComPtr<IPin> again;
        EXPECT_EQ(filter_->FindPin(other, again.GetAddressOf()), S_OK) << other;
        EXPECT_EQ(again.Get(), pin.Get()) << other;
    }
    IPin* untouched = nullptr;
    EXPECT_EQ(filter_->FindPin(nullptr, &untouched), E_POINTER);
    EXPECT_EQ(filter_->FindPin(L"Out", nullptr), E_POINTER);
}

TEST_F(VirtualCameraObjectTest, PinInterfacesAreReachedThroughTheFiltersInterfacesOnly) {
    ComPtr<IPin> pin = OnlyPin();
    ASSERT_TRUE(pin);
    ComPtr<IAMovieSetup> setup;
    ASSERT_EQ(filter_.As(&setup), S_OK);
    ComPtr<TranslateData_buf> sink;
    ASSERT_EQ(filter_->QueryInterface(IID_TranslateData_buf, reinterpret_cast<void**>(sink.GetAddressOf())), S_OK);

    const IID* pinInterfaces[] = {&IID_IAMStreamConfig, &IID_IKsPropertySet};
    IUnknown* filterInterfaces[] = {filter_.Get(), setup.Get(), sink.Get()};
    for (const IID* iid : pinInterfaces) {
        void* fromPin = nullptr;
        ASSERT_EQ(pin->QueryInterface(*iid, &fromPin), S_OK);
        for (IUnknown* itf : filterInterfaces) {
            void* fromFilter = nullptr;
            EXPECT_EQ(itf->QueryInterface(*iid, &fromFilter), S_OK);
            EXPECT_EQ(fromFilter, fromPin) << "the filter hands out the pin's own interface";
            if (fromFilter) static_cast<IUnknown*>(fromFilter)->Release();
        }
        static_cast<IUnknown*>(fromPin)->Release();

        void* fromInner = reinterpret_cast<void*>(1);
        EXPECT_EQ(unknown_->QueryInterface(*iid, &fromInner), E_NOINTERFACE);
        EXPECT_EQ(fromInner, nullptr);
    }
}

TEST_F(VirtualCameraObjectTest, TranslateDataBufIsOnEveryInterfaceOfTheFilter) {
    ComPtr<IAMovieSetup> setup;
    ASSERT_EQ(filter_.As(&setup), S_OK);
    ComPtr<TranslateData_buf> sink;
    ASSERT_EQ(unknown_->QueryInterface(IID_TranslateData_buf, reinterpret_cast<void**>(sink.GetAddressOf())), S_OK);

    IUnknown* sources[] = {unknown_.Get(), filter_.Get(), setup.Get(), sink.Get()};
    for (IUnknown* itf : sources) {
        void* got = nullptr;
        EXPECT_EQ(itf->QueryInterface(IID_TranslateData_buf, &got), S_OK);
        EXPECT_EQ(got, static_cast<void*>(sink.Get()));
        if (got) static_cast<IUnknown*>(got)->Release();
        EXPECT_EQ(itf->QueryInterface(IID_TranslateData_buf, nullptr), E_POINTER);
    }

    ComPtr<IBaseFilter> back;
    ASSERT_EQ(sink->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(back.GetAddressOf())), S_OK);
    EXPECT_EQ(back.Get(), filter_.Get());
    ComPtr<IUnknown> identity;
    ASSERT_EQ(sink->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.GetAddressOf())), S_OK);
    EXPECT_EQ(identity.Get(), unknown_.Get());
}

TEST_F(VirtualCameraObjectTest, FilterAnswersItsOwnInterfacesAndRefusesOthers) {
    const IID* own[] = {&IID_IUnknown, &IID_IBaseFilter, &IID_IMediaFilter, &IID_IPersist, &IID_IAMovieSetup};
    for (const IID* iid : own) {
        ComPtr<IUnknown> got;
        EXPECT_EQ(unknown_->QueryInterface(*iid, reinterpret_cast<void**>(got.GetAddressOf())), S_OK);
        ComPtr<IUnknown> viaFilter;
        EXPECT_EQ(filter_->QueryInterface(*iid, reinterpret_cast<void**>(viaFilter.GetAddressOf())), S_OK);
        EXPECT_EQ(got.Get(), viaFilter.Get());
    }
    const IID* foreign[] = {&IID_IPin, &IID_IMediaSeeking, &IID_IClassFactory};
    for (const IID* iid : foreign) {
        void* got = reinterpret_cast<void*>(1);
        EXPECT_EQ(filter_->QueryInterface(*iid, &got), E_NOINTERFACE);
        EXPECT_EQ(got, nullptr);
    }
}

TEST_F(VirtualCameraObjectTest, StateChangesWithoutAGraph) {
    FILTER_STATE state = State_Running;
    EXPECT_EQ(filter_->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    EXPECT_EQ(filter_->Run(0), S_OK);
    EXPECT_EQ(filter_->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Running);
    EXPECT_EQ(filter_->Pause(), S_OK);
    EXPECT_EQ(filter_->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Paused);
    EXPECT_EQ(filter_->Stop(), S_OK);
    EXPECT_EQ(filter_->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
}

}  // namespace
