#include "vst3/Vst3Effect.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "editor/EffectEditor.h"
#include "model/ParameterTable.h"
#include "vst3/Vst3State.h"
#include "vst3/Vst3View.h"

namespace vst3 {
namespace {

constexpr int kLastProgram = kNumPrograms - 1;
// Points of one block kept in time order; a host sending more has the rest applied at once.
constexpr std::size_t kMaxPoints = 16384;
constexpr std::size_t kMaxStateBytes = 1 << 24;

// Hosts send program k as k / (N - 1) in float: round, so 5/23 (4.9999998 after the multiply)
// still selects program 5.
int programFromValue(ParamValue v) {
    if (!(v > 0.0)) {
        return 0;
    }
    return std::min(static_cast<int>(std::floor(v * kLastProgram + 0.5)), kLastProgram);
}

float storedValue(ParamValue v) {
    return static_cast<float>(std::clamp(v, 0.0, 1.0));
}

bool allZero(const float* data, int frames) {
    for (int i = 0; i < frames; ++i) {
        if (data[i] != 0.0f) {
            return false;
        }
    }
    return true;
}

}  // namespace

const std::vector<ParamID>& Vst3Effect::exposedIds() {
    static const std::vector<ParamID> ids = [] {
        std::vector<ParamID> list;
        for (int i = 0; i < kNumParams; ++i) {
            if (ParameterTable::row(i).automatable) {
                list.push_back(static_cast<ParamID>(i));
            }
        }
        list.push_back(kProgramParamId);
        list.push_back(kBypassParamId);
        return list;
    }();
    return ids;
}

bool Vst3Effect::exposed(ParamID id) {
    return id == kProgramParamId || id == kBypassParamId ||
           (id < static_cast<ParamID>(kNumParams) && ParameterTable::row(static_cast<int>(id)).automatable);
}

Vst3Effect::Vst3Effect() : listener_(*this), host_(&listener_, &EffectEditor::create) {
    points_.reserve(kMaxPoints);
    program_.store(host_.program());
    for (int index = 0; index < kNumParams; ++index) {
        defaults_[static_cast<std::size_t>(index)] = host_.getParameter(index);
    }
    for (ParamID id = 0; id < static_cast<ParamID>(kParamIdCount); ++id) {
        reported_[id] = static_cast<float>(currentValue(id));
    }
    prepareSilence();
    ready_ = true;
}

Vst3Effect::~Vst3Effect() {
    if (handler_ != nullptr) {
        handler_->release();
    }
    if (context_ != nullptr) {
        context_->release();
    }
}

// ---- FUnknown ----

tresult Vst3Effect::queryInterface(const char* iid, void** obj) {
    if (obj == nullptr) {
        return kInvalidArgument;
    }
    void* answer = nullptr;
    if (FUnknown::iid.is(iid) || IPluginBase::iid.is(iid) || IComponent::iid.is(iid)) {
        answer = static_cast<IComponent*>(this);
    } else if (IAudioProcessor::iid.is(iid)) {
        answer = static_cast<IAudioProcessor*>(this);
    } else if (IEditController::iid.is(iid)) {
        answer = static_cast<IEditController*>(this);
    } else if (IUnitInfo::iid.is(iid)) {
        answer = static_cast<IUnitInfo*>(this);
    } else if (IZornbeckVendor::iid.is(iid)) {
        answer = static_cast<IZornbeckVendor*>(this);
    }
    *obj = answer;
    if (answer == nullptr) {
        return kNoInterface;
    }
    addRef();
    return kResultOk;
}

uint32 Vst3Effect::addRef() {
    return refs_.fetch_add(1) + 1;
}

uint32 Vst3Effect::release() {
    const uint32 left = refs_.fetch_sub(1) - 1;
    if (left == 0) {
        delete this;
    }
    return left;
}

// ---- IPluginBase: a host initialises the one object as component and again as controller ----

tresult Vst3Effect::initialize(FUnknown* context) {
    if (initialized_) {
        return kResultFalse;
    }
    initialized_ = true;
    if (context != nullptr) {
        context->addRef();
        context_ = context;
    }
    return kResultOk;
}

tresult Vst3Effect::terminate() {
    if (!initialized_) {
        return kResultFalse;
    }
    initialized_ = false;
    setComponentHandler(nullptr);
    if (context_ != nullptr) {
        context_->release();
        context_ = nullptr;
    }
    return kResultOk;
}

// ---- IComponent ----

tresult Vst3Effect::getControllerClassId(char*) {
    return kNotImplemented;
}

tresult Vst3Effect::setIoMode(IoMode) {
    return kNotImplemented;
}

int32 Vst3Effect::getBusCount(MediaType type, BusDirection dir) {
    return type == kAudio && (dir == kInput || dir == kOutput) ? 1 : 0;
}

tresult Vst3Effect::getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo* bus) {
    if (bus == nullptr || type != kAudio || index != 0 || (dir != kInput && dir != kOutput)) {
        return kInvalidArgument;
    }
    const bool mono = dir == kInput && inputArrangement_ == kArrangementMono;
    bus->mediaType = kAudio;
    bus->direction = dir;
    bus->channelCount = mono ? 1 : 2;
    copyText(bus->name, 128, dir == kInput ? (mono ? "Mono In" : "Stereo In") : "Stereo Out");
    bus->busType = kMain;
    bus->flags = kDefaultActive;
    return kResultOk;
}

