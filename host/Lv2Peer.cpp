#include "Lv2Peer.h"

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cstring>

namespace zb {

struct Lv2Peer::World {
    // Many plug-ins need URIDs even to read an empty event sequence.
    std::vector<std::string> uris;
    LV2_URID_Map map{this, &World::mapUri};
    LV2_Feature mapFeature{LV2_URID__map, &map};
    const LV2_Feature* features[2] = {&mapFeature, nullptr};
    LilvWorld* world = nullptr;
    LilvInstance* instance = nullptr;
    bool active = false;

    ~World() {
        if (instance != nullptr) {
            if (active) {
                lilv_instance_deactivate(instance);
            }
            lilv_instance_free(instance);
        }
        if (world != nullptr) {
            lilv_world_free(world);
        }
    }

    static LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri) {
        std::vector<std::string>& known = static_cast<World*>(handle)->uris;
        const auto at = std::find(known.begin(), known.end(), uri);
        if (at != known.end()) {
            return static_cast<LV2_URID>(at - known.begin() + 1);
        }
        known.emplace_back(uri);
        return static_cast<LV2_URID>(known.size());
    }
};

namespace {

// A node made for one query, freed when it goes out of scope.
struct Node {
    LilvNode* node;
    ~Node() { lilv_node_free(node); }
};

}  // namespace

std::unique_ptr<Lv2Peer> Lv2Peer::load(const std::string& uri, double sampleRate, int maxFrames,
                                       std::string& error) {
    std::unique_ptr<Lv2Peer> peer(new Lv2Peer());
    peer->world_ = std::make_unique<World>();
    LilvWorld* world = lilv_world_new();
    peer->world_->world = world;
    lilv_world_load_all(world);
    const Node wanted{lilv_new_uri(world, uri.c_str())};
    const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), wanted.node);
    if (plugin == nullptr) {
        error = "no installed LV2 plug-in has the URI " + uri;
        return nullptr;
    }
    LilvNode* name = lilv_plugin_get_name(plugin);
    peer->name_ = name != nullptr ? lilv_node_as_string(name) : uri;
    lilv_node_free(name);

    const Node audioClass{lilv_new_uri(world, LILV_URI_AUDIO_PORT)};
    const Node controlClass{lilv_new_uri(world, LILV_URI_CONTROL_PORT)};
    const Node inputClass{lilv_new_uri(world, LILV_URI_INPUT_PORT)};
    const Node atomClass{lilv_new_uri(world, LV2_ATOM__AtomPort)};
    const std::uint32_t ports = lilv_plugin_get_num_ports(plugin);
    peer->maxFrames_ = maxFrames;
    peer->controls_.assign(ports, 0.0f);
    peer->symbols_.resize(ports);
    peer->audio_.resize(ports);
    for (std::uint32_t p = 0; p < ports; ++p) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, p);
        peer->symbols_[p] = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
        const bool input = lilv_port_is_a(plugin, port, inputClass.node);
        if (lilv_port_is_a(plugin, port, audioClass.node)) {
            peer->audio_[p].assign(static_cast<std::size_t>(maxFrames), 0.0f);
            (input ? peer->audioIn_ : peer->audioOut_).push_back(static_cast<int>(p));
        } else if (lilv_port_is_a(plugin, port, controlClass.node)) {
            LilvNode* value = nullptr;
            lilv_port_get_range(plugin, port, &value, nullptr, nullptr);
            peer->controls_[p] = value != nullptr ? lilv_node_as_float(value) : 0.0f;
            lilv_node_free(value);
        } else if (lilv_port_is_a(plugin, port, atomClass.node)) {
            // Events in: an empty sequence; events out: room the plug-in may write into.
            (input ? peer->eventIn_ : peer->eventOut_).push_back(static_cast<int>(p));
            peer->audio_[p].assign(kEventFloats, 0.0f);
        } else {
            error = peer->name_ + " has a port (" + peer->symbols_[p] +
                    ") that is neither audio, control nor events; such plug-ins cannot be compared";
            return nullptr;
        }
    }
    if (peer->audioIn_.empty() || peer->audioOut_.empty()) {
        error = peer->name_ + " has no audio input or output to compare";
        return nullptr;
    }

    LilvInstance* instance = lilv_plugin_instantiate(plugin, sampleRate, peer->world_->features);
    if (instance == nullptr) {
        error = peer->name_ + " could not be instantiated at " + std::to_string(sampleRate) + " Hz";
        return nullptr;
    }
    peer->world_->instance = instance;
    peer->sequenceUrid_ = World::mapUri(peer->world_.get(), LV2_ATOM__Sequence);
    peer->chunkUrid_ = World::mapUri(peer->world_.get(), LV2_ATOM__Chunk);
    for (std::uint32_t p = 0; p < ports; ++p) {
        void* at = peer->audio_[p].empty() ? static_cast<void*>(&peer->controls_[p])
                                           : static_cast<void*>(peer->audio_[p].data());
        lilv_instance_connect_port(instance, p, at);
    }
    lilv_instance_activate(instance);
    peer->world_->active = true;
    return peer;
}

Lv2Peer::~Lv2Peer() = default;

// Before each run, as the interface asks: inputs hold an empty sequence, outputs declare their
// capacity.
void Lv2Peer::resetEvents() {
    for (int p : eventIn_) {
        auto* events = reinterpret_cast<LV2_Atom_Sequence*>(audio_[static_cast<std::size_t>(p)].data());
        events->atom.size = sizeof(LV2_Atom_Sequence_Body);
        events->atom.type = sequenceUrid_;
        events->body.unit = 0;
        events->body.pad = 0;
    }
    for (int p : eventOut_) {
        auto* events = reinterpret_cast<LV2_Atom_Sequence*>(audio_[static_cast<std::size_t>(p)].data());
        events->atom.size = static_cast<std::uint32_t>(kEventFloats * sizeof(float) - sizeof(LV2_Atom));
        events->atom.type = chunkUrid_;
    }
}

bool Lv2Peer::setControl(const std::string& symbol, float value) {
    for (std::size_t p = 0; p < symbols_.size(); ++p) {
        if (symbols_[p] == symbol && audio_[p].empty()) {
            controls_[p] = value;
            return true;
        }
    }
    return false;
}

// A host connects its buffers before each run, as the interface allows at any time outside it.
void Lv2Peer::process(float** inputs, float** outputs, int frames) {
    LilvInstance* instance = world_->instance;
    for (int done = 0; done < frames;) {
        const int n = std::min(frames - done, maxFrames_);
        for (std::size_t i = 0; i < audioIn_.size(); ++i) {
            lilv_instance_connect_port(instance, static_cast<std::uint32_t>(audioIn_[i]),
                                       inputs[std::min<std::size_t>(i, 1)] + done);
        }
        for (std::size_t o = 0; o < audioOut_.size(); ++o) {
            // Outputs beyond the second go to the port's own buffer.
            float* to = o < 2 ? outputs[o] + done : audio_[static_cast<std::size_t>(audioOut_[o])].data();
            lilv_instance_connect_port(instance, static_cast<std::uint32_t>(audioOut_[o]), to);
        }
        resetEvents();
        lilv_instance_run(instance, static_cast<std::uint32_t>(n));
        done += n;
    }
}

}  // namespace zb
