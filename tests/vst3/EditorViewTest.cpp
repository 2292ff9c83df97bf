// The VST 3 editor view in a private Xvfb, idled only through the host's run loop: gestures reach
// the host as begin/perform/end on the right ids, and opening and closing leaves nothing behind.
#include <atomic>
#include <chrono>
#include <functional>
#include <limits>
#include <utility>
#include <thread>

#include <dlfcn.h>

#include "Vst3Fixture.h"
#include "tests/toolkit/XvfbServer.h"
#include "vst/ZornbeckExtensions.h"

// Last: Xlib's macros clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

using namespace v3;

constexpr int kLeft = 40, kTop = 30;
constexpr const char* kX11 = "X11EmbedWindowID";

// Both binaries stay loaded for the whole program: the drawing libraries' font and glyph caches,
// made while a module draws, then stay referenced from it instead of counting as leaks of a
// module that was unloaded.
struct KeepModulesLoaded : ::testing::Environment {
    void SetUp() override {
        std::string error;
        const std::string bundle = sh::bundlePath();
        for (const std::string& path : {bundle + "/Contents/x86_64-linux/Zornbeck.so", buildDir() + "/Zornbeck.so"}) {
            ASSERT_NE(dlopen(path.c_str(), RTLD_NOW | RTLD_NODELETE), nullptr) << dlerror();
        }
    }
};
const auto* const keep = ::testing::AddGlobalTestEnvironment(new KeepModulesLoaded);

// zornbeck's loader shows the bundle's editor picture, through its vendor calls, as the module's.
TEST(Vst3EditorPicture, TheHostsLoaderDrawsTheModulesPictureFromTheBundle) {
    auto vst2 = loadVst2();
    zb::LoadOptions options;
    options.path = sh::bundlePath();
    std::string error;
    auto bundle = zb::PluginLoader::load(options, error);
    ASSERT_NE(bundle, nullptr) << error;
    ASSERT_NE(vst2, nullptr);
    vst2->setProgram(3);
    bundle->setProgram(3);
    std::vector<std::uint32_t> picture2(620 * 432), picture3(620 * 432);
    ZornbeckScreenshot shot2{620, 432, 620 * 4, picture2.data()}, shot3{620, 432, 620 * 4, picture3.data()};
    ASSERT_EQ(vst2->dispatch(effVendorSpecific, kZornbeckVendorTag, kZornbeckScreenshot, &shot2), 1);
    ASSERT_EQ(bundle->dispatch(effVendorSpecific, kZornbeckVendorTag, kZornbeckScreenshot, &shot3), 1);
    EXPECT_TRUE(picture2 == picture3);
}

struct Vst3EditorTest : ::testing::Test {
    XvfbServer server;
    Display* display = nullptr;
    Window parent = 0;
    std::unique_ptr<sh::Module> module;
    std::unique_ptr<sh::Instance> plugin;

    void SetUp() override {
        if (!server.start()) {
            GTEST_SKIP() << "no Xvfb";
        }
        // The private server has no Xft.dpi; nothing else may choose the editor's scale.
        unsetenv("ZORNBECK_SCALE");
        unsetenv("GDK_SCALE");
        display = XOpenDisplay(server.display.c_str());
        ASSERT_TRUE(display);
        parent = mappedHostWindow(display, kLeft, kTop, 620, 432);
        module = loadBundle();
        ASSERT_NE(module, nullptr);
        plugin = std::make_unique<sh::Instance>(*module);
    }

    void TearDown() override {
        plugin.reset();
        module.reset();
        if (display != nullptr) {
            XDestroyWindow(display, parent);
            XCloseDisplay(display);
        }
    }

    std::size_t children() {
        Window root = 0, up = 0, *list = nullptr;
        unsigned n = 0;
        XQueryTree(display, parent, &root, &up, &list, &n);
        if (list != nullptr) {
            XFree(list);
        }
        return n;
    }