tresult Vst3Effect::getRoutingInfo(RoutingInfo*, RoutingInfo*) {
    return kNotImplemented;
}

tresult Vst3Effect::activateBus(MediaType type, BusDirection dir, int32 index, TBool) {
    return type == kAudio && index == 0 && (dir == kInput || dir == kOutput) ? kResultOk : kInvalidArgument;
}

tresult Vst3Effect::setActive(TBool state) {
    const bool on = state != 0;
    if (on == active_) {
        return kResultFalse;
    }
    active_ = on;
    // Every activation starts as a new instance would for this rate: a bounce always starts with
    // empty delay lines and reverb. An instance prepared and not yet run is left alone, as a
    // VST 2.4 host that never suspends it would leave it: preparing draws new voice phases.
    if (on && (!host_.prepared() || !fresh_ || rate_ != host_.sampleRate() || maxFrames_ != host_.maxFrames())) {
        host_.prepare(rate_, maxFrames_);
        prepareSilence();
        fresh_ = true;
    }
    return kResultOk;
}

void Vst3Effect::prepareSilence() {
    silence_.assign(static_cast<std::size_t>(std::max(maxFrames_, 512)), 0.0f);
}

tresult Vst3Effect::saveState(IBStream* stream) {
    if (stream == nullptr) {
        return kInvalidArgument;
    }
    std::vector<std::uint8_t> bytes = vst3state::encode(host_.program(), host_.chunk(false));
    std::size_t done = 0;
    while (done < bytes.size()) {
        int32 written = 0;
        const int32 want = static_cast<int32>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
        if (stream->write(bytes.data() + done, want, &written) != kResultOk || written <= 0) {
            return kResultFalse;
        }
        done += static_cast<std::size_t>(written);
    }
    return kResultOk;
}

tresult Vst3Effect::loadState(IBStream* stream) {
    if (stream == nullptr) {
        return kInvalidArgument;
    }
    // The stream carries no length: read to its end.
    std::vector<std::uint8_t> bytes;
    std::uint8_t block[65536];
    while (bytes.size() < kMaxStateBytes) {
        int32 got = 0;
        if (stream->read(block, sizeof block, &got) != kResultOk || got <= 0) {
            break;
        }
        bytes.insert(bytes.end(), block, block + std::min<int32>(got, sizeof block));
        if (got < static_cast<int32>(sizeof block)) {
            break;
        }
    }
    using vst3state::Decoded;
    const Decoded state = vst3state::decode(bytes.data(), bytes.size(), sizeof(Program));
    bool restored = false;
    switch (state.kind) {
        case Decoded::kNothing:
            break;
        case Decoded::kFaceState:
            restored = host_.setChunk(state.chunk, state.size, false);
            if (restored && state.program >= 0 && state.program < kNumPrograms && state.program != host_.program()) {
                host_.setProgram(state.program);
            }
            break;
        case Decoded::kBank:
        case Decoded::kProgram: {
            const bool preset = state.kind == Decoded::kProgram;
            restored = host_.setChunk(state.chunk, state.size, preset);
            if (!restored && state.chunk == bytes.data()) {
                restored = host_.setChunk(state.chunk, state.size, !preset);  // bare bytes: the other kind
            }
            break;
        }
    }
    if (!restored) {
        return kResultFalse;
    }
    program_.store(host_.program());
    valuesChanged();
    return kResultOk;
}

