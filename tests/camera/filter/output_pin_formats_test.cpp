// What capture applications see of the camera's pin before frames flow: the
// listed types, the ones it connects with, the buffers it asks for,
// IAMStreamConfig with its capability table, and the pin category.
#include <windows.h>
#include <dshow.h>
#include <uuids.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/camera/filter/camera_graph.h"

using Microsoft::WRL::ComPtr;

namespace {

struct TypeSpec {
    LONG width;
    LONG height;
    WORD bitCount = 24;
    GUID subtype = MEDIASUBTYPE_RGB24;
    BOOL fixedSize = TRUE;
    ULONG formatBytes = sizeof(VIDEOINFOHEADER);
    GUID majortype = MEDIATYPE_Video;
};

// A type as another filter or an application would build it; owns its block.
class OwnedType {
public:
    explicit OwnedType(const TypeSpec& wanted) : m_block(wanted.formatBytes) {
        m_type.majortype = wanted.majortype;
        m_type.subtype = wanted.subtype;
        m_type.formattype = FORMAT_VideoInfo;
        m_type.bFixedSizeSamples = wanted.fixedSize;
        m_type.lSampleSize = wanted.width * std::abs(wanted.height) * wanted.bitCount / 8;
        if (wanted.formatBytes >= sizeof(VIDEOINFOHEADER)) {
            VIDEOINFOHEADER format = {};
            format.AvgTimePerFrame = kSampleTicks;
            format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
            format.bmiHeader.biWidth = wanted.width;
            format.bmiHeader.biHeight = wanted.height;
            format.bmiHeader.biPlanes = 1;
            format.bmiHeader.biBitCount = wanted.bitCount;
            format.bmiHeader.biCompression = BI_RGB;
            format.bmiHeader.biSizeImage = m_type.lSampleSize;
            std::memcpy(m_block.data(), &format, sizeof format);
        } else if (wanted.formatBytes > 0) {
            // Too short for a header: what there is says 640 x 480 anyway.
            std::memset(m_block.data(), 0, m_block.size());
        }
        m_type.cbFormat = wanted.formatBytes;
        m_type.pbFormat = wanted.formatBytes ? m_block.data() : nullptr;
    }
    AM_MEDIA_TYPE* get() { return &m_type; }

private:
    std::vector<BYTE> m_block;
    AM_MEDIA_TYPE m_type = {};
};

// A type handed out by the pin (task memory).
struct TaskType {
    AM_MEDIA_TYPE* type = nullptr;
    TaskType() = default;
    TaskType(TaskType&& other) noexcept : type(other.type) { other.type = nullptr; }
    TaskType(const TaskType&) = delete;
    TaskType& operator=(const TaskType&) = delete;
    ~TaskType() {
        if (!type) return;
        if (type->pbFormat) ::CoTaskMemFree(type->pbFormat);
        if (type->pUnk) type->pUnk->Release();
        ::CoTaskMemFree(type);
    }
    const VIDEOINFOHEADER* Format() const {
        return type && type->pbFormat && type->cbFormat >= sizeof(VIDEOINFOHEADER)
                   ? reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat)
                   : nullptr;
    }
};

std::vector<TaskType> EnumeratedTypes(IPin* pin, HRESULT* last) {
    std::vector<TaskType> types;
    ComPtr<IEnumMediaTypes> enumerator;
    if (FAILED(pin->EnumMediaTypes(&enumerator))) return types;
    for (int guard = 0; guard < 20; ++guard) {
        AM_MEDIA_TYPE* next = nullptr;
        ULONG fetched = 0;
        *last = enumerator->Next(1, &next, &fetched);
        if (*last != S_OK || fetched != 1) break;
        types.emplace_back();
        types.back().type = next;
    }
    return types;
}

// One entry of the list: 24-bit RGB (or NV12) of the given size.
struct Listed {
    LONG width;
    LONG height;
    bool nv12 = false;
};
// List positions 1 to 8, in order.
const Listed kListed[] = {{160, 120}, {320, 240}, {480, 360}, {640, 480},
                          {1280, 720, true}, {1280, 720}, {1920, 1080, true}, {1920, 1080}};

