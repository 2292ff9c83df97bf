// The editor's LV2 UI in a private X server, driven as a Linux host drives it: embedded in the
// host's window through ui:parent, idled through the idle interface, its edits arriving as port
// writes between touch begin and end, and opened and closed while the plug-in runs.
#include <gtest/gtest.h>
// After gtest: X11's macros clash with its names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <dlfcn.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

#include "Lv2TestHost.h"
#include "PluginLoader.h"
#include "model/ParameterTable.h"
#include "tests/toolkit/XvfbServer.h"

namespace {

constexpr int kLeft = 40, kTop = 30;

// What the UI told its host, in order.
struct UiEvent {
    enum Kind { kWrite, kGrab, kRelease } kind;
    std::uint32_t port;
    float value;
};

struct Lv2UiTest : ::testing::Test {
    XvfbServer server;
    Display* display = nullptr;
    Window parent = 0;
    std::unique_ptr<lv2t::World> world;
    std::unique_ptr<lv2t::Instance> dsp;
    void* library = nullptr;
    const LV2UI_Descriptor* descriptor = nullptr;
    LV2UI_Handle ui = nullptr;
    LV2UI_Widget widget = nullptr;
    const LV2UI_Idle_Interface* idle = nullptr;
    std::vector<UiEvent> events;
    int resizedWidth = 0, resizedHeight = 0;

    LV2UI_Touch touch{this, [](LV2UI_Feature_Handle h, uint32_t port, bool grabbed) {
                          static_cast<Lv2UiTest*>(h)->events.push_back(
                              {grabbed ? UiEvent::kGrab : UiEvent::kRelease, port, 0.0f});
                      }};
    LV2UI_Resize resize{this, [](LV2UI_Feature_Handle h, int width, int height) {
                            static_cast<Lv2UiTest*>(h)->resizedWidth = width;
                            static_cast<Lv2UiTest*>(h)->resizedHeight = height;
                            return 0;
                        }};