// ---- IAudioProcessor ----

tresult Vst3Effect::setBusArrangements(SpeakerArrangement* inputs, int32 numIns, SpeakerArrangement* outputs,
                                       int32 numOuts) {
    if (active_) {
        return kResultFalse;
    }
    const bool fits = numIns == 1 && numOuts == 1 && inputs != nullptr && outputs != nullptr &&
                      (inputs[0] == kArrangementStereo || inputs[0] == kArrangementMono) &&
                      outputs[0] == kArrangementStereo;
    inputArrangement_ = fits ? inputs[0] : kArrangementStereo;
    return fits ? kResultTrue : kResultFalse;
}

tresult Vst3Effect::getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement* arr) {
    if (arr == nullptr || index != 0 || (dir != kInput && dir != kOutput)) {
        return kInvalidArgument;
    }
    *arr = dir == kInput ? inputArrangement_ : kArrangementStereo;
    return kResultOk;
}

tresult Vst3Effect::canProcessSampleSize(int32 symbolicSampleSize) {
    return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

uint32 Vst3Effect::getLatencySamples() {
    return 0;
}

tresult Vst3Effect::setupProcessing(ProcessSetup* setup) {
    if (setup == nullptr || setup->symbolicSampleSize != kSample32 || !(setup->sampleRate > 0.0) ||
        !std::isfinite(setup->sampleRate) || setup->maxSamplesPerBlock <= 0) {
        return kInvalidArgument;
    }
    if (active_) {
        return kResultFalse;
    }
    rate_ = setup->sampleRate;
    maxFrames_ = setup->maxSamplesPerBlock;
    return kResultOk;
}

tresult Vst3Effect::setProcessing(TBool state) {
    processing_ = state != 0;
    return kResultOk;
}

void Vst3Effect::applyValue(ParamID id, ParamValue value) {
    if (id < static_cast<ParamID>(kNumParams)) {
        host_.setParameter(static_cast<int>(id), storedValue(value));
    } else if (id == kBypassParamId) {
        // Bypass drives Active, so the switch is heard with its cross-fade; releasing it leaves
        // a stored "on" value as it was.
        if (value >= 0.5) {
            host_.setParameter(parActiveIndex, 0.0f);
        } else if (param::bypassed(host_.getParameter(parActiveIndex))) {
            host_.setParameter(parActiveIndex, 1.0f);
        }
    }
}

ParamValue Vst3Effect::currentValue(ParamID id) const {
    if (id < static_cast<ParamID>(kNumParams)) {
        return host_.getParameter(static_cast<int>(id));
    }
    if (id == kProgramParamId) {
        return static_cast<ParamValue>(program_.load()) / kLastProgram;
    }
    if (id == kBypassParamId) {
        return param::bypassed(host_.getParameter(parActiveIndex)) ? 1.0 : 0.0;
    }
    return 0.0;
}

void Vst3Effect::reportChanges(IParameterChanges* out) {
    if (out == nullptr || !reportPending_.exchange(false)) {
        return;
    }
    for (ParamID id : exposedIds()) {
        const ParamValue now = currentValue(id);
        if (static_cast<float>(now) == reported_[id]) {
            continue;
        }
        int32 index = 0;
        IParamValueQueue* queue = out->addParameterData(&id, &index);
        if (queue != nullptr && queue->addPoint(0, now, &index) == kResultOk) {
            reported_[id] = static_cast<float>(now);
        }
    }
}

tresult Vst3Effect::process(ProcessData* data) {
    if (data == nullptr) {
        return kInvalidArgument;
    }
    if (data->symbolicSampleSize != kSample32) {
        return kInvalidArgument;
    }
    const int32 frames = std::max(data->numSamples, 0);
    fresh_ = fresh_ && frames == 0;

    // Every point of every queue, in time order. Program points are left out: the program is
    // switched on the control side (setParamNormalized), never here, and reported back below.
    points_.clear();
    if (IParameterChanges* changes = data->inputParameterChanges) {
        const int32 queues = changes->getParameterCount();
        for (int32 q = 0; q < queues; ++q) {
            IParamValueQueue* queue = changes->getParameterData(q);
            if (queue == nullptr) {
                continue;
            }
            const ParamID id = queue->getParameterId();
            if (!exposed(id) || id == kProgramParamId) {
                continue;
            }
            const int32 count = queue->getPointCount();
            for (int32 p = 0; p < count; ++p) {
                int32 offset = 0;
                ParamValue value = 0.0;
                if (queue->getPoint(p, &offset, &value) != kResultOk || !(value == value)) {
                    continue;
                }
                // A point may come at numSamples: the value reached at the block's end.
                offset = std::clamp(offset, 0, frames);
                if (points_.size() < kMaxPoints) {
                    points_.push_back({offset, static_cast<int32>(points_.size()), id, storedValue(value)});
                } else {
                    applyValue(id, value);
                    reported_[id] = static_cast<float>(currentValue(id));
                }
            }
        }
        std::sort(points_.begin(), points_.end(), [](const Point& a, const Point& b) {
            return a.offset != b.offset ? a.offset < b.offset : a.order < b.order;
        });
    }

    AudioBusBuffers* out = data->numOutputs > 0 ? data->outputs : nullptr;
    const bool audio = out != nullptr && out->numChannels >= 2 && out->channelBuffers32 != nullptr &&
                       out->channelBuffers32[0] != nullptr && out->channelBuffers32[1] != nullptr;
    const AudioBusBuffers* in = data->numInputs > 0 ? data->inputs : nullptr;
    int inputCount = in != nullptr && in->channelBuffers32 != nullptr ? std::min(in->numChannels, 2) : 0;
    for (int c = 0; c < inputCount; ++c) {
        if (in->channelBuffers32[c] == nullptr) {
            inputCount = 0;  // a missing channel: heard as silence
        }
    }

    // Each run between points is one call of the core.
    auto render = [&](int32 from, int32 to) {
        if (!audio) {
            return;
        }
        float* outputs[2] = {out->channelBuffers32[0] + from, out->channelBuffers32[1] + from};
        if (inputCount > 0) {
            const float* inputs[2] = {in->channelBuffers32[0] + from, in->channelBuffers32[inputCount - 1] + from};
            host_.process(inputs, inputCount, outputs, to - from);
            return;
        }
        // No input bus: silence in, in pieces as long as the silent buffer.
        while (from < to) {
            const int32 n = std::min<int32>(to - from, static_cast<int32>(silence_.size()));
            const float* inputs[1] = {silence_.data()};
            float* pieces[2] = {out->channelBuffers32[0] + from, out->channelBuffers32[1] + from};
            host_.process(inputs, 1, pieces, n);
            from += n;
        }
    };

    int32 cursor = 0;
    for (const Point& point : points_) {
        if (point.offset > cursor) {
            render(cursor, point.offset);
            cursor = point.offset;
        }
        applyValue(point.id, point.value);
        reported_[point.id] = static_cast<float>(currentValue(point.id));
    }
    if (cursor < frames) {
        render(cursor, frames);
    }

    if (audio) {
        out->silenceFlags = 0;
        for (int c = 0; c < out->numChannels; ++c) {
            float* channel = out->channelBuffers32[c];
            if (c >= 2 && channel != nullptr) {
                std::fill(channel, channel + frames, 0.0f);
            }
            if (channel != nullptr && allZero(channel, frames) && c < 64) {
                out->silenceFlags |= std::uint64_t(1) << c;
            }
        }
    } else if (out != nullptr && out->channelBuffers32 != nullptr) {
        for (int c = 0; c < out->numChannels; ++c) {
            if (out->channelBuffers32[c] != nullptr) {
                std::fill(out->channelBuffers32[c], out->channelBuffers32[c] + frames, 0.0f);
            }
        }
        out->silenceFlags = out->numChannels >= 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << out->numChannels) - 1;
    }
    reportChanges(data->outputParameterChanges);
    return kResultOk;
}

