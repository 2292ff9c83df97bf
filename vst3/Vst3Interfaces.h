// The VST 3 binary interface, as much of it as this face uses, declared from the published
// layout: COM-style interfaces with their slots in order, the structures with their exact sizes,
// and the identifiers in each system's byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#ifdef _WIN32
#define ZB_VST3_CALL __stdcall
#else
#define ZB_VST3_CALL
#endif

namespace vst3 {

using int16 = std::int16_t;
using int32 = std::int32_t;
using uint32 = std::uint32_t;
using int64 = std::int64_t;
using uint64 = std::uint64_t;
using TBool = std::uint8_t;
using tresult = std::int32_t;
using char16 = char16_t;
using FIDString = const char*;
using String128 = char16[128];
using ParamID = std::uint32_t;
using ParamValue = double;
using SpeakerArrangement = std::uint64_t;
using UnitID = std::int32_t;
using ProgramListID = std::int32_t;
using MediaType = std::int32_t;
using BusDirection = std::int32_t;
using IoMode = std::int32_t;

// Windows keeps the COM result codes; everywhere else they are small integers.
#ifdef _WIN32
constexpr tresult kNoInterface = static_cast<tresult>(0x80004002u);
constexpr tresult kResultOk = 0;
constexpr tresult kResultTrue = 0;
constexpr tresult kResultFalse = 1;
constexpr tresult kInvalidArgument = static_cast<tresult>(0x80070057u);
constexpr tresult kNotImplemented = static_cast<tresult>(0x80004001u);
constexpr tresult kInternalError = static_cast<tresult>(0x80004005u);
constexpr tresult kNotInitialized = static_cast<tresult>(0x8000FFFFu);
constexpr tresult kOutOfMemory = static_cast<tresult>(0x8007000Eu);
#else
constexpr tresult kNoInterface = -1;
constexpr tresult kResultOk = 0;
constexpr tresult kResultTrue = 0;
constexpr tresult kResultFalse = 1;
constexpr tresult kInvalidArgument = 2;
constexpr tresult kNotImplemented = 3;
constexpr tresult kInternalError = 4;
constexpr tresult kNotInitialized = 5;
constexpr tresult kOutOfMemory = 6;
#endif

// A 16-byte identifier made from the four words it is written as.
struct Uid {
    unsigned char bytes[16];

    static constexpr Uid make(uint32 l1, uint32 l2, uint32 l3, uint32 l4) {
        Uid u{};
#ifdef _WIN32
        // COM GUID layout: Data1 and the two halves of the second word little-endian.
        const unsigned char head[8] = {
            static_cast<unsigned char>(l1), static_cast<unsigned char>(l1 >> 8),
            static_cast<unsigned char>(l1 >> 16), static_cast<unsigned char>(l1 >> 24),
            static_cast<unsigned char>(l2 >> 16), static_cast<unsigned char>(l2 >> 24),
            static_cast<unsigned char>(l2), static_cast<unsigned char>(l2 >> 8)};
        for (int i = 0; i < 8; ++i) {
            u.bytes[i] = head[i];
        }
#else
        for (int i = 0; i < 4; ++i) {
            u.bytes[i] = static_cast<unsigned char>(l1 >> (24 - 8 * i));
            u.bytes[4 + i] = static_cast<unsigned char>(l2 >> (24 - 8 * i));
        }
#endif
        for (int i = 0; i < 4; ++i) {
            u.bytes[8 + i] = static_cast<unsigned char>(l3 >> (24 - 8 * i));
            u.bytes[12 + i] = static_cast<unsigned char>(l4 >> (24 - 8 * i));
        }
        return u;
    }

