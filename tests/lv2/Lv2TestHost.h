// A small LV2 host on lilv, written for the tests from the LV2 interfaces alone: it finds the
// built bundle, instantiates the plug-in with the features a Linux host gives, connects every
// port, runs it, and saves, restores and loads presets through lilv and the state interface.
#pragma once

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/options/options.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace lv2t {

inline constexpr const char* kPluginUri = "urn:zornbeck:lv2:crowd";

inline std::string buildDir() {
    const char* dir = std::getenv("ZORNBECK_BUILD");
    return dir != nullptr ? dir : ".";
}

inline std::string bundleDir() { return buildDir() + "/Zornbeck.lv2/"; }

// URIs to numbers and back, for the plug-in and for lilv.
class Urids {
  public:
    LV2_URID map(const char* uri) {
        std::lock_guard lock(mutex_);
        for (std::size_t i = 0; i < uris_.size(); ++i) {
            if (uris_[i] == uri) {
                return static_cast<LV2_URID>(i + 1);
            }
        }
        uris_.emplace_back(uri);
        return static_cast<LV2_URID>(uris_.size());
    }
    const char* unmap(LV2_URID urid) {
        std::lock_guard lock(mutex_);
        return urid >= 1 && urid <= uris_.size() ? uris_[urid - 1].c_str() : nullptr;
    }

    LV2_URID_Map mapFeature{this, [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<Urids*>(h)->map(uri); }};
    LV2_URID_Unmap unmapFeature{this,
                                [](LV2_URID_Unmap_Handle h, LV2_URID u) { return static_cast<Urids*>(h)->unmap(u); }};

  private:
    std::mutex mutex_;
    std::vector<std::string> uris_;
};

// The world with only our bundle loaded.
class World {
  public:
    World() {
        world_ = lilv_world_new();
        LilvNode* bundle = lilv_new_file_uri(world_, nullptr, bundleDir().c_str());
        lilv_world_load_bundle(world_, bundle);
        lilv_node_free(bundle);
        LilvNode* uri = lilv_new_uri(world_, kPluginUri);
        plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), uri);
        lilv_node_free(uri);
    }
    ~World() {
        for (LilvNode* n : nodes_) {
            lilv_node_free(n);
        }
        lilv_world_free(world_);
    }
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    LilvWorld* world() const { return world_; }
    const LilvPlugin* plugin() const { return plugin_; }
    // A URI node kept for the world's lifetime.
    const LilvNode* uri(const char* text) {
        nodes_.push_back(lilv_new_uri(world_, text));
        return nodes_.back();
    }
    Urids& urids() { return urids_; }

    // The presets, in the order of their labels' program numbers as the bundle lists them.
    std::vector<const LilvNode*> presets() {
        std::vector<const LilvNode*> out;
        LilvNodes* related = lilv_plugin_get_related(plugin_, uri(LV2_PRESETS__Preset));
        LILV_FOREACH (nodes, i, related) {
            const LilvNode* preset = lilv_nodes_get(related, i);
            nodes_.push_back(lilv_node_duplicate(preset));
            lilv_world_load_resource(world_, preset);
            out.push_back(nodes_.back());
        }
        lilv_nodes_free(related);
        return out;
    }

    std::string label(const LilvNode* subject) {
        LilvNode* value = lilv_world_get(world_, subject, uri(LILV_NS_RDFS "label"), nullptr);
        std::string text = value != nullptr ? lilv_node_as_string(value) : "";
        lilv_node_free(value);
        return text;
    }

  private:
    LilvWorld* world_ = nullptr;
    const LilvPlugin* plugin_ = nullptr;
    std::vector<LilvNode*> nodes_;
    Urids urids_;
};

// One property of a saved state: its type and bytes.
struct Property {
    std::string type;
    std::vector<std::uint8_t> bytes;
    bool operator==(const Property&) const = default;
};
using State = std::map<std::string, Property>;