uint32 Vst3Effect::getTailSamples() {
    const double samples = std::ceil(host_.tailSeconds() * rate_);
    return samples >= 4294967294.0 ? 4294967294u : static_cast<uint32>(std::max(samples, 0.0));
}

// ---- IEditController ----

tresult Vst3Effect::setComponentState(IBStream*) {
    return kResultOk;  // the component's state is this object's: already restored
}

int32 Vst3Effect::getParameterCount() {
    return static_cast<int32>(exposedIds().size());
}

tresult Vst3Effect::getParameterInfo(int32 paramIndex, ParameterInfo* info) {
    const auto& ids = exposedIds();
    if (info == nullptr || paramIndex < 0 || paramIndex >= static_cast<int32>(ids.size())) {
        return kInvalidArgument;
    }
    std::memset(info, 0, sizeof *info);
    const ParamID id = ids[static_cast<std::size_t>(paramIndex)];
    info->id = id;
    info->unitId = 0;
    if (id == kProgramParamId) {
        copyText(info->title, 128, "Program");
        copyText(info->shortTitle, 128, "Program");
        info->stepCount = kLastProgram;
        info->flags = kCanAutomate | kIsList | kIsProgramChange;
        return kResultOk;
    }
    if (id == kBypassParamId) {
        copyText(info->title, 128, "Bypass");
        copyText(info->shortTitle, 128, "Bypass");
        info->stepCount = 1;
        info->flags = kCanAutomate | kIsBypass;
        return kResultOk;
    }
    const int index = static_cast<int>(id);
    char text[128] = {};
    ParameterTable::name(index, text, sizeof text);
    copyText(info->title, 128, text);
    text[0] = 0;
    ParameterTable::shortName(index, text, sizeof text);
    copyText(info->shortTitle, 128, text);
    copyText(info->units, 128, ParameterTable::unitText(index));
    info->stepCount = ParameterTable::row(index).steps;
    info->defaultNormalizedValue = defaults_[static_cast<std::size_t>(index)];
    info->flags = kCanAutomate;
    return kResultOk;
}