bool IsLarge(LONG width) { return width >= 1280; }

// Checks one listed type the way the pin lists it.
void ExpectListedType(const AM_MEDIA_TYPE* type, const Listed& listed, const std::string& where) {
    SCOPED_TRACE(where);
    ASSERT_NE(nullptr, type);
    const LONG width = listed.width, height = listed.height;
    EXPECT_TRUE(IsEqualGUID(MEDIATYPE_Video, type->majortype));
    EXPECT_TRUE(IsEqualGUID(listed.nv12 ? MEDIASUBTYPE_NV12 : MEDIASUBTYPE_RGB24, type->subtype));
    EXPECT_TRUE(IsEqualGUID(FORMAT_VideoInfo, type->formattype));
    EXPECT_TRUE(type->bFixedSizeSamples);
    EXPECT_FALSE(type->bTemporalCompression);
    const ULONG image = static_cast<ULONG>(listed.nv12 ? width * height * 3 / 2 : width * height * 3);
    EXPECT_EQ(image, type->lSampleSize);
    ASSERT_EQ(sizeof(VIDEOINFOHEADER), type->cbFormat);
    ASSERT_NE(nullptr, type->pbFormat);
    const auto* format = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
    const RECT empty = {};
    EXPECT_EQ(0, std::memcmp(&empty, &format->rcSource, sizeof empty));
    EXPECT_EQ(0, std::memcmp(&empty, &format->rcTarget, sizeof empty));
    EXPECT_EQ(0u, format->dwBitRate);
    EXPECT_EQ(0u, format->dwBitErrorRate);
    EXPECT_EQ(IsLarge(width) ? 333333 : 1000000, format->AvgTimePerFrame);
    EXPECT_EQ(40u, format->bmiHeader.biSize);
    EXPECT_EQ(width, format->bmiHeader.biWidth);
    EXPECT_EQ(height, format->bmiHeader.biHeight);
    EXPECT_EQ(1, format->bmiHeader.biPlanes);
    EXPECT_EQ(listed.nv12 ? 12 : 24, format->bmiHeader.biBitCount);
    EXPECT_EQ(listed.nv12 ? MAKEFOURCC('N', 'V', '1', '2') : static_cast<DWORD>(BI_RGB),
              format->bmiHeader.biCompression);
    EXPECT_EQ(image, format->bmiHeader.biSizeImage);
    EXPECT_EQ(0, format->bmiHeader.biXPelsPerMeter);
    EXPECT_EQ(0, format->bmiHeader.biYPelsPerMeter);
    EXPECT_EQ(0u, format->bmiHeader.biClrUsed);
    EXPECT_EQ(0u, format->bmiHeader.biClrImportant);
}

class OutputPinFormats : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(m_com.Result());
        ASSERT_EQ("", m_graph.Build());
        ASSERT_NE(nullptr, m_graph.StreamConfig());
    }

    // The connected size and, when bufferBytes is given, the grabber's one
    // buffer of that size.
    void ExpectConnectedAt(LONG wantedWidth, LONG wantedHeight, long bufferBytes = 0) {
        LONG width = 0, height = 0;
        ASSERT_TRUE(m_graph.ConnectedSize(&width, &height)) << "the pin is connected";
        EXPECT_EQ(wantedWidth, width);
        EXPECT_EQ(wantedHeight, height);
        if (bufferBytes == 0) return;
        ComPtr<IMemInputPin> input;
        ASSERT_HRESULT_SUCCEEDED(m_graph.GrabberInput()->QueryInterface(IID_PPV_ARGS(&input)));
        ComPtr<IMemAllocator> allocator;
        ASSERT_HRESULT_SUCCEEDED(input->GetAllocator(&allocator));
        ALLOCATOR_PROPERTIES properties = {};
        ASSERT_HRESULT_SUCCEEDED(allocator->GetProperties(&properties));
        EXPECT_EQ(1, properties.cBuffers);
        EXPECT_EQ(bufferBytes, properties.cbBuffer);
    }

    ComScope m_com;
    CameraGraph m_graph;
};