    bool is(const void* other) const { return other != nullptr && std::memcmp(bytes, other, 16) == 0; }
    const char* data() const { return reinterpret_cast<const char*>(bytes); }
};

// ---- Interfaces. Methods in slot order; no destructors, no overloads. ----

class FUnknown {
  public:
    static constexpr Uid iid = Uid::make(0x00000000, 0x00000000, 0xC0000000, 0x00000046);
    virtual tresult ZB_VST3_CALL queryInterface(const char* iid, void** obj) = 0;
    virtual uint32 ZB_VST3_CALL addRef() = 0;
    virtual uint32 ZB_VST3_CALL release() = 0;
};

class IBStream : public FUnknown {
  public:
    static constexpr Uid iid = Uid::make(0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B);
    virtual tresult ZB_VST3_CALL read(void* buffer, int32 numBytes, int32* numBytesRead) = 0;
    virtual tresult ZB_VST3_CALL write(void* buffer, int32 numBytes, int32* numBytesWritten) = 0;
    virtual tresult ZB_VST3_CALL seek(int64 pos, int32 mode, int64* result) = 0;
    virtual tresult ZB_VST3_CALL tell(int64* pos) = 0;
};

class IPluginBase : public FUnknown {
  public:
    static constexpr Uid iid = Uid::make(0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625);
    virtual tresult ZB_VST3_CALL initialize(FUnknown* context) = 0;
    virtual tresult ZB_VST3_CALL terminate() = 0;
};

struct PFactoryInfo {
    char vendor[64];
    char url[256];
    char email[128];
    int32 flags;
};
constexpr int32 kFactoryUnicode = 16;

constexpr int32 kManyInstances = 0x7FFFFFFF;

struct PClassInfo {
    char cid[16];
    int32 cardinality;
    char category[32];
    char name[64];
};

struct PClassInfo2 {
    char cid[16];
    int32 cardinality;
    char category[32];
    char name[64];
    uint32 classFlags;
    char subCategories[128];
    char vendor[64];
    char version[64];
    char sdkVersion[64];
};

struct PClassInfoW {
    char cid[16];
    int32 cardinality;
    char category[32];
    char16 name[64];
    uint32 classFlags;
    char subCategories[128];
    char16 vendor[64];
    char16 version[64];
    char16 sdkVersion[64];
};

class IPluginFactory : public FUnknown {
  public:
    static constexpr Uid iid = Uid::make(0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F);
    virtual tresult ZB_VST3_CALL getFactoryInfo(PFactoryInfo* info) = 0;
    virtual int32 ZB_VST3_CALL countClasses() = 0;
    virtual tresult ZB_VST3_CALL getClassInfo(int32 index, PClassInfo* info) = 0;
    virtual tresult ZB_VST3_CALL createInstance(FIDString cid, FIDString iid, void** obj) = 0;
};

class IPluginFactory2 : public IPluginFactory {
  public:
    static constexpr Uid iid = Uid::make(0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);
    virtual tresult ZB_VST3_CALL getClassInfo2(int32 index, PClassInfo2* info) = 0;
};

class IPluginFactory3 : public IPluginFactory2 {
  public:
    static constexpr Uid iid = Uid::make(0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931);
    virtual tresult ZB_VST3_CALL getClassInfoUnicode(int32 index, PClassInfoW* info) = 0;
    virtual tresult ZB_VST3_CALL setHostContext(FUnknown* context) = 0;
};

// ---- Component ----
enum : int32 { kAudio = 0, kEvent = 1 };
enum : int32 { kInput = 0, kOutput = 1 };
enum : int32 { kMain = 0, kAux = 1 };
constexpr uint32 kDefaultActive = 1;

struct BusInfo {
    MediaType mediaType;
    BusDirection direction;
    int32 channelCount;
    String128 name;
    int32 busType;
    uint32 flags;
};

struct RoutingInfo {
    MediaType mediaType;
    int32 busIndex;
    int32 channel;
};

class IComponent : public IPluginBase {
  public:
    static constexpr Uid iid = Uid::make(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802);
    virtual tresult ZB_VST3_CALL getControllerClassId(char* classId) = 0;
    virtual tresult ZB_VST3_CALL setIoMode(IoMode mode) = 0;
    virtual int32 ZB_VST3_CALL getBusCount(MediaType type, BusDirection dir) = 0;
    virtual tresult ZB_VST3_CALL getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo* bus) = 0;
    virtual tresult ZB_VST3_CALL getRoutingInfo(RoutingInfo* inInfo, RoutingInfo* outInfo) = 0;
    virtual tresult ZB_VST3_CALL activateBus(MediaType type, BusDirection dir, int32 index, TBool state) = 0;
    virtual tresult ZB_VST3_CALL setActive(TBool state) = 0;
    virtual tresult ZB_VST3_CALL setState(IBStream* state) = 0;
    virtual tresult ZB_VST3_CALL getState(IBStream* state) = 0;
};

// ---- Processing ----
constexpr SpeakerArrangement kArrangementMono = 0x80000;
constexpr SpeakerArrangement kArrangementStereo = 0x3;
enum : int32 { kSample32 = 0, kSample64 = 1 };
enum : int32 { kRealtime = 0, kPrefetch = 1, kOffline = 2 };

struct ProcessSetup {
    int32 processMode;
    int32 symbolicSampleSize;
    int32 maxSamplesPerBlock;
    double sampleRate;
};