tresult Vst3Effect::getParamStringByValue(ParamID id, ParamValue valueNormalized, char16* string) {
    if (string == nullptr || !exposed(id)) {
        return kInvalidArgument;
    }
    char text[128] = {};
    if (id == kProgramParamId) {
        host_.programName(programFromValue(valueNormalized), text, sizeof text);
    } else if (id == kBypassParamId) {
        std::snprintf(text, sizeof text, "%s", valueNormalized >= 0.5 ? "on" : "off");
    } else {
        ParameterTable::display(static_cast<int>(id), storedValue(valueNormalized), text, sizeof text);
    }
    copyText(string, 128, text);
    return kResultOk;
}

tresult Vst3Effect::getParamValueByString(ParamID id, char16* string, ParamValue* valueNormalized) {
    if (string == nullptr || valueNormalized == nullptr || !exposed(id)) {
        return kInvalidArgument;
    }
    char text[384] = {};
    toUtf8(text, sizeof text, string);
    if (id == kProgramParamId) {
        for (int k = 0; k < kNumPrograms; ++k) {
            char name[64] = {};
            host_.programName(k, name, sizeof name);
            if (std::strcmp(name, text) == 0) {
                *valueNormalized = static_cast<ParamValue>(k) / kLastProgram;
                return kResultOk;
            }
        }
        char* end = nullptr;
        const long number = std::strtol(text, &end, 10);
        if (end != text && *end == 0 && number >= 1 && number <= kNumPrograms) {
            *valueNormalized = static_cast<ParamValue>(number - 1) / kLastProgram;
            return kResultOk;
        }
        return kResultFalse;
    }
    if (id == kBypassParamId) {
        const bool on = std::strcmp(text, "on") == 0 || std::strcmp(text, "1") == 0;
        const bool off = std::strcmp(text, "off") == 0 || std::strcmp(text, "0") == 0;
        if (!on && !off) {
            return kResultFalse;
        }
        *valueNormalized = on ? 1.0 : 0.0;
        return kResultOk;
    }
    float value = 0.0f;
    if (!ParameterTable::parse(static_cast<int>(id), text, value)) {
        return kResultFalse;
    }
    *valueNormalized = value;
    return kResultOk;
}