TEST_F(OutputPinFormats, PinIsCalledOutAndListsTheCurrentTypeThenEightTypes) {
    PIN_INFO info = {};
    ASSERT_HRESULT_SUCCEEDED(m_graph.CameraPin()->QueryPinInfo(&info));
    if (info.pFilter) info.pFilter->Release();
    EXPECT_STREQ(L"Out", info.achName);
    EXPECT_EQ(PINDIR_OUTPUT, info.dir);

    HRESULT last = E_FAIL;
    std::vector<TaskType> types = EnumeratedTypes(m_graph.CameraPin(), &last);
    ASSERT_EQ(9u, types.size());
    EXPECT_EQ(S_FALSE, last) << "the list ends after nine entries";
    ExpectListedType(types[0].type, {640, 480}, "entry 0, the current type of a fresh pin");
    for (size_t i = 1; i < types.size(); ++i) ExpectListedType(types[i].type, kListed[i - 1], "entry " + std::to_string(i));
}

TEST_F(OutputPinFormats, AcceptsBottomUpRgb24At320x240And640x480AndTheLargeSizesInNv12Too) {
    struct Case {
        const char* name;
        TypeSpec wanted;
        bool accepted;
    };
    TypeSpec rgb32 = {640, 480, 32, MEDIASUBTYPE_RGB32};
    TypeSpec variable = {640, 480};
    variable.fixedSize = FALSE;
    TypeSpec noBlock = {640, 480};
    noBlock.formatBytes = 0;
    TypeSpec shortBlock = {640, 480};
    shortBlock.formatBytes = 40;
    TypeSpec audio = {640, 480};
    audio.majortype = MEDIATYPE_Audio;
    TypeSpec sixteenBit = {320, 240, 16};  // the subtype decides, not the depth
    const Case cases[] = {
        {"320 x 240", {320, 240}, true},
        {"640 x 480", {640, 480}, true},
        {"640 x 480 with 16 bits in the header", {640, 480, 16}, true},
        {"320 x 240 with 16 bits in the header", sixteenBit, true},
        {"640 x -480 (top-down)", {640, -480}, false},
        {"320 x -240 (top-down)", {320, -240}, false},
        {"480 x 360, listed", {480, 360}, false},
        {"160 x 120, listed", {160, 120}, false},
        {"800 x 600", {800, 600}, false},
        {"640 x 240", {640, 240}, false},
        {"RGB32 640 x 480", rgb32, false},
        {"not fixed-size", variable, false},
        {"no format block", noBlock, false},
        {"format block shorter than a VIDEOINFOHEADER", shortBlock, false},
        {"audio", audio, false},
        {"1280 x 720", {1280, 720}, true},
        {"1920 x 1080", {1920, 1080}, true},
        {"NV12 1280 x 720", {1280, 720, 12, MEDIASUBTYPE_NV12}, true},
        {"NV12 1920 x 1080", {1920, 1080, 12, MEDIASUBTYPE_NV12}, true},
        {"1920 x -1080 (top-down)", {1920, -1080}, false},
        {"NV12 640 x 480", {640, 480, 12, MEDIASUBTYPE_NV12}, false},
        {"RGB32 1280 x 720", {1280, 720, 32, MEDIASUBTYPE_RGB32}, false},
    };
    for (const Case& c : cases) {
        OwnedType type(c.wanted);
        EXPECT_EQ(c.accepted ? S_OK : S_FALSE, m_graph.CameraPin()->QueryAccept(type.get())) << c.name;
    }
}

TEST_F(OutputPinFormats, ConnectsAt640x480WithOneBufferOfTheImageSize) {
    ASSERT_EQ("", m_graph.Connect());
    ExpectConnectedAt(640, 480, 921600);
}