    // The editor's window inside the host's, as the X server has it.
    std::pair<int, int> childSize() {
        Window root = 0, up = 0, *list = nullptr;
        unsigned n = 0;
        XSync(display, False);
        XQueryTree(display, parent, &root, &up, &list, &n);
        std::pair<int, int> size{0, 0};
        XWindowAttributes a{};
        if (n == 1 && XGetWindowAttributes(display, list[0], &a)) {
            size = {a.width, a.height};
        }
        if (list != nullptr) {
            XFree(list);
        }
        return size;
    }

    bool childBecomes(int width, int height) {
        return pumpUntil([&] { return childSize() == std::make_pair(width, height); }, 2000);
    }

    std::pair<int, int> viewSize(void* view) {
        sh::ViewRect r{};
        EXPECT_EQ(sh::call<sh::tresult>(view, 9, &r), sh::kOk);
        return {r.right - r.left, r.bottom - r.top};
    }

    void* open() {
        void* view = sh::call<void*>(plugin->controller, 17, "editor");
        EXPECT_NE(view, nullptr);
        if (view == nullptr) {
            return nullptr;
        }
        EXPECT_EQ(sh::call<sh::tresult>(view, 12, static_cast<void*>(&plugin->handler.frame)), sh::kOk);
        EXPECT_EQ(sh::call<sh::tresult>(view, 4, reinterpret_cast<void*>(parent), kX11), sh::kOk);
        return view;
    }

    void close(void* view) {
        EXPECT_EQ(sh::call<sh::tresult>(view, 5), sh::kOk);  // removed
        EXPECT_EQ(sh::call<sh::tresult>(view, 12, static_cast<void*>(nullptr)), sh::kOk);
        EXPECT_EQ(sh::release(view), 0u);
    }