ParamValue Vst3Effect::normalizedParamToPlain(ParamID id, ParamValue valueNormalized) {
    if (id == kProgramParamId) {
        return programFromValue(valueNormalized);
    }
    if (id == kBypassParamId) {
        return valueNormalized >= 0.5 ? 1.0 : 0.0;
    }
    if (id >= static_cast<ParamID>(kNumParams)) {
        return valueNormalized;
    }
    return ParameterTable::toPlain(static_cast<int>(id), storedValue(valueNormalized));
}

ParamValue Vst3Effect::plainParamToNormalized(ParamID id, ParamValue plainValue) {
    if (id == kProgramParamId) {
        return std::clamp(std::round(plainValue), 0.0, double(kLastProgram)) / kLastProgram;
    }
    if (id == kBypassParamId) {
        return plainValue >= 0.5 ? 1.0 : 0.0;
    }
    if (id >= static_cast<ParamID>(kNumParams)) {
        return plainValue;
    }
    return ParameterTable::fromPlain(static_cast<int>(id), plainValue);
}

ParamValue Vst3Effect::getParamNormalized(ParamID id) {
    return exposed(id) ? currentValue(id) : 0.0;
}

tresult Vst3Effect::setParamNormalized(ParamID id, ParamValue value) {
    if (!exposed(id) || !(value == value)) {
        return kInvalidArgument;
    }
    if (id == kProgramParamId) {
        const int program = programFromValue(value);
        if (program != host_.program()) {
            switchProgram(program);
        }
        return kResultOk;
    }
    applyValue(id, value);
    return kResultOk;
}

void Vst3Effect::switchProgram(int program) {
    host_.setProgram(program);
    program_.store(host_.program());
    valuesChanged();
}

// Called inside host calls (setParamNormalized, setState): the host hears of the new values from
// the next process call, and from the editor's timer, never synchronously (Ardour 7.3 holds its
// process lock around those calls and would deadlock on a restartComponent).
void Vst3Effect::valuesChanged() {
    reportPending_.store(true);
    restartPending_.store(true);
}

void Vst3Effect::deliverDeferred() {
    if (restartPending_.exchange(false) && handler_ != nullptr) {
        handler_->restartComponent(kParamValuesChanged);
    }
}

tresult Vst3Effect::setComponentHandler(IComponentHandler* handler) {
    if (handler == handler_) {
        return kResultOk;
    }
    if (handler != nullptr) {
        handler->addRef();
    }
    if (handler_ != nullptr) {
        handler_->release();
    }
    handler_ = handler;
    return kResultOk;
}

IPlugView* Vst3Effect::createView(FIDString name) {
    if (name == nullptr || std::strcmp(name, "editor") != 0) {
        return nullptr;
    }
    return new (std::nothrow) Vst3View(*this);
}

bool Vst3Effect::claimEditor(Vst3View* view) {
    if (editor_ != nullptr && editor_ != view) {
        return false;  // the plug-in has one editor
    }
    editor_ = view;
    return true;
}

void Vst3Effect::releaseEditor(Vst3View* view) {
    if (editor_ == view) {
        editor_ = nullptr;
    }
}

// ---- The plug-in's own calls, from the editor (user-interface thread) ----