TEST_F(OutputPinFormats, SetFormatReconnectsAt320x240) {
    ASSERT_EQ("", m_graph.Connect());
    OwnedType half({320, 240});
    ASSERT_EQ(S_OK, m_graph.StreamConfig()->SetFormat(half.get()));

    ASSERT_NO_FATAL_FAILURE(ExpectConnectedAt(320, 240, 230400)) << "again after SetFormat";

    TaskType current;
    ASSERT_EQ(S_OK, m_graph.StreamConfig()->GetFormat(&current.type));
    ASSERT_NE(nullptr, current.Format());
    EXPECT_EQ(320, current.Format()->bmiHeader.biWidth);
    EXPECT_EQ(kSampleTicks, current.Format()->AvgTimePerFrame) << "the type is stored as it was given";

    HRESULT last = E_FAIL;
    std::vector<TaskType> types = EnumeratedTypes(m_graph.CameraPin(), &last);
    ASSERT_EQ(9u, types.size());
    ASSERT_NE(nullptr, types[0].Format());
    EXPECT_EQ(320, types[0].Format()->bmiHeader.biWidth) << "the set type is entry 0 of the list";
}

TEST_F(OutputPinFormats, FormatSetBeforeConnectingIsTheOneConnected) {
    OwnedType half({320, 240});
    ASSERT_EQ(S_OK, m_graph.StreamConfig()->SetFormat(half.get()));
    ASSERT_EQ("", m_graph.Connect());
    ExpectConnectedAt(320, 240);
}

TEST_F(OutputPinFormats, RefusedSetFormatTypeFallsBackToTheNextConnectableEntry) {
    // Stored without being examined; at the connection CheckMediaType still
    // refuses it, and the list goes on to 320 x 240.
    OwnedType small({160, 120});
    ASSERT_EQ(S_OK, m_graph.StreamConfig()->SetFormat(small.get()));
    ASSERT_EQ("", m_graph.Connect());
    ExpectConnectedAt(320, 240);
}

TEST_F(OutputPinFormats, SetFormatAnswers) {
    EXPECT_EQ(E_POINTER, m_graph.StreamConfig()->SetFormat(nullptr));

    TypeSpec bare = {640, 480};
    bare.formatBytes = 0;
    OwnedType noBlock(bare);
    EXPECT_EQ(S_OK, m_graph.StreamConfig()->SetFormat(noBlock.get())) << "the previous type had a block";

    OwnedType half({320, 240});
    EXPECT_EQ(E_UNEXPECTED, m_graph.StreamConfig()->SetFormat(half.get())) << "the previous type had none";
    TaskType current;
    ASSERT_EQ(S_OK, m_graph.StreamConfig()->GetFormat(&current.type));
    ASSERT_NE(nullptr, current.Format()) << "the refused type stays stored";
    EXPECT_EQ(320, current.Format()->bmiHeader.biWidth);
}

TEST_F(OutputPinFormats, SixteenBitConnectionIsRefusedButStaysTheCurrentType) {
    OwnedType sixteen({640, 480, 16});
    EXPECT_EQ(E_INVALIDARG, m_graph.CameraPin()->Connect(m_graph.GrabberInput(), sixteen.get()));
    ComPtr<IPin> peer;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, m_graph.CameraPin()->ConnectedTo(&peer));

    TaskType current;
    ASSERT_EQ(S_OK, m_graph.StreamConfig()->GetFormat(&current.type));
    ASSERT_NE(nullptr, current.Format());
    EXPECT_EQ(16, current.Format()->bmiHeader.biBitCount);
    HRESULT last = E_FAIL;
    std::vector<TaskType> types = EnumeratedTypes(m_graph.CameraPin(), &last);
    ASSERT_FALSE(types.empty());
    ASSERT_NE(nullptr, types[0].Format());
    EXPECT_EQ(16, types[0].Format()->bmiHeader.biBitCount) << "entry 0 is the refused type";
}