struct AudioBusBuffers {
    int32 numChannels;
    uint64 silenceFlags;
    union {
        float** channelBuffers32;
        double** channelBuffers64;
    };
};

class IParamValueQueue : public FUnknown {
  public:
    static constexpr Uid iid = Uid::make(0x01263A18, 0xED074F6F, 0x98C9D356, 0x4686F9BA);
    virtual ParamID ZB_VST3_CALL getParameterId() = 0;
    virtual int32 ZB_VST3_CALL getPointCount() = 0;
    virtual tresult ZB_VST3_CALL getPoint(int32 index, int32* sampleOffset, ParamValue* value) = 0;
    virtual tresult ZB_VST3_CALL addPoint(int32 sampleOffset, ParamValue value, int32* index) = 0;
};

class IParameterChanges : public FUnknown {
  public:
    static constexpr Uid iid = Uid::make(0xA4779663, 0x0BB64A56, 0xB44384A8, 0x466FEB9D);
    virtual int32 ZB_VST3_CALL getParameterCount() = 0;
    virtual IParamValueQueue* ZB_VST3_CALL getParameterData(int32 index) = 0;
    virtual IParamValueQueue* ZB_VST3_CALL addParameterData(const ParamID* id, int32* index) = 0;
};

struct ProcessData {
    int32 processMode;
    int32 symbolicSampleSize;
    int32 numSamples;
    int32 numInputs;
    int32 numOutputs;
    AudioBusBuffers* inputs;
    AudioBusBuffers* outputs;
    IParameterChanges* inputParameterChanges;
    IParameterChanges* outputParameterChanges;
    void* inputEvents;
    void* outputEvents;
    void* processContext;
};

class IAudioProcessor : public FUnknown {
  public:
    static constexpr Uid iid = Uid::make(0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D);
    virtual tresult ZB_VST3_CALL setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                    SpeakerArrangement* outputs, int32 numOuts) = 0;
    virtual tresult ZB_VST3_CALL getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement* arr) = 0;
    virtual tresult ZB_VST3_CALL canProcessSampleSize(int32 symbolicSampleSize) = 0;
    virtual uint32 ZB_VST3_CALL getLatencySamples() = 0;
    virtual tresult ZB_VST3_CALL setupProcessing(ProcessSetup* setup) = 0;
    virtual tresult ZB_VST3_CALL setProcessing(TBool state) = 0;
    virtual tresult ZB_VST3_CALL process(ProcessData* data) = 0;
    virtual uint32 ZB_VST3_CALL getTailSamples() = 0;
};

// ---- Controller ----
struct ParameterInfo {
    ParamID id;
    String128 title;
    String128 shortTitle;
    String128 units;
    int32 stepCount;
    ParamValue defaultNormalizedValue;
    UnitID unitId;
    int32 flags;
};
enum : int32 {
    kCanAutomate = 1 << 0,
    kIsReadOnly = 1 << 1,
    kIsList = 1 << 3,
    kIsHidden = 1 << 4,
    kIsProgramChange = 1 << 15,
    kIsBypass = 1 << 16,
};
enum : int32 { kParamValuesChanged = 4, kLatencyChanged = 8 };

class IComponentHandler : public FUnknown {
  public:
    static constexpr Uid iid = Uid::make(0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6);
    virtual tresult ZB_VST3_CALL beginEdit(ParamID id) = 0;
    virtual tresult ZB_VST3_CALL performEdit(ParamID id, ParamValue valueNormalized) = 0;
    virtual tresult ZB_VST3_CALL endEdit(ParamID id) = 0;
    virtual tresult ZB_VST3_CALL restartComponent(int32 flags) = 0;
};

class IPlugView;

class IEditController : public IPluginBase {
  public:
    static constexpr Uid iid = Uid::make(0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E);
    virtual tresult ZB_VST3_CALL setComponentState(IBStream* state) = 0;
    virtual tresult ZB_VST3_CALL setState(IBStream* state) = 0;
    virtual tresult ZB_VST3_CALL getState(IBStream* state) = 0;
    virtual int32 ZB_VST3_CALL getParameterCount() = 0;
    virtual tresult ZB_VST3_CALL getParameterInfo(int32 paramIndex, ParameterInfo* info) = 0;
    virtual tresult ZB_VST3_CALL getParamStringByValue(ParamID id, ParamValue valueNormalized, char16* string) = 0;
    virtual tresult ZB_VST3_CALL getParamValueByString(ParamID id, char16* string, ParamValue* valueNormalized) = 0;
    virtual ParamValue ZB_VST3_CALL normalizedParamToPlain(ParamID id, ParamValue valueNormalized) = 0;
    virtual ParamValue ZB_VST3_CALL plainParamToNormalized(ParamID id, ParamValue plainValue) = 0;
    virtual ParamValue ZB_VST3_CALL getParamNormalized(ParamID id) = 0;
    virtual tresult ZB_VST3_CALL setParamNormalized(ParamID id, ParamValue value) = 0;
    virtual tresult ZB_VST3_CALL setComponentHandler(IComponentHandler* handler) = 0;
    virtual IPlugView* ZB_VST3_CALL createView(FIDString name) = 0;
};