    void SetUp() override {
        if (!server.start()) {
            GTEST_SKIP() << "no Xvfb";
        }
        display = XOpenDisplay(server.display.c_str());
        ASSERT_TRUE(display);
        parent = mappedHostWindow(display, kLeft, kTop, 620, 432);

        world = std::make_unique<lv2t::World>();
        ASSERT_NE(world->plugin(), nullptr);
        dsp = std::make_unique<lv2t::Instance>(*world, 44100.0);
        ASSERT_TRUE(*dsp);
        // The UI the description names, from the binary it names.
        LilvUIs* uis = lilv_plugin_get_uis(world->plugin());
        ASSERT_EQ(lilv_uis_size(uis), 1u);
        const LilvUI* description = lilv_uis_get(uis, lilv_uis_begin(uis));
        char* path = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_binary_uri(description)), nullptr);
        const std::string uri = lilv_node_as_uri(lilv_ui_get_uri(description));
        lilv_uis_free(uis);
        // Loaded once and kept, as hosts keep plug-in libraries: the editor's drawing library
        // caches fonts made from bytes in this binary for as long as the process runs.
        static void* const kept = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        library = kept;
        lilv_free(path);
        ASSERT_NE(library, nullptr) << dlerror();
        auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library, "lv2ui_descriptor"));
        ASSERT_NE(entry, nullptr);
        descriptor = entry(0);
        ASSERT_NE(descriptor, nullptr);
        EXPECT_EQ(uri, descriptor->URI);
        idle = static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
        ASSERT_NE(idle, nullptr);
    }

    void TearDown() override {
        closeUi();
        dsp.reset();
        if (display != nullptr) {
            XDestroyWindow(display, parent);
            XCloseDisplay(display);
        }
    }

    static void write(LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
        auto* self = static_cast<Lv2UiTest*>(controller);
        if (format == 0 && size == sizeof(float)) {
            self->events.push_back({UiEvent::kWrite, port, *static_cast<const float*>(buffer)});
        }
    }

    // With ui:parent, the editor inside our window; without, for the show interface. A scale
    // above 0 is offered as the host's ui:scaleFactor.
    bool openUi(bool embedded = true, float scale = 0.0f) {
        lv2t::Urids& u = world->urids();
        LV2_Options_Option options[2] = {
            {LV2_OPTIONS_INSTANCE, 0, u.map(LV2_UI__scaleFactor), sizeof(float), u.map(LV2_ATOM__Float), &scale},
            {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
        std::vector<LV2_Feature> list = {
            {LV2_INSTANCE_ACCESS_URI, lilv_instance_get_handle(dsp->lilv())},
            {LV2_UI__touch, &touch},
            {LV2_UI__resize, &resize},
            {LV2_UI__idleInterface, nullptr},
            {LV2_URID__map, &world->urids().mapFeature},
        };
        if (embedded) {
            list.push_back({LV2_UI__parent, reinterpret_cast<void*>(parent)});
        }
        if (scale > 0.0f) {
            list.push_back({LV2_OPTIONS__options, options});
        }
        std::vector<const LV2_Feature*> features;
        for (const LV2_Feature& f : list) {
            features.push_back(&f);
        }
        features.push_back(nullptr);
        const std::string bundle = lv2t::bundleDir();
        ui = descriptor->instantiate(descriptor, lv2t::kPluginUri, bundle.c_str(), &Lv2UiTest::write, this, &widget,
                                     features.data());
        return ui != nullptr;
    }

    void closeUi() {
        if (ui != nullptr) {
            descriptor->cleanup(ui);
            ui = nullptr;
        }
    }

    std::vector<Window> children() {
        Window root = 0, up = 0, *list = nullptr;
        unsigned n = 0;
        XQueryTree(display, parent, &root, &up, &list, &n);
        std::vector<Window> out(list, list + n);
        if (list != nullptr) {
            XFree(list);
        }
        return out;
    }

    bool idleUntil(const std::function<bool()>& done, int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            XSync(display, False);
            EXPECT_EQ(idle->idle(ui), 0);
            if (done()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // The control port of a parameter: the named ones and Active, in index order, after the
    // four audio ports.
    static std::uint32_t portOf(int index) {
        std::uint32_t port = 4;
        for (int i = 0; i < index; ++i) {
            port += ParameterTable::row(i).automatable || i == parActiveIndex ? 1 : 0;
        }
        return port;
    }

    // The events for one port, in order.
    std::vector<UiEvent> eventsFor(std::uint32_t port) const {
        std::vector<UiEvent> out;
        for (const UiEvent& e : events) {
            if (e.port == port) {
                out.push_back(e);
            }
        }
        return out;
    }

    void runBlock() {
        std::vector<float> in(256, 0.0f), l(256), r(256);
        dsp->run(in.data(), in.data(), l.data(), r.data(), 256);
    }

    std::vector<unsigned long> picture(Window window) {
        XImage* image = XGetImage(display, window, 0, 0, 620, 432, AllPlanes, ZPixmap);
        std::vector<unsigned long> pixels;
        if (image != nullptr) {
            for (int y = 0; y < 432; ++y) {
                for (int x = 0; x < 620; ++x) {
                    pixels.push_back(XGetPixel(image, x, y) & 0xFFFFFF);
                }
            }
            XDestroyImage(image);
        }
        return pixels;
    }
};

TEST_F(Lv2UiTest, EmbedsTheEditorAtItsSizeAndReportsClicksAndDragsAsTouchedPortWrites) {
    ASSERT_TRUE(openUi());
    EXPECT_EQ(resizedWidth, 620);
    EXPECT_EQ(resizedHeight, 432);
    XSync(display, False);
    const std::vector<Window> inside = children();
    ASSERT_EQ(inside.size(), 1u);
    EXPECT_EQ(reinterpret_cast<Window>(widget), inside[0]);
    idleUntil([] { return false; }, 200);

    // A click on Solo.
    const std::uint32_t solo = portOf(parSoloIndex);
    XTestFakeMotionEvent(display, 0, kLeft + 400, kTop + 48, CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    ASSERT_TRUE(idleUntil([&] { return !eventsFor(solo).empty() && eventsFor(solo).back().kind == UiEvent::kRelease; },
                          3000));
    std::vector<UiEvent> got = eventsFor(solo);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].kind, UiEvent::kGrab);
    EXPECT_EQ(got[1].kind, UiEvent::kWrite);
    EXPECT_EQ(got[1].value, 1.0f);
    EXPECT_EQ(got[2].kind, UiEvent::kRelease);

    // A drag up on the Global Wet dial: a tenth more for 45 pixels.
    const std::uint32_t wet = portOf(parGlobalWetIndex);
    const float before = dsp->port(wet);
    XTestFakeMotionEvent(display, 0, kLeft + 520, kTop + 336, CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    for (int dy = 5; dy <= 45; dy += 5) {
        XTestFakeMotionEvent(display, 0, kLeft + 520, kTop + 336 - dy, CurrentTime);
        XSync(display, False);
        idle->idle(ui);
    }
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    ASSERT_TRUE(idleUntil([&] { return !eventsFor(wet).empty() && eventsFor(wet).back().kind == UiEvent::kRelease; },
                          3000));
    got = eventsFor(wet);
    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(got.front().kind, UiEvent::kGrab);
    EXPECT_EQ(got.back().kind, UiEvent::kRelease);
    for (std::size_t i = 1; i + 1 < got.size(); ++i) {
        EXPECT_EQ(got[i].kind, UiEvent::kWrite);
    }
    EXPECT_FLOAT_EQ(got[got.size() - 2].value, std::min(before + 0.1f, 1.0f));
    // Only ports that exist were written.
    for (const UiEvent& e : events) {
        EXPECT_GE(e.port, 4u);
        EXPECT_LT(e.port, lilv_plugin_get_num_ports(world->plugin()));
    }
}

TEST_F(Lv2UiTest, FollowsTheHostsPortsAndTellsTheHostWhatARestoredProgramChanged) {
    ASSERT_TRUE(openUi());
    idleUntil([] { return false; }, 200);
    Window editor = children().at(0);
    const std::vector<unsigned long> shown = picture(editor);
    // The host moves a dial: the plug-in takes it at the next block and the editor shows it.
    const std::uint32_t spread = portOf(parAllpassSpreadIndex);
    dsp->port(spread) = 1.0f;
    runBlock();
    descriptor->port_event(ui, spread, sizeof(float), 0, &dsp->port(spread));
    idleUntil([] { return false; }, 300);
    const std::vector<unsigned long> after = picture(editor);
    ASSERT_EQ(after.size(), shown.size());
    int changed = 0;
    for (int y = 0; y < 432; ++y) {
        for (int x = 0; x < 620; ++x) {
            const bool inCrowd = x < 342 && y < 274;  // the crowd display moves by itself
            const auto i = static_cast<std::size_t>(y * 620 + x);
            changed += !inCrowd && after[i] != shown[i];
        }
    }
    EXPECT_GT(changed, 20);
    EXPECT_TRUE(events.empty());  // following the host is not an edit

    // A program restored while the UI is open: the host learns the ports that changed.
    lv2t::State state;
    const std::int32_t program = 5;
    state[std::string(lv2t::kPluginUri) + "#program"] = {
        LV2_ATOM__Int,
        {reinterpret_cast<const std::uint8_t*>(&program), reinterpret_cast<const std::uint8_t*>(&program) + 4}};
    ASSERT_EQ(dsp->restore(state), LV2_STATE_SUCCESS);
    idleUntil([&] { return !events.empty(); }, 1000);
    ASSERT_FALSE(events.empty());
    std::map<std::uint32_t, float> written;
    for (const UiEvent& e : events) {
        EXPECT_EQ(e.kind, UiEvent::kWrite);
        written[e.port] = e.value;
    }
    // Every port the host holds differently now gets the program's value, as the VST 2.4
    // module has it; the others are left alone.
    zb::LoadOptions options;
    options.path = lv2t::buildDir() + "/Zornbeck.so";
    std::string error;
    auto vst = zb::PluginLoader::load(options, error);
    ASSERT_TRUE(vst) << error;
    vst->setProgram(program);
    int differing = 0;
    for (int index = 0; index < kNumParams; ++index) {
        if (!ParameterTable::row(index).automatable && index != parActiveIndex) {
            continue;
        }
        const std::uint32_t port = portOf(index);
        const float value = vst->getParameter(index);
        if (dsp->port(port) != value) {
            ++differing;
            ASSERT_EQ(written.count(port), 1u) << "parameter " << index;
            EXPECT_EQ(written[port], value) << "parameter " << index;
        } else {
            EXPECT_EQ(written.count(port), 0u) << "parameter " << index;
        }
    }
    EXPECT_EQ(static_cast<std::size_t>(differing), written.size());
    EXPECT_GT(differing, 100);
    EXPECT_EQ(written.count(spread), 1u);  // program 5's spread is not the 1 the host set
}

// A host that says its scale gets the editor drawn at it, and is asked for the scaled size.
TEST_F(Lv2UiTest, TakesTheHostsScaleFactor) {
    ASSERT_TRUE(openUi(true, 2.0f));
    EXPECT_EQ(resizedWidth, 1240);
    EXPECT_EQ(resizedHeight, 864);
    const std::vector<Window> inside = children();
    ASSERT_EQ(inside.size(), 1u);
    XWindowAttributes shown{};
    ASSERT_TRUE(XGetWindowAttributes(display, inside[0], &shown));
    EXPECT_EQ(shown.width, 1240);
    EXPECT_EQ(shown.height, 864);
    closeUi();
    // Wild factors are held to what the editor can draw.
    ASSERT_TRUE(openUi(true, 9.0f));
    EXPECT_EQ(resizedWidth, 1860);
    closeUi();
}

TEST_F(Lv2UiTest, OpensAndClosesAHundredTimesWhileThePluginRuns) {
    std::atomic<bool> running{true};
    std::atomic<bool> clean{true};
    std::atomic<long> blocks{0};
    std::thread audio([&] {
        std::vector<float> in(128, 0.25f), l(128), r(128);
        while (running.load()) {
            dsp->run(in.data(), in.data(), l.data(), r.data(), 128);
            for (float x : l) {
                if (!std::isfinite(x)) {
                    clean = false;
                }
            }
            blocks.fetch_add(1);
        }
    });
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(openUi()) << i;
        XSync(display, False);
        ASSERT_EQ(children().size(), 1u) << i;
        idle->idle(ui);
        closeUi();
        XSync(display, False);
        ASSERT_TRUE(children().empty()) << i;
    }
    running = false;
    audio.join();
    EXPECT_TRUE(clean.load());
    EXPECT_GT(blocks.load(), 100);
}

TEST_F(Lv2UiTest, ShowsItsOwnWindowForHostsThatDoNotEmbed) {
    const auto* show = static_cast<const LV2UI_Show_Interface*>(descriptor->extension_data(LV2_UI__showInterface));
    ASSERT_NE(show, nullptr);
    ASSERT_TRUE(openUi(false));
    EXPECT_EQ(widget, nullptr);
    auto topLevels = [&] {
        Window root = 0, up = 0, *list = nullptr;
        unsigned n = 0;
        XQueryTree(display, DefaultRootWindow(display), &root, &up, &list, &n);
        int named = 0;
        for (unsigned i = 0; i < n; ++i) {
            char* name = nullptr;
            if (XFetchName(display, list[i], &name) != 0 && name != nullptr) {
                named += std::string(name) == "Zornbeck";
                XFree(name);
            }
        }
        if (list != nullptr) {
            XFree(list);
        }
        return named;
    };
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(show->show(ui), 0);
        XSync(display, False);
        EXPECT_EQ(topLevels(), 1);
        idleUntil([] { return false; }, 100);
        ASSERT_EQ(show->hide(ui), 0);
        XSync(display, False);
        EXPECT_EQ(topLevels(), 0);
    }
}

}  // namespace