TEST_F(OutputPinFormats, CapabilityTable) {
    int count = 0, size = 0;
    ASSERT_EQ(S_OK, m_graph.StreamConfig()->GetNumberOfCapabilities(&count, &size));
    EXPECT_EQ(9, count);
    EXPECT_EQ(128, size);

    // Capability 0 is the current type, then the list positions.
    std::vector<Listed> rows = {{640, 480}};
    rows.insert(rows.end(), std::begin(kListed), std::end(kListed));
    for (size_t index = 0; index < rows.size(); ++index) {
        const Listed& row = rows[index];
        SCOPED_TRACE("capability " + std::to_string(index));
        TaskType type;
        VIDEO_STREAM_CONFIG_CAPS caps;
        std::memset(&caps, 0xCD, sizeof caps);
        ASSERT_EQ(S_OK, m_graph.StreamConfig()->GetStreamCaps(static_cast<int>(index), &type.type,
                                                               reinterpret_cast<BYTE*>(&caps)));
        ExpectListedType(type.type, row, "its type");
        EXPECT_TRUE(IsEqualGUID(FORMAT_VideoInfo, caps.guid));
        EXPECT_EQ(0u, caps.VideoStandard);
        EXPECT_EQ(row.width, caps.InputSize.cx);
        EXPECT_EQ(row.height, caps.InputSize.cy);
        EXPECT_EQ(80, caps.MinCroppingSize.cx);
        EXPECT_EQ(60, caps.MinCroppingSize.cy);
        EXPECT_EQ(row.width, caps.MaxCroppingSize.cx);
        EXPECT_EQ(row.height, caps.MaxCroppingSize.cy);
        EXPECT_EQ(80, caps.CropGranularityX);
        EXPECT_EQ(60, caps.CropGranularityY);
        EXPECT_EQ(0, caps.CropAlignX);
        EXPECT_EQ(0, caps.CropAlignY);
        EXPECT_EQ(80, caps.MinOutputSize.cx);
        EXPECT_EQ(60, caps.MinOutputSize.cy);
        EXPECT_EQ(row.width, caps.MaxOutputSize.cx);
        EXPECT_EQ(row.height, caps.MaxOutputSize.cy);
        EXPECT_EQ(0, caps.OutputGranularityX);
        EXPECT_EQ(0, caps.OutputGranularityY);
        EXPECT_EQ(0, caps.StretchTapsX);
        EXPECT_EQ(0, caps.StretchTapsY);
        EXPECT_EQ(0, caps.ShrinkTapsX);
        EXPECT_EQ(0, caps.ShrinkTapsY);
        EXPECT_EQ(50000000, caps.MaxFrameInterval);
        const LONG bitsPerFrame = row.width * row.height * (row.nv12 ? 12 : 24);
        if (IsLarge(row.width)) {
            EXPECT_EQ(333333, caps.MinFrameInterval);
            EXPECT_EQ(bitsPerFrame / 5, caps.MinBitsPerSecond);
            EXPECT_EQ(bitsPerFrame * 30, caps.MaxBitsPerSecond);
        } else {
            EXPECT_EQ(666666, caps.MinFrameInterval);
            EXPECT_EQ(23040, caps.MinBitsPerSecond);
            EXPECT_EQ(row.width * row.height * 1200, caps.MaxBitsPerSecond);
        }
    }

    for (int index : {9, 10, -1}) {
        TaskType type;
        type.type = reinterpret_cast<AM_MEDIA_TYPE*>(static_cast<uintptr_t>(1));  // must be overwritten
        VIDEO_STREAM_CONFIG_CAPS caps = {};
        EXPECT_EQ(E_INVALIDARG, m_graph.StreamConfig()->GetStreamCaps(index, &type.type, reinterpret_cast<BYTE*>(&caps)))
            << "index " << index;
        EXPECT_EQ(nullptr, type.type) << "nothing is handed out with the failure, index " << index;
        type.type = nullptr;
    }
}

TEST_F(OutputPinFormats, CapabilityZeroFollowsTheCurrentType) {
    OwnedType half({320, 240});
    ASSERT_EQ(S_OK, m_graph.StreamConfig()->SetFormat(half.get()));
    TaskType type;
    VIDEO_STREAM_CONFIG_CAPS caps = {};
    ASSERT_EQ(S_OK, m_graph.StreamConfig()->GetStreamCaps(0, &type.type, reinterpret_cast<BYTE*>(&caps)));
    EXPECT_EQ(320, caps.InputSize.cx);
    EXPECT_EQ(240, caps.InputSize.cy);
    EXPECT_EQ(92160000, caps.MaxBitsPerSecond);
}