// ---- Units and programs ----
struct UnitInfo {
    UnitID id;
    UnitID parentUnitId;
    String128 name;
    ProgramListID programListId;
};

struct ProgramListInfo {
    ProgramListID id;
    String128 name;
    int32 programCount;
};

class IUnitInfo : public FUnknown {
  public:
    static constexpr Uid iid = Uid::make(0x3D4BD6B5, 0x913A4FD2, 0xA886E768, 0xA5EB92C1);
    virtual int32 ZB_VST3_CALL getUnitCount() = 0;
    virtual tresult ZB_VST3_CALL getUnitInfo(int32 unitIndex, UnitInfo* info) = 0;
    virtual int32 ZB_VST3_CALL getProgramListCount() = 0;
    virtual tresult ZB_VST3_CALL getProgramListInfo(int32 listIndex, ProgramListInfo* info) = 0;
    virtual tresult ZB_VST3_CALL getProgramName(ProgramListID listId, int32 programIndex, char16* name) = 0;
    virtual tresult ZB_VST3_CALL getProgramInfo(ProgramListID listId, int32 programIndex, const char* attributeId,
                                                char16* attributeValue) = 0;
    virtual tresult ZB_VST3_CALL hasProgramPitchNames(ProgramListID listId, int32 programIndex) = 0;
    virtual tresult ZB_VST3_CALL getProgramPitchName(ProgramListID listId, int32 programIndex, int16 midiPitch,
                                                     char16* name) = 0;
    virtual UnitID ZB_VST3_CALL getSelectedUnit() = 0;
    virtual tresult ZB_VST3_CALL selectUnit(UnitID unitId) = 0;
    virtual tresult ZB_VST3_CALL getUnitByBus(MediaType type, BusDirection dir, int32 busIndex, int32 channel,
                                              UnitID* unitId) = 0;
    virtual tresult ZB_VST3_CALL setUnitProgramData(int32 listOrUnitId, int32 programIndex, IBStream* data) = 0;
};

// ---- Editor ----
struct ViewRect {
    int32 left;
    int32 top;
    int32 right;
    int32 bottom;
};

class IPlugFrame : public FUnknown {
  public:
    static constexpr Uid iid = Uid::make(0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3);
    virtual tresult ZB_VST3_CALL resizeView(IPlugView* view, ViewRect* newSize) = 0;
};

class IPlugView : public FUnknown {
  public:
    static constexpr Uid iid = Uid::make(0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29);
    virtual tresult ZB_VST3_CALL isPlatformTypeSupported(FIDString type) = 0;
    virtual tresult ZB_VST3_CALL attached(void* parent, FIDString type) = 0;
    virtual tresult ZB_VST3_CALL removed() = 0;
    virtual tresult ZB_VST3_CALL onWheel(float distance) = 0;
    virtual tresult ZB_VST3_CALL onKeyDown(char16 key, int16 keyCode, int16 modifiers) = 0;
    virtual tresult ZB_VST3_CALL onKeyUp(char16 key, int16 keyCode, int16 modifiers) = 0;
    virtual tresult ZB_VST3_CALL getSize(ViewRect* size) = 0;
    virtual tresult ZB_VST3_CALL onSize(ViewRect* newSize) = 0;
    virtual tresult ZB_VST3_CALL onFocus(TBool state) = 0;
    virtual tresult ZB_VST3_CALL setFrame(IPlugFrame* frame) = 0;
    virtual tresult ZB_VST3_CALL canResize() = 0;
    virtual tresult ZB_VST3_CALL checkSizeConstraint(ViewRect* rect) = 0;
};

// Asked of the view: the host says how many device pixels a logical one takes on its screen.
class IPlugViewContentScaleSupport : public FUnknown {
  public:
    static constexpr Uid iid = Uid::make(0x65ED9690, 0x8AC44525, 0x8AADEF7A, 0x72EA703F);
    virtual tresult ZB_VST3_CALL setContentScaleFactor(float factor) = 0;
};

