// The LV2 plug-in: instantiation, ports, run and the state extension.
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <bit>
#include <cstring>

#include "editor/EffectEditor.h"
#include "lv2/Lv2Instance.h"

namespace lv2face {

Instance::Instance(double rate, int maxFrames, std::uint32_t bankKey, std::uint32_t programKey,
                   std::uint32_t chunkType, std::uint32_t intType, std::uint32_t longType)
    : host_(this, &EffectEditor::create, rate, maxFrames),
      bankKey_(bankKey),
      programKey_(programKey),
      chunkType_(chunkType),
      intType_(intType),
      longType_(longType) {
    // The ports start at the description's defaults, which are these values; a state restored
    // before the first block is not overwritten by ports the host has not touched.
    for (int k = 0; k < kControlPorts; ++k) {
        seen_[k] = std::bit_cast<std::uint32_t>(host_.getParameter(kPortParameter[static_cast<std::size_t>(k)]));
    }
}

void Instance::connect(std::uint32_t port, void* data) {
    if (port < kFirstControlPort) {
        audio_[port] = static_cast<float*>(data);
    } else if (port < kPortCount) {
        control_[port - kFirstControlPort] = static_cast<const float*>(data);
    }
}

void Instance::run(std::uint32_t frames) {
    for (int k = 0; k < kControlPorts; ++k) {
        if (control_[k] == nullptr) {
            continue;
        }
        const float value = *control_[k];
        const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
        if (bits != seen_[k]) {
            seen_[k] = bits;
            host_.setParameter(kPortParameter[static_cast<std::size_t>(k)], value);
        }
    }
    if (audio_[kInputLeft] == nullptr || audio_[kInputRight] == nullptr || audio_[kOutputLeft] == nullptr ||
        audio_[kOutputRight] == nullptr || frames == 0) {
        return;
    }
    const float* inputs[2] = {audio_[kInputLeft], audio_[kInputRight]};
    float* outputs[2] = {audio_[kOutputLeft], audio_[kOutputRight]};
    host_.process(inputs, 2, outputs, static_cast<int>(frames));
}

void Instance::parameterEdited(int index, float value) {
    if (UiSink* ui = ui_.load(std::memory_order_acquire)) {
        ui->edited(index, value);
    }
}

void Instance::beginEdit(int index) {
    if (UiSink* ui = ui_.load(std::memory_order_acquire)) {
        ui->touch(index, true);
    }
}

void Instance::endEdit(int index) {
    if (UiSink* ui = ui_.load(std::memory_order_acquire)) {
        ui->touch(index, false);
    }
}

bool Instance::resizeEditor(int width, int height) {
    UiSink* ui = ui_.load(std::memory_order_acquire);
    return ui != nullptr && ui->resized(width, height);
}

void Instance::displayChanged() {
    displayChanged_.store(true, std::memory_order_release);
}

namespace {

Instance* self(LV2_Handle handle) {
    return static_cast<Instance*>(handle);
}

const void* feature(const LV2_Feature* const* features, const char* uri) {
    for (int i = 0; features != nullptr && features[i] != nullptr; ++i) {
        if (std::strcmp(features[i]->URI, uri) == 0) {
            return features[i]->data;
        }
    }
    return nullptr;
}

// The longest block the host promises, else the VST 2.4 module's own 512 (longer blocks are
// split).
int blockLength(const LV2_Feature* const* features, LV2_URID_Map* map) {
    const auto* options = static_cast<const LV2_Options_Option*>(feature(features, LV2_OPTIONS__options));
    if (options == nullptr || map == nullptr) {
        return 512;
    }
    const LV2_URID maxKey = map->map(map->handle, LV2_BUF_SIZE__maxBlockLength);
    const LV2_URID intType = map->map(map->handle, LV2_ATOM__Int);
    for (const LV2_Options_Option* o = options; o->key != 0; ++o) {
        if (o->key == maxKey && o->type == intType && o->size == sizeof(std::int32_t) && o->value != nullptr) {
            const std::int32_t frames = *static_cast<const std::int32_t*>(o->value);
            if (frames > 0) {
                return frames;
            }
        }
    }
    return 512;
}

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
    if (!(rate > 0.0)) {
        return nullptr;
    }
    // Without urid:map the plug-in plays but keeps no state (a host that saves state maps URIs).
    auto* map = static_cast<LV2_URID_Map*>(const_cast<void*>(feature(features, LV2_URID__map)));
    const auto urid = [map](const char* uri) { return map != nullptr ? map->map(map->handle, uri) : 0u; };
    try {
        return new Instance(rate, blockLength(features, map), urid(kBankKeyUri), urid(kProgramKeyUri),
                            urid(LV2_ATOM__Chunk), urid(LV2_ATOM__Int), urid(LV2_ATOM__Long));
    } catch (...) {
        return nullptr;
    }
}

void connectPort(LV2_Handle handle, uint32_t port, void* data) {
    self(handle)->connect(port, data);
}

void activate(LV2_Handle) {}

void run(LV2_Handle handle, uint32_t frames) {
    self(handle)->run(frames);
}

void deactivate(LV2_Handle) {}

void cleanup(LV2_Handle handle) {
    delete self(handle);
}

LV2_State_Status save(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state, uint32_t,
                      const LV2_Feature* const*) {
    Instance& instance = *self(handle);
    if (instance.bankKey() == 0) {
        return LV2_STATE_ERR_NO_FEATURE;
    }
    const std::vector<std::uint8_t> bank = instance.host().chunk(false);
    if (bank.empty()) {
        return LV2_STATE_ERR_UNKNOWN;
    }
    const std::int32_t program = instance.host().program();
    const auto flags = static_cast<uint32_t>(LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
    LV2_State_Status status =
        store(state, instance.bankKey(), bank.data(), bank.size(), instance.chunkType(), flags);
    if (status == LV2_STATE_SUCCESS) {
        status = store(state, instance.programKey(), &program, sizeof program, instance.intType(), flags);
    }
    return status;
}

// The program number as stored, or -1 when there is none; false for a value that is no number.
bool readProgram(Instance& instance, LV2_State_Retrieve_Function retrieve, LV2_State_Handle state,
                 std::int64_t& number) {
    std::size_t size = 0;
    std::uint32_t type = 0;
    std::uint32_t flags = 0;
    number = -1;
    const void* value = retrieve(state, instance.programKey(), &size, &type, &flags);
    if (value == nullptr) {
        return true;
    }
    if (type == instance.intType() && size == sizeof(std::int32_t)) {
        std::int32_t program = 0;
        std::memcpy(&program, value, sizeof program);
        number = program;
        return true;
    }
    if (type == instance.longType() && size == sizeof(std::int64_t)) {
        std::memcpy(&number, value, sizeof number);  // an integer a host read as 64 bits
        return true;
    }
    return false;
}

// The bank first, then the program, as a VST 2.4 host restores a session; a preset carries only
// its program. A state with anything wrong in it changes nothing.
LV2_State_Status restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve, LV2_State_Handle state, uint32_t,
                         const LV2_Feature* const*) {
    Instance& instance = *self(handle);
    if (instance.bankKey() == 0) {
        return LV2_STATE_ERR_NO_FEATURE;
    }
    std::int64_t program = -1;
    if (!readProgram(instance, retrieve, state, program)) {
        return LV2_STATE_ERR_BAD_TYPE;
    }
    if (program < -1 || program >= FaceHost::programCount()) {
        return LV2_STATE_ERR_UNKNOWN;
    }
    std::size_t size = 0;
    std::uint32_t type = 0;
    std::uint32_t flags = 0;
    if (const void* bank = retrieve(state, instance.bankKey(), &size, &type, &flags)) {
        if (type != instance.chunkType()) {
            return LV2_STATE_ERR_BAD_TYPE;
        }
        if (!instance.host().setChunk(bank, size, false)) {
            return LV2_STATE_ERR_UNKNOWN;
        }
    }
    if (program >= 0) {
        instance.host().setProgram(static_cast<int>(program));
    }
    return LV2_STATE_SUCCESS;
}

const LV2_State_Interface kState = {save, restore};

const void* extensionData(const char* uri) {
    return std::strcmp(uri, LV2_STATE__interface) == 0 ? &kState : nullptr;
}

const LV2_Descriptor kDescriptor = {kPluginUri, instantiate, connectPort, activate,
                                    run,        deactivate,  cleanup,     extensionData};

}  // namespace
}  // namespace lv2face

extern "C" __attribute__((visibility("default"))) const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &lv2face::kDescriptor : nullptr;
}
