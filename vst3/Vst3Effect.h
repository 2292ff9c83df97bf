// The VST 3 face: one object that is component, processor, controller and program list, around
// one FaceHost. A single component because Ardour, the VST 3 host we can test with, accepts it
// and connects a split pair only through a proxy; everything lives in one process anyway.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "model/Program.h"
#include "plugin/FaceHost.h"
#include "vst3/Vst3Interfaces.h"

namespace vst3 {

class Vst3View;

// Parameter ids beyond the VST 2.4 indices.
constexpr ParamID kProgramParamId = kNumParams;      // 739: the program list's selector
constexpr ParamID kBypassParamId = kNumParams + 1;   // 740: the host's bypass, driving Active
constexpr int kParamIdCount = kNumParams + 2;
constexpr ProgramListID kProgramListId = 1;

// IComponent and IEditController both name their state calls setState/getState; these bases give
// each its own name so one object can answer both.
class ComponentSide : public IComponent {
  public:
    tresult ZB_VST3_CALL setState(IBStream* state) final { return loadState(state); }
    tresult ZB_VST3_CALL getState(IBStream* state) final { return saveState(state); }
    virtual tresult loadState(IBStream* state) = 0;
    virtual tresult saveState(IBStream* state) = 0;
};

class ControllerSide : public IEditController {
  public:
    tresult ZB_VST3_CALL setState(IBStream*) final { return kResultOk; }  // all of it is the component's
    tresult ZB_VST3_CALL getState(IBStream*) final { return kResultOk; }
};

class Vst3Effect final : public ComponentSide,
                         public IAudioProcessor,
                         public ControllerSide,
                         public IUnitInfo,
                         public IZornbeckVendor {
  public:
    Vst3Effect();
    Vst3Effect(const Vst3Effect&) = delete;
    Vst3Effect& operator=(const Vst3Effect&) = delete;

    // FUnknown
    tresult ZB_VST3_CALL queryInterface(const char* iid, void** obj) override;
    uint32 ZB_VST3_CALL addRef() override;
    uint32 ZB_VST3_CALL release() override;

    // IPluginBase (component and controller alike)
    tresult ZB_VST3_CALL initialize(FUnknown* context) override;
    tresult ZB_VST3_CALL terminate() override;

    // IComponent
    tresult ZB_VST3_CALL getControllerClassId(char* classId) override;
    tresult ZB_VST3_CALL setIoMode(IoMode mode) override;
    int32 ZB_VST3_CALL getBusCount(MediaType type, BusDirection dir) override;
    tresult ZB_VST3_CALL getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo* bus) override;
    tresult ZB_VST3_CALL getRoutingInfo(RoutingInfo* inInfo, RoutingInfo* outInfo) override;
    tresult ZB_VST3_CALL activateBus(MediaType type, BusDirection dir, int32 index, TBool state) override;
    tresult ZB_VST3_CALL setActive(TBool state) override;
    tresult loadState(IBStream* state) override;
    tresult saveState(IBStream* state) override;