    // The host's loop: only the run loop's timers and descriptors drive the editor.
    bool pumpUntil(const std::function<bool()>& done, int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            XSync(display, False);
            plugin->handler.pump();
            if (done()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // Begin, at least one perform and end on `id`, in that order.
    bool gesture(std::uint32_t id, double* last = nullptr) {
        int stage = 0;
        for (const sh::Edit& e : plugin->handler.edits) {
            if (e.id != id) {
                continue;
            }
            if (stage == 0 && e.kind == 'b') {
                stage = 1;
            } else if (stage >= 1 && e.kind == 'p') {
                stage = 2;
                if (last != nullptr) {
                    *last = e.value;
                }
            } else if (stage == 2 && e.kind == 'e') {
                return true;
            }
        }
        return false;
    }
};

TEST_F(Vst3EditorTest, ClickAndDialDragReachTheHostThroughTheRunLoop) {
    void* view = sh::call<void*>(plugin->controller, 17, "editor");
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(sh::call<sh::tresult>(view, 3, kX11), sh::kOk);
    EXPECT_EQ(sh::call<sh::tresult>(view, 3, "HWND"), sh::kFalse);
    EXPECT_EQ(sh::call<void*>(plugin->controller, 17, static_cast<const char*>(nullptr)), nullptr);
    EXPECT_EQ(sh::release(view), 0u);  // made and dropped unattached, as Ardour asks

    view = open();
    ASSERT_NE(view, nullptr);
    sh::ViewRect size{};
    ASSERT_EQ(sh::call<sh::tresult>(view, 9, &size), sh::kOk);
    EXPECT_EQ(size.right - size.left, 620);
    EXPECT_EQ(size.bottom - size.top, 432);
    EXPECT_EQ(sh::call<sh::tresult>(view, 13), sh::kFalse);  // fixed size
    EXPECT_EQ(children(), 1u);
    EXPECT_EQ(plugin->handler.timers.size(), 1u);
    EXPECT_EQ(plugin->handler.fds.size(), 1u) << "the X connection is watched";
    pumpUntil([] { return false; }, 300);

    // Solo: a click is one gesture on id 6.
    const double soloBefore = plugin->get(6);
    XTestFakeMotionEvent(display, 0, kLeft + 400, kTop + 48, CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XSync(display, False);
    ASSERT_TRUE(pumpUntil([&] { return gesture(6); }, 3000));
    EXPECT_EQ(plugin->get(6), soloBefore == 0.0 ? 1.0 : 0.0);

    // The wet dial: dragged up 45 pixels, +0.1, as one gesture on id 2.
    const double wetBefore = plugin->get(2);
    XTestFakeMotionEvent(display, 0, kLeft + 520, kTop + 336, CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XSync(display, False);
    pumpUntil([] { return false; }, 50);
    for (int dy = 5; dy <= 45; dy += 5) {
        XTestFakeMotionEvent(display, 0, kLeft + 520, kTop + 336 - dy, CurrentTime);
        XSync(display, False);
        pumpUntil([] { return false; }, 20);
    }
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XSync(display, False);
    double performed = -1.0;
    ASSERT_TRUE(pumpUntil([&] { return gesture(2, &performed); }, 3000));
    EXPECT_NEAR(performed, std::min(wetBefore + 0.1, 1.0), 1e-6);
    EXPECT_EQ(performed, plugin->get(2));
    for (const sh::Edit& e : plugin->handler.edits) {
        EXPECT_TRUE(e.id == 6 || e.id == 2) << "an edit on id " << e.id;
    }

    // A change the host makes reaches the editor: the Solo switch is drawn in its new state.
    void* vendor = sh::query(plugin->component, sh::tuid("5A6F726E6265636B56656E646F720001"));
    ASSERT_NE(vendor, nullptr);
    auto picture = [&] {
        std::vector<std::uint32_t> pixels(620 * 432);
        ZornbeckScreenshot shot{620, 432, 620 * 4, pixels.data()};
        EXPECT_EQ((sh::call<std::int64_t>(vendor, 3, kZornbeckVendorTag, std::int64_t{kZornbeckScreenshot},
                                          static_cast<void*>(&shot), 0.0f)),
                  1);
        return pixels;
    };
    const std::vector<std::uint32_t> before = picture();
    ASSERT_EQ(plugin->set(6, plugin->get(6) == 0.0 ? 1.0 : 0.0), sh::kOk);
    pumpUntil([] { return false; }, 200);
    const std::vector<std::uint32_t> after = picture();
    int changed = 0;
    for (int y = 40; y < 57; ++y) {
        for (int x = 387; x < 420; ++x) {
            const std::size_t i = std::size_t(y) * 620 + std::size_t(x);
            changed += (before[i] & 0xFFFFFF) != (after[i] & 0xFFFFFF);
        }
    }
    EXPECT_GT(changed, 100);
    sh::release(vendor);

    close(view);
    EXPECT_EQ(children(), 0u);
    EXPECT_TRUE(plugin->handler.timers.empty());
    EXPECT_TRUE(plugin->handler.fds.empty());
}

TEST_F(Vst3EditorTest, OpenedAndClosedAHundredTimesWhileProcessingAndActivationCycles) {
    std::atomic<bool> done{false};
    std::atomic<bool> allOk{true};
    std::atomic<int> blocks{0};
    std::atomic<bool> pause{false};
    std::atomic<bool> paused{false};
    std::thread audio([&] {
        Stereo in(256), out(256);
        unsigned seed = 1;
        while (!done.load()) {
            if (pause.load()) {
                paused = true;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            paused = false;
            noise(in, seed);
            if (plugin->process(in.ptr(), out.ptr(), 256) != sh::kOk || !clean(out.l)) {
                allOk = false;
            }
            ++blocks;
        }
    });
    for (int i = 0; i < 100; ++i) {
        void* view = open();
        ASSERT_NE(view, nullptr);
        plugin->handler.pump();
        if (i % 10 == 0) {
            // Deactivated and activated again while the editor is open, processing held meanwhile.
            paused = false;
            pause = true;
            while (!paused.load()) {
                std::this_thread::yield();
            }
            plugin->stop();
            plugin->start();
            pause = false;
        }
        close(view);
        XSync(display, False);
        ASSERT_EQ(children(), 0u) << "round " << i;
        ASSERT_TRUE(plugin->handler.timers.empty());
        ASSERT_TRUE(plugin->handler.fds.empty());
    }
    done = true;
    audio.join();
    EXPECT_TRUE(allOk.load());
    EXPECT_GT(blocks.load(), 100);
    EXPECT_EQ(plugin->handler.refs.load(), 2u) << "frame or run loop references kept";  // ours and the controller's
}

// The host's content scale: asked of the view, kept for the editor before it opens, and taken at
// once while attached, the frame asked for the new room.
TEST_F(Vst3EditorTest, ContentScaleSizesTheViewAndResizesTheAttachedEditorThroughItsFrame) {
    const sh::Tuid scaleIid = sh::tuid("65ED96908AC445258AADEF7A72EA703F");
    void* view = sh::call<void*>(plugin->controller, 17, "editor");
    ASSERT_NE(view, nullptr);
    void* scale = sh::query(view, scaleIid);
    ASSERT_NE(scale, nullptr);
    void* identity = sh::query(scale, sh::iid::FUnknown);
    void* viewIdentity = sh::query(view, sh::iid::FUnknown);
    EXPECT_EQ(identity, viewIdentity);
    sh::release(identity);
    sh::release(viewIdentity);
    void* back = sh::query(scale, sh::iid::PlugView);
    EXPECT_EQ(back, view);
    sh::release(back);
    auto setScale = [&](float f) { return sh::call<sh::tresult>(scale, 3, f); };

    // Before attached, as Ardour calls it: the size to open at, and no frame call yet.
    EXPECT_EQ(setScale(1.5f), sh::kOk);
    EXPECT_EQ(viewSize(view), std::make_pair(930, 648));
    EXPECT_EQ(sh::call<sh::tresult>(view, 12, static_cast<void*>(&plugin->handler.frame)), sh::kOk);
    ASSERT_EQ(sh::call<sh::tresult>(view, 4, reinterpret_cast<void*>(parent), kX11), sh::kOk);
    EXPECT_TRUE(childBecomes(930, 648)) << childSize().first;
    EXPECT_EQ(plugin->handler.resizes, 0);

    EXPECT_EQ(setScale(2.0f), sh::kOk);
    EXPECT_EQ(viewSize(view), std::make_pair(1240, 864));
    EXPECT_TRUE(childBecomes(1240, 864)) << childSize().first;
    EXPECT_EQ(plugin->handler.resizes, 1);
    const sh::ViewRect asked = plugin->handler.lastResize;
    EXPECT_EQ(asked.right - asked.left, 1240);
    EXPECT_EQ(asked.bottom - asked.top, 864);
    sh::ViewRect constrained{10, 20, 30, 40};
    EXPECT_EQ(sh::call<sh::tresult>(view, 14, &constrained), sh::kOk);
    EXPECT_EQ(constrained.right - constrained.left, 1240) << "fixed at its scale";
    EXPECT_EQ(constrained.bottom - constrained.top, 864);

    // The same factor again asks for nothing; NaN is refused and changes nothing.
    EXPECT_EQ(setScale(2.0f), sh::kOk);
    EXPECT_EQ(setScale(std::numeric_limits<float>::quiet_NaN()), sh::kFalse);
    EXPECT_EQ(viewSize(view), std::make_pair(1240, 864));
    EXPECT_EQ(plugin->handler.resizes, 1);

    // Out of range: kept to 1 .. 3.
    EXPECT_EQ(setScale(7.0f), sh::kOk);
    EXPECT_EQ(viewSize(view), std::make_pair(1860, 1296));
    EXPECT_TRUE(childBecomes(1860, 1296)) << childSize().first;
    EXPECT_EQ(setScale(0.25f), sh::kOk);
    EXPECT_EQ(viewSize(view), std::make_pair(620, 432));
    EXPECT_TRUE(childBecomes(620, 432)) << childSize().first;
    EXPECT_EQ(plugin->handler.resizes, 3);
    EXPECT_EQ(plugin->handler.lastResize.right - plugin->handler.lastResize.left, 620);

    // The editor still answers at its new size after the changes.
    pumpUntil([] { return false; }, 100);
    EXPECT_EQ(sh::release(scale), 1u);
    close(view);
    EXPECT_EQ(children(), 0u);
}

}  // namespace
