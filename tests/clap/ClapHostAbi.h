// The CLAP binary interface as the test host sees it, declared separately from the plug-in's
// own declarations so that a mistake in one shows up against the other. Offsets are checked.
#pragma once

#include <cstddef>
#include <cstdint>

namespace th {

struct version_t {
    uint32_t major, minor, revision;
};
struct host_t;
struct plugin_t;

struct entry_t {
    version_t version;
    bool (*init)(const char*);
    void (*deinit)();
    const void* (*get_factory)(const char*);
};

struct descriptor_t {
    version_t version;
    const char *id, *name, *vendor, *url, *manual_url, *support_url, *version_text, *description;
    const char* const* features;
};

struct factory_t {
    uint32_t (*count)(const factory_t*);
    const descriptor_t* (*descriptor)(const factory_t*, uint32_t);
    const plugin_t* (*create)(const factory_t*, const host_t*, const char*);
};

struct plugin_t {
    const descriptor_t* desc;
    void* data;
    bool (*init)(const plugin_t*);
    void (*destroy)(const plugin_t*);
    bool (*activate)(const plugin_t*, double, uint32_t, uint32_t);
    void (*deactivate)(const plugin_t*);
    bool (*start_processing)(const plugin_t*);
    void (*stop_processing)(const plugin_t*);
    void (*reset)(const plugin_t*);
    int32_t (*process)(const plugin_t*, const struct process_t*);
    const void* (*get_extension)(const plugin_t*, const char*);
    void (*on_main_thread)(const plugin_t*);
};

struct host_t {
    version_t version;
    void* data;
    const char *name, *vendor, *url, *version_text;
    const void* (*get_extension)(const host_t*, const char*);
    void (*request_restart)(const host_t*);
    void (*request_process)(const host_t*);
    void (*request_callback)(const host_t*);
};

struct header_t {
    uint32_t size, time;
    uint16_t space, type;
    uint32_t flags;
};
struct param_value_t {
    header_t header;
    uint32_t param_id;
    void* cookie;
    int32_t note_id;
    int16_t port, channel, key;
    double value;
};
struct gesture_t {
    header_t header;
    uint32_t param_id;
};
struct in_events_t {
    void* ctx;
    uint32_t (*size)(const in_events_t*);
    const header_t* (*get)(const in_events_t*, uint32_t);
};
struct out_events_t {
    void* ctx;
    bool (*try_push)(const out_events_t*, const header_t*);
};
struct audio_buffer_t {
    float** data32;
    double** data64;
    uint32_t channels, latency;
    uint64_t constant_mask;
};
struct process_t {
    int64_t steady_time;
    uint32_t frames;
    const void* transport;
    const audio_buffer_t* in;
    audio_buffer_t* out;
    uint32_t in_count, out_count;
    const in_events_t* in_events;
    const out_events_t* out_events;
};

struct port_info_t {
    uint32_t id;
    char name[256];
    uint32_t flags, channels;
    const char* type;
    uint32_t in_place_pair;
};
struct ext_ports_t {
    uint32_t (*count)(const plugin_t*, bool);
    bool (*get)(const plugin_t*, uint32_t, bool, port_info_t*);
};
struct ports_config_t {
    uint32_t id;
    char name[256];
    uint32_t in_ports, out_ports;
    bool has_main_in;
    uint32_t main_in_channels;
    const char* main_in_type;
    bool has_main_out;
    uint32_t main_out_channels;
    const char* main_out_type;
};
struct ext_ports_config_t {
    uint32_t (*count)(const plugin_t*);
    bool (*get)(const plugin_t*, uint32_t, ports_config_t*);
    bool (*select)(const plugin_t*, uint32_t);
};
struct param_info_t {
    uint32_t id, flags;
    void* cookie;
    char name[256];
    char module[1024];
    double min, max, def;
};
struct ext_params_t {
    uint32_t (*count)(const plugin_t*);
    bool (*info)(const plugin_t*, uint32_t, param_info_t*);
    bool (*value)(const plugin_t*, uint32_t, double*);
    bool (*to_text)(const plugin_t*, uint32_t, double, char*, uint32_t);
    bool (*from_text)(const plugin_t*, uint32_t, const char*, double*);
    void (*flush)(const plugin_t*, const in_events_t*, const out_events_t*);
};
struct istream_t {
    void* ctx;
    int64_t (*read)(const istream_t*, void*, uint64_t);
};
struct ostream_t {
    void* ctx;
    int64_t (*write)(const ostream_t*, const void*, uint64_t);
};
struct ext_state_t {
    bool (*save)(const plugin_t*, const ostream_t*);
    bool (*load)(const plugin_t*, const istream_t*);
};
struct ext_u32_t {
    uint32_t (*get)(const plugin_t*);
};
struct ext_render_t {
    bool (*hard)(const plugin_t*);
    bool (*set)(const plugin_t*, int32_t);
};
struct window_t {
    const char* api;
    union {
        unsigned long x11;
        void* ptr;
    };
};
struct ext_gui_t {
    bool (*is_api_supported)(const plugin_t*, const char*, bool);
    bool (*get_preferred_api)(const plugin_t*, const char**, bool*);
    bool (*create)(const plugin_t*, const char*, bool);
    void (*destroy)(const plugin_t*);
    bool (*set_scale)(const plugin_t*, double);
    bool (*get_size)(const plugin_t*, uint32_t*, uint32_t*);
    bool (*can_resize)(const plugin_t*);
    void* get_resize_hints;
    bool (*adjust_size)(const plugin_t*, uint32_t*, uint32_t*);
    bool (*set_size)(const plugin_t*, uint32_t, uint32_t);
    bool (*set_parent)(const plugin_t*, const window_t*);
    bool (*set_transient)(const plugin_t*, const window_t*);
    void (*suggest_title)(const plugin_t*, const char*);
    bool (*show)(const plugin_t*);
    bool (*hide)(const plugin_t*);
};
struct ext_timer_t {
    void (*on_timer)(const plugin_t*, uint32_t);
};
struct ext_fd_t {
    void (*on_fd)(const plugin_t*, int, uint32_t);
};

static_assert(sizeof(entry_t) == 40 && sizeof(descriptor_t) == 88 && sizeof(factory_t) == 24);
static_assert(sizeof(plugin_t) == 96 && sizeof(host_t) == 88 && sizeof(process_t) == 64);
static_assert(sizeof(audio_buffer_t) == 32 && sizeof(param_value_t) == 56 &&
              offsetof(param_value_t, value) == 48);
static_assert(sizeof(gesture_t) == 20 && sizeof(port_info_t) == 288 && offsetof(port_info_t, type) == 272);
static_assert(sizeof(ports_config_t) == 304 && offsetof(ports_config_t, main_in_type) == 280 &&
              offsetof(ports_config_t, has_main_out) == 288);
static_assert(sizeof(param_info_t) == 1320 && offsetof(param_info_t, min) == 1296);
static_assert(sizeof(ext_gui_t) == 120 && sizeof(window_t) == 16);

constexpr uint32_t kInvalidId = 0xFFFFFFFFu;
constexpr uint16_t kParamValue = 5, kGestureBegin = 7, kGestureEnd = 8, kTransport = 9;
enum : uint32_t {
    kStepped = 1,
    kHidden = 4,
    kReadonly = 8,
    kBypass = 16,
    kAutomatable = 32,
    kModulatable = 1u << 10,
    kEnum = 1u << 16,
};

}  // namespace th