bool Vst3Effect::hostId(int index, float value, ParamID& id, ParamValue& shown) {
    if (index == parActiveIndex) {
        id = kBypassParamId;
        shown = param::bypassed(value) ? 1.0 : 0.0;
        return true;
    }
    if (index < 0 || index >= kNumParams || !ParameterTable::row(index).automatable) {
        return false;
    }
    id = static_cast<ParamID>(index);
    shown = value;
    return true;
}

void Vst3Effect::Listener::parameterEdited(int index, float value) {
    ParamID id = 0;
    ParamValue shown = 0.0;
    if (owner_.handler_ != nullptr && hostId(index, value, id, shown)) {
        owner_.handler_->performEdit(id, shown);
    }
}

void Vst3Effect::Listener::beginEdit(int index) {
    ParamID id = 0;
    ParamValue shown = 0.0;
    if (owner_.handler_ != nullptr && hostId(index, 0.0f, id, shown)) {
        owner_.handler_->beginEdit(id);
    }
}

void Vst3Effect::Listener::endEdit(int index) {
    ParamID id = 0;
    ParamValue shown = 0.0;
    if (owner_.handler_ != nullptr && hostId(index, 0.0f, id, shown)) {
        owner_.handler_->endEdit(id);
    }
}

void Vst3Effect::Listener::displayChanged() {
    if (!owner_.ready_) {
        return;
    }
    owner_.program_.store(owner_.host_.program());
    owner_.valuesChanged();
}

bool Vst3Effect::Listener::resizeEditor(int width, int height) {
    return owner_.editor_ != nullptr && owner_.editor_->resizeFromEditor(width, height);
}

int64 Vst3Effect::vendorSpecific(int32 index, int64 value, void* ptr, float opt) {
    AEffect* effect = host_.aeffect();
    return effect->dispatcher(effect, effVendorSpecific, index, static_cast<VstIntPtr>(value), ptr, opt);
}

// ---- IUnitInfo: one root unit with the 24 factory programs ----

int32 Vst3Effect::getUnitCount() {
    return 1;
}

tresult Vst3Effect::getUnitInfo(int32 unitIndex, UnitInfo* info) {
    if (info == nullptr || unitIndex != 0) {
        return kInvalidArgument;
    }
    info->id = 0;
    info->parentUnitId = -1;
    copyText(info->name, 128, "Root");
    info->programListId = kProgramListId;
    return kResultOk;
}

int32 Vst3Effect::getProgramListCount() {
    return 1;
}

tresult Vst3Effect::getProgramListInfo(int32 listIndex, ProgramListInfo* info) {
    if (info == nullptr || listIndex != 0) {
        return kInvalidArgument;
    }
    info->id = kProgramListId;
    copyText(info->name, 128, "Factory");
    info->programCount = kNumPrograms;
    return kResultOk;
}

tresult Vst3Effect::getProgramName(ProgramListID listId, int32 programIndex, char16* name) {
    if (name == nullptr || listId != kProgramListId || programIndex < 0 || programIndex >= kNumPrograms) {
        return kInvalidArgument;
    }
    char text[64] = {};
    host_.programName(programIndex, text, sizeof text);
    if (text[0] == 0) {
        std::snprintf(text, sizeof text, "Program %d", programIndex + 1);  // hosts skip unnamed ones
    }
    copyText(name, 128, text);
    return kResultOk;
}

tresult Vst3Effect::getProgramInfo(ProgramListID, int32, const char*, char16*) {
    return kResultFalse;
}

tresult Vst3Effect::hasProgramPitchNames(ProgramListID, int32) {
    return kResultFalse;
}

tresult Vst3Effect::getProgramPitchName(ProgramListID, int32, int16, char16*) {
    return kResultFalse;
}

UnitID Vst3Effect::getSelectedUnit() {
    return 0;
}

tresult Vst3Effect::selectUnit(UnitID) {
    return kResultOk;
}

tresult Vst3Effect::getUnitByBus(MediaType, BusDirection, int32, int32, UnitID*) {
    return kResultFalse;
}

tresult Vst3Effect::setUnitProgramData(int32, int32, IBStream*) {
    return kNotImplemented;
}

}  // namespace vst3