    // IAudioProcessor
    tresult ZB_VST3_CALL setBusArrangements(SpeakerArrangement* inputs, int32 numIns, SpeakerArrangement* outputs,
                                            int32 numOuts) override;
    tresult ZB_VST3_CALL getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement* arr) override;
    tresult ZB_VST3_CALL canProcessSampleSize(int32 symbolicSampleSize) override;
    uint32 ZB_VST3_CALL getLatencySamples() override;
    tresult ZB_VST3_CALL setupProcessing(ProcessSetup* setup) override;
    tresult ZB_VST3_CALL setProcessing(TBool state) override;
    tresult ZB_VST3_CALL process(ProcessData* data) override;
    uint32 ZB_VST3_CALL getTailSamples() override;

    // IEditController
    tresult ZB_VST3_CALL setComponentState(IBStream* state) override;
    int32 ZB_VST3_CALL getParameterCount() override;
    tresult ZB_VST3_CALL getParameterInfo(int32 paramIndex, ParameterInfo* info) override;
    tresult ZB_VST3_CALL getParamStringByValue(ParamID id, ParamValue valueNormalized, char16* string) override;
    tresult ZB_VST3_CALL getParamValueByString(ParamID id, char16* string, ParamValue* valueNormalized) override;
    ParamValue ZB_VST3_CALL normalizedParamToPlain(ParamID id, ParamValue valueNormalized) override;
    ParamValue ZB_VST3_CALL plainParamToNormalized(ParamID id, ParamValue plainValue) override;
    ParamValue ZB_VST3_CALL getParamNormalized(ParamID id) override;
    tresult ZB_VST3_CALL setParamNormalized(ParamID id, ParamValue value) override;
    tresult ZB_VST3_CALL setComponentHandler(IComponentHandler* handler) override;
    IPlugView* ZB_VST3_CALL createView(FIDString name) override;

    // IUnitInfo
    int32 ZB_VST3_CALL getUnitCount() override;
    tresult ZB_VST3_CALL getUnitInfo(int32 unitIndex, UnitInfo* info) override;
    int32 ZB_VST3_CALL getProgramListCount() override;
    tresult ZB_VST3_CALL getProgramListInfo(int32 listIndex, ProgramListInfo* info) override;
    tresult ZB_VST3_CALL getProgramName(ProgramListID listId, int32 programIndex, char16* name) override;
    tresult ZB_VST3_CALL getProgramInfo(ProgramListID listId, int32 programIndex, const char* attributeId,
                                        char16* attributeValue) override;
    tresult ZB_VST3_CALL hasProgramPitchNames(ProgramListID listId, int32 programIndex) override;
    tresult ZB_VST3_CALL getProgramPitchName(ProgramListID listId, int32 programIndex, int16 midiPitch,
                                             char16* name) override;
    UnitID ZB_VST3_CALL getSelectedUnit() override;
    tresult ZB_VST3_CALL selectUnit(UnitID unitId) override;
    tresult ZB_VST3_CALL getUnitByBus(MediaType type, BusDirection dir, int32 busIndex, int32 channel,
                                      UnitID* unitId) override;
    tresult ZB_VST3_CALL setUnitProgramData(int32 listOrUnitId, int32 programIndex, IBStream* data) override;

    // IZornbeckVendor
    int64 ZB_VST3_CALL vendorSpecific(int32 index, int64 value, void* ptr, float opt) override;

    // For the view, on the user-interface thread.
    FaceHost& host() { return host_; }
    bool claimEditor(Vst3View* view);
    void releaseEditor(Vst3View* view);
    // Deferred host notifications, sent from the editor's timer: never inside a host's call.
    void deliverDeferred();

    // The exposed ids in order: the named VST 2.4 indices, then the program and bypass ids.
    static const std::vector<ParamID>& exposedIds();
    static bool exposed(ParamID id);

  private:
    ~Vst3Effect();

    class Listener final : public FaceHost::Listener {
      public:
        explicit Listener(Vst3Effect& owner) : owner_(owner) {}
        void parameterEdited(int index, float value) override;
        void beginEdit(int index) override;
        void endEdit(int index) override;
        void displayChanged() override;
        bool resizeEditor(int width, int height) override;

      private:
        Vst3Effect& owner_;
    };

    // The id a VST 2.4 index is shown under, and the value it is shown with; false if hidden.
    static bool hostId(int index, float value, ParamID& id, ParamValue& shown);
    ParamValue currentValue(ParamID id) const;
    void applyValue(ParamID id, ParamValue value);
    void switchProgram(int program);
    void valuesChanged();
    void reportChanges(IParameterChanges* out);
    void prepareSilence();

    std::atomic<uint32> refs_{1};
    // False while the core is being made: it calls its host before it can answer anything.
    bool ready_ = false;
    Listener listener_;
    FaceHost host_;
    FUnknown* context_ = nullptr;
    IComponentHandler* handler_ = nullptr;
    bool initialized_ = false;
    bool active_ = false;
    bool processing_ = false;
    bool fresh_ = true;  // nothing processed since the core was last prepared
    double rate_ = 44100.0;
    int maxFrames_ = 512;
    SpeakerArrangement inputArrangement_ = kArrangementStereo;
    Vst3View* editor_ = nullptr;

    // Audio thread: the values the host was last told, and the points of one block in time order.
    struct Point {
        int32 offset;
        int32 order;
        ParamID id;
        float value;
    };
    std::array<float, kParamIdCount> reported_{};
    // What a new instance plays: the parameters' defaults.
    std::array<float, kNumParams> defaults_{};
    std::vector<Point> points_;
    std::vector<float> silence_;
    // Set on the control side when many values changed at once; the audio thread reports them.
    std::atomic<bool> reportPending_{false};
    std::atomic<bool> restartPending_{false};
    std::atomic<int> program_{0};
};

}  // namespace vst3