TEST_F(OutputPinFormats, PinAndFilterHandOutTheSameConfigurationInterfaces) {
    ComPtr<IAMStreamConfig> fromPin;
    ASSERT_HRESULT_SUCCEEDED(m_graph.CameraPin()->QueryInterface(IID_PPV_ARGS(&fromPin)));
    EXPECT_EQ(fromPin.Get(), m_graph.StreamConfig());

    ComPtr<IKsPropertySet> propertiesFromPin, propertiesFromFilter;
    ASSERT_HRESULT_SUCCEEDED(m_graph.CameraPin()->QueryInterface(IID_IKsPropertySet, &propertiesFromPin));
    ASSERT_HRESULT_SUCCEEDED(m_graph.Camera()->QueryInterface(IID_IKsPropertySet, &propertiesFromFilter));
    EXPECT_EQ(propertiesFromPin.Get(), propertiesFromFilter.Get());

    // Their IUnknown is the pin's.
    ComPtr<IUnknown> pinIdentity, configIdentity;
    m_graph.CameraPin()->QueryInterface(IID_PPV_ARGS(&pinIdentity));
    fromPin->QueryInterface(IID_PPV_ARGS(&configIdentity));
    EXPECT_EQ(pinIdentity.Get(), configIdentity.Get());
}

TEST_F(OutputPinFormats, PropertySetAnswersThePinCategoryOnly) {
    ComPtr<IKsPropertySet> properties;
    ASSERT_HRESULT_SUCCEEDED(m_graph.CameraPin()->QueryInterface(IID_IKsPropertySet, &properties));

    GUID category = GUID_NULL;
    DWORD returned = 0;
    EXPECT_EQ(S_OK, properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof category,
                                    &returned));
    EXPECT_TRUE(IsEqualGUID(PIN_CATEGORY_CAPTURE, category));
    EXPECT_EQ(16u, returned);

    struct Case {
        const char* name;
        GUID set;
        DWORD id;
        bool withData;
        DWORD dataLength;
        bool withReturned;
        HRESULT expected;
        DWORD expectedReturned;  // ~0u: left alone
    };
    const Case cases[] = {
        {"15-byte buffer", AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, true, 15, true, E_UNEXPECTED, 16},
        {"size query", AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, false, 0, true, S_OK, 16},
        {"no data, no size", AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, false, 0, false, E_POINTER, ~0u},
        {"medium", AMPROPSETID_Pin, AMPROPERTY_PIN_MEDIUM, true, 16, true, E_PROP_ID_UNSUPPORTED, ~0u},
        {"another set", PIN_CATEGORY_CAPTURE, AMPROPERTY_PIN_CATEGORY, true, 16, true, E_PROP_SET_UNSUPPORTED, ~0u},
        {"another set, no pointers", GUID_NULL, 7, false, 0, false, E_PROP_SET_UNSUPPORTED, ~0u},
    };
    for (const Case& c : cases) {
        GUID data = GUID_NULL;
        DWORD size = ~0u;
        EXPECT_EQ(c.expected, properties->Get(c.set, c.id, nullptr, 0, c.withData ? &data : nullptr, c.dataLength,
                                              c.withReturned ? &size : nullptr))
            << c.name;
        if (c.withReturned) {
            EXPECT_EQ(c.expectedReturned, size) << c.name;
        }
        EXPECT_TRUE(IsEqualGUID(GUID_NULL, data)) << c.name << ": nothing written on failure or size query";
    }

    EXPECT_EQ(E_NOTIMPL, properties->Set(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                                         sizeof category));
    DWORD support = 0xA5A5A5A5u;
    EXPECT_EQ(S_OK, properties->QuerySupported(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, &support));
    EXPECT_EQ(0xA5A5A5A5u, support) << "QuerySupported leaves the support value alone";
    EXPECT_EQ(S_OK, properties->QuerySupported(GUID_NULL, 99, &support));
}

TEST_F(OutputPinFormats, QualityMessagesAreRefused) {
    ComPtr<IQualityControl> quality;
    ASSERT_HRESULT_SUCCEEDED(m_graph.CameraPin()->QueryInterface(IID_PPV_ARGS(&quality)));
    Quality message = {Famine, 500, 0, 0};
    EXPECT_EQ(E_FAIL, quality->Notify(m_graph.Camera(), message));
}

}  // namespace