// One running instance with every port connected.
class Instance {
  public:
    Instance(World& world, double rate, int maxBlock = 512) : world_(world), maxBlock_(maxBlock) {
        Urids& u = world.urids();
        const LV2_URID intType = u.map(LV2_ATOM__Int);
        options_[0] = {LV2_OPTIONS_INSTANCE, 0, u.map(LV2_BUF_SIZE__maxBlockLength), sizeof(std::int32_t), intType,
                       &maxBlock_};
        options_[1] = {LV2_OPTIONS_INSTANCE, 0, u.map(LV2_BUF_SIZE__minBlockLength), sizeof(std::int32_t), intType,
                       &minBlock_};
        options_[2] = {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
        featureList_ = {{LV2_URID__map, &u.mapFeature},
                        {LV2_URID__unmap, &u.unmapFeature},
                        {LV2_OPTIONS__options, options_},
                        {LV2_BUF_SIZE__boundedBlockLength, nullptr}};
        for (LV2_Feature& f : featureList_) {
            features_.push_back(&f);
        }
        features_.push_back(nullptr);
        instance_ = lilv_plugin_instantiate(world.plugin(), rate, features_.data());
        if (instance_ == nullptr) {
            return;
        }
        const std::uint32_t ports = lilv_plugin_get_num_ports(world.plugin());
        values_.assign(ports, 0.0f);
        std::vector<float> defaults(ports, 0.0f);
        lilv_plugin_get_port_ranges_float(world.plugin(), nullptr, nullptr, defaults.data());
        for (std::uint32_t p = 0; p < ports; ++p) {
            const LilvPort* port = lilv_plugin_get_port_by_index(world.plugin(), p);
            if (lilv_port_is_a(world.plugin(), port, world.uri(LV2_CORE__ControlPort))) {
                values_[p] = defaults[p];
                lilv_instance_connect_port(instance_, p, &values_[p]);
            }
        }
        lilv_instance_activate(instance_);
    }
    ~Instance() {
        if (instance_ != nullptr) {
            lilv_instance_deactivate(instance_);
            lilv_instance_free(instance_);
        }
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    explicit operator bool() const { return instance_ != nullptr; }
    LilvInstance* lilv() const { return instance_; }
    const LV2_Feature* const* features() const { return features_.data(); }

    float& port(std::uint32_t index) { return values_.at(index); }
    std::uint32_t portIndex(const char* symbol) {
        LilvNode* node = lilv_new_string(world_.world(), symbol);
        const LilvPort* p = lilv_plugin_get_port_by_symbol(world_.plugin(), node);
        lilv_node_free(node);
        return p != nullptr ? lilv_port_get_index(world_.plugin(), p) : UINT32_MAX;
    }

    // Ports 0 and 1 are the inputs, 2 and 3 the outputs, as the description says.
    void run(const float* left, const float* right, float* outLeft, float* outRight, std::uint32_t frames) {
        lilv_instance_connect_port(instance_, 0, const_cast<float*>(left));
        lilv_instance_connect_port(instance_, 1, const_cast<float*>(right));
        lilv_instance_connect_port(instance_, 2, outLeft);
        lilv_instance_connect_port(instance_, 3, outRight);
        lilv_instance_run(instance_, frames);
    }

    const LV2_State_Interface* stateInterface() const {
        return static_cast<const LV2_State_Interface*>(lilv_instance_get_extension_data(instance_, LV2_STATE__interface));
    }

    // The plug-in's own properties, straight from its save call.
    State save() {
        State state;
        Saving saving{this, &state};
        const LV2_State_Interface* iface = stateInterface();
        if (iface == nullptr ||
            iface->save(lilv_instance_get_handle(instance_), &Instance::store, &saving, LV2_STATE_IS_POD, features_.data()) !=
                LV2_STATE_SUCCESS) {
            state.clear();
        }
        return state;
    }

    LV2_State_Status restore(const State& state) {
        Saving restoring{this, const_cast<State*>(&state)};
        const LV2_State_Interface* iface = stateInterface();
        return iface == nullptr ? LV2_STATE_ERR_NO_FEATURE
                                : iface->restore(lilv_instance_get_handle(instance_), &Instance::retrieve, &restoring, 0,
                                                 features_.data());
    }

    // A preset through lilv, as hosts load one: the plug-in's state, then the port values.
    bool loadPreset(const LilvNode* preset) {
        LilvState* state = lilv_state_new_from_world(world_.world(), &world_.urids().mapFeature, preset);
        if (state == nullptr) {
            return false;
        }
        lilv_state_restore(state, instance_, &Instance::setValue, this, 0, features_.data());
        lilv_state_free(state);
        return true;
    }

    // The whole state through lilv, with the port values, as a host saves a session.
    LilvState* lilvState() {
        return lilv_state_new_from_instance(world_.plugin(), instance_, &world_.urids().mapFeature, nullptr, nullptr,
                                            nullptr, nullptr, &Instance::getValue, this, LV2_STATE_IS_POD,
                                            features_.data());
    }
    void restoreLilvState(const LilvState* state) {
        lilv_state_restore(state, instance_, &Instance::setValue, this, 0, features_.data());
    }

  private:
    struct Saving {
        Instance* self;
        State* state;
    };

    static LV2_State_Status store(LV2_State_Handle handle, uint32_t key, const void* value, size_t size, uint32_t type,
                                  uint32_t) {
        auto* s = static_cast<Saving*>(handle);
        Urids& u = s->self->world_.urids();
        const auto* bytes = static_cast<const std::uint8_t*>(value);
        (*s->state)[u.unmap(key)] = {u.unmap(type), {bytes, bytes + size}};
        return LV2_STATE_SUCCESS;
    }

    static const void* retrieve(LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type, uint32_t* flags) {
        auto* s = static_cast<Saving*>(handle);
        Urids& u = s->self->world_.urids();
        auto it = s->state->find(u.unmap(key));
        if (it == s->state->end()) {
            return nullptr;
        }
        *size = it->second.bytes.size();
        *type = u.map(it->second.type.c_str());
        *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
        return it->second.bytes.data();
    }

    static void setValue(const char* symbol, void* data, const void* value, uint32_t size, uint32_t type) {
        auto* self = static_cast<Instance*>(data);
        const std::uint32_t index = self->portIndex(symbol);
        if (index < self->values_.size() && size == sizeof(float) &&
            type == self->world_.urids().map(LV2_ATOM__Float)) {
            self->values_[index] = *static_cast<const float*>(value);
        }
    }

    static const void* getValue(const char* symbol, void* data, uint32_t* size, uint32_t* type) {
        auto* self = static_cast<Instance*>(data);
        const std::uint32_t index = self->portIndex(symbol);
        if (index >= self->values_.size()) {
            return nullptr;
        }
        *size = sizeof(float);
        *type = self->world_.urids().map(LV2_ATOM__Float);
        return &self->values_[index];
    }

    World& world_;
    std::int32_t maxBlock_;
    std::int32_t minBlock_ = 1;
    LV2_Options_Option options_[3]{};
    std::vector<LV2_Feature> featureList_;
    std::vector<const LV2_Feature*> features_;
    LilvInstance* instance_ = nullptr;
    std::vector<float> values_;
};

}  // namespace lv2t