// Linux only: the host's event loop, lent to the editor.
class IEventHandler : public FUnknown {
  public:
    static constexpr Uid iid = Uid::make(0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983);
    virtual void ZB_VST3_CALL onFDIsSet(int fd) = 0;
};

class ITimerHandler : public FUnknown {
  public:
    static constexpr Uid iid = Uid::make(0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9);
    virtual void ZB_VST3_CALL onTimer() = 0;
};

class IRunLoop : public FUnknown {
  public:
    static constexpr Uid iid = Uid::make(0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389);
    virtual tresult ZB_VST3_CALL registerEventHandler(IEventHandler* handler, int fd) = 0;
    virtual tresult ZB_VST3_CALL unregisterEventHandler(IEventHandler* handler) = 0;
    virtual tresult ZB_VST3_CALL registerTimer(ITimerHandler* handler, uint64 milliseconds) = 0;
    virtual tresult ZB_VST3_CALL unregisterTimer(ITimerHandler* handler) = 0;
};

// Ours, not the published interface: the plug-in's vendor-specific calls (the editor's picture),
// for our own host. Other hosts never ask for it.
class IZornbeckVendor : public FUnknown {
  public:
    static constexpr Uid iid = Uid::make(0x5A6F726E, 0x6265636B, 0x56656E64, 0x6F720001);
    virtual int64 ZB_VST3_CALL vendorSpecific(int32 index, int64 value, void* ptr, float opt) = 0;
};

// The published sizes; a mismatch here would shift every field a host reads.
static_assert(sizeof(PFactoryInfo) == 452);
static_assert(sizeof(PClassInfo) == 116);
static_assert(sizeof(PClassInfo2) == 440);
static_assert(sizeof(PClassInfoW) == 696);
static_assert(sizeof(BusInfo) == 276);
static_assert(sizeof(ProcessSetup) == 24);
static_assert(sizeof(AudioBusBuffers) == 24);
static_assert(sizeof(ProcessData) == 80);
static_assert(offsetof(ProcessData, inputs) == 24 && offsetof(ProcessData, processContext) == 72);
static_assert(sizeof(ParameterInfo) == 792);
static_assert(offsetof(ParameterInfo, defaultNormalizedValue) == 776 && offsetof(ParameterInfo, flags) == 788);
static_assert(sizeof(UnitInfo) == 268);
static_assert(sizeof(ProgramListInfo) == 264);
static_assert(sizeof(ViewRect) == 16);

// UTF-16 text into a fixed field, always terminated.
// UTF-8 into a fixed UTF-16 field, always terminated; a stray byte is taken as Latin-1.
inline void copyText(char16* to, std::size_t capacity, const char* from) {
    std::size_t n = 0;
    const auto* s = reinterpret_cast<const unsigned char*>(from != nullptr ? from : "");
    while (*s != 0 && n + 1 < capacity) {
        if (s[0] >= 0xC0 && s[0] < 0xE0 && (s[1] & 0xC0) == 0x80) {
            to[n++] = static_cast<char16>(((s[0] & 0x1F) << 6) | (s[1] & 0x3F));
            s += 2;
        } else if (s[0] >= 0xE0 && s[0] < 0xF0 && (s[1] & 0xC0) == 0x80 && (s[2] & 0xC0) == 0x80) {
            to[n++] = static_cast<char16>(((s[0] & 0x0F) << 12) | ((s[1] & 0x3F) << 6) | (s[2] & 0x3F));
            s += 3;
        } else {
            to[n++] = *s++;
        }
    }
    to[n] = 0;
}

// UTF-16 from a host into UTF-8, at most `capacity` - 1 bytes.
inline void toUtf8(char* to, std::size_t capacity, const char16* from) {
    std::size_t n = 0;
    for (std::size_t i = 0; from != nullptr && from[i] != 0 && i < 128; ++i) {
        const unsigned c = from[i];
        const std::size_t need = c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
        if (n + need >= capacity) {
            break;
        }
        if (need == 1) {
            to[n++] = static_cast<char>(c);
        } else if (need == 2) {
            to[n++] = static_cast<char>(0xC0 | (c >> 6));
            to[n++] = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            to[n++] = static_cast<char>(0xE0 | (c >> 12));
            to[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            to[n++] = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    to[n] = 0;
}

inline void copyText(char* to, std::size_t capacity, const char* from) {
    std::size_t n = 0;
    for (; from != nullptr && from[n] != 0 && n + 1 < capacity; ++n) {
        to[n] = from[n];
    }
    to[n] = 0;
}

}  // namespace vst3
