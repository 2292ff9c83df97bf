// Zornbeck.clap's editor embedded in a window of a private Xvfb and idled only through the host's
// timer and the descriptor it registered: a click on Solo and a dial drag reach the host as
// gesture and value events on the right ids, by flush when idle and by process when running.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <limits>
#include <thread>
#include <utility>

#include "tests/clap/StrictHost.h"
#include "tests/toolkit/XvfbServer.h"

// Last: Xlib's macros clash with names in the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

constexpr int kLeft = 40, kTop = 30;

struct ClapEditorTest : ::testing::Test {
    XvfbServer server;
    Display* display = nullptr;
    Window parent = 0;
    std::unique_ptr<th::ClapLibrary> lib;
    std::unique_ptr<th::StrictHost> host;
    int flushesAnswered = 0;

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
        std::string error;
        lib = th::ClapLibrary::open(th::clapPath(), error);
        ASSERT_TRUE(lib) << error;
        // Kept loaded to the end: the drawing libraries' font caches hold faces made from the
        // module's bytes, reachable only while it is loaded.
        dlopen(th::clapPath().c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
        host = std::make_unique<th::StrictHost>(*lib);
        ASSERT_TRUE(host->create());
    }
    void TearDown() override {
        host.reset();
        lib.reset();
        if (display) {
            XDestroyWindow(display, parent);
            XCloseDisplay(display);
        }
    }

    // The host's main loop: timers, readable descriptors, and the flushes the plug-in asked for.
    bool idleUntil(const std::function<bool()>& done, int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            XSync(display, False);
            for (int fd : std::vector<int>(host->fds)) {
                pollfd p{fd, POLLIN, 0};
                if (poll(&p, 1, 0) > 0) {
                    host->fd->on_fd(host->plugin(), fd, 1);
                }
            }
            host->fireTimers();
            if (host->flushRequests > flushesAnswered) {
                flushesAnswered = host->flushRequests;
                host->flush();
            }
            if (done()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // The editor's window inside the host's, as the X server has it.
    std::pair<int, int> childSize() {
        Window root = 0, up = 0, *kids = nullptr;
        unsigned n = 0;
        XSync(display, False);
        XQueryTree(display, parent, &root, &up, &kids, &n);
        std::pair<int, int> size{0, 0};
        XWindowAttributes a{};
        if (n == 1 && XGetWindowAttributes(display, kids[0], &a)) {
            size = {a.width, a.height};
        }
        if (kids) {
            XFree(kids);
        }
        return size;
    }
    bool childBecomes(int w, int h) {
        return idleUntil([&] { return childSize() == std::make_pair(w, h); }, 2000);
    }
    static std::pair<uint32_t, uint32_t> size(const th::StrictHost& on) {
        uint32_t w = 0, h = 0;
        EXPECT_TRUE(on.gui->get_size(on.plugin(), &w, &h));
        return {w, h};
    }
    bool embed(const th::StrictHost& on) {
        th::window_t window{};
        window.api = "x11";
        window.x11 = parent;
        return on.gui->set_parent(on.plugin(), &window);
    }
    // What xrdb does with a desktop's settings.
    void setResources(const char* text) {
        XChangeProperty(display, DefaultRootWindow(display), XA_RESOURCE_MANAGER, XA_STRING, 8,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(text),
                        int(std::strlen(text)));
        XSync(display, False);
    }

    int count(uint16_t type, uint32_t id) const {
        int n = 0;
        for (const th::OutEvent& e : host->outEvents) {
            n += e.type == type && e.id == id;
        }
        return n;
    }
};

TEST_F(ClapEditorTest, EmbedsAndSendsGesturesAndValuesFromTimerAndDescriptorIdle) {
    ASSERT_NE(host->gui, nullptr);
    ASSERT_NE(host->timer, nullptr);
    ASSERT_NE(host->fd, nullptr);
    const th::plugin_t* p = host->plugin();
    EXPECT_TRUE(host->gui->is_api_supported(p, "x11", false));
    EXPECT_FALSE(host->gui->is_api_supported(p, "x11", true));
    EXPECT_FALSE(host->gui->is_api_supported(p, "wayland", false));
    ASSERT_TRUE(host->gui->create(p, "x11", false));
    // Qtractor's order: the parent first, then the size.
    th::window_t window{};
    window.api = "x11";
    window.x11 = parent;
    ASSERT_TRUE(host->gui->set_parent(p, &window));
    uint32_t w = 0, h = 0;
    ASSERT_TRUE(host->gui->get_size(p, &w, &h));
    EXPECT_EQ(w, 620u);
    EXPECT_EQ(h, 432u);
    EXPECT_FALSE(host->gui->can_resize(p));
    EXPECT_TRUE(host->gui->show(p));
    ASSERT_EQ(host->fds.size(), 1u) << "the X connection's descriptor";
    ASSERT_FALSE(host->timers.empty());
    Window root = 0, up = 0, *kids = nullptr;
    unsigned int n = 0;
    XQueryTree(display, parent, &root, &up, &kids, &n);
    EXPECT_EQ(n, 1u) << "embedded in the host's window";
    if (kids) {
        XFree(kids);
    }
    idleUntil([] { return false; }, 300);

    // Not processing: the click goes out through request_flush and flush.
    const double solo = host->get(6);
    XTestFakeMotionEvent(display, 0, kLeft + 400, kTop + 48, CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    ASSERT_TRUE(idleUntil([&] { return count(th::kGestureEnd, 6) > 0; }, 3000));
    EXPECT_GT(host->flushRequests, 0);
    EXPECT_EQ(count(th::kGestureBegin, 6), 1);
    EXPECT_GE(count(th::kParamValue, 6), 1);
    EXPECT_NE(host->get(6), solo);
    EXPECT_EQ(host->outEvents.back().type, th::kGestureEnd);
    for (const th::OutEvent& e : host->outEvents) {
        if (e.type == th::kParamValue) {
            EXPECT_EQ(e.value, host->get(6));
        }
    }

    // Processing: a drag on the Wet dial goes out in the blocks.
    host->outEvents.clear();
    ASSERT_TRUE(host->activate(44100.0, 1, 512));
    ASSERT_TRUE(host->start());
    const int requestsBefore = host->flushRequests;
    std::vector<float> in(512, 0.0f), l(512), r(512);
    const double wet = host->get(2);
    XTestFakeMotionEvent(display, 0, kLeft + 520, kTop + 336, CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    for (int step = 1; step <= 10; ++step) {
        XTestFakeMotionEvent(display, 0, kLeft + 520, kTop + 336 - 3 * step, CurrentTime);
        XSync(display, False);
        idleUntil([] { return false; }, 30);
        host->process(in.data(), in.data(), l.data(), r.data(), 512);
    }
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    ASSERT_TRUE(idleUntil(
        [&] {
            host->process(in.data(), in.data(), l.data(), r.data(), 512);
            return count(th::kGestureEnd, 2) > 0;
        },
        3000));
    EXPECT_EQ(count(th::kGestureBegin, 2), 1);
    EXPECT_GE(count(th::kParamValue, 2), 2);
    EXPECT_GT(host->get(2), wet);
    EXPECT_EQ(host->flushRequests, requestsBefore) << "no flush asked for while processing";
    double last = wet;
    for (const th::OutEvent& e : host->outEvents) {
        if (e.type == th::kParamValue && e.id == 2) {
            EXPECT_GE(e.value, last);
            last = e.value;
        }
    }
    EXPECT_EQ(last, host->get(2));

    host->gui->hide(p);
    host->gui->destroy(p);
    EXPECT_TRUE(host->fds.empty());
    XSync(display, False);
    XQueryTree(display, parent, &root, &up, &kids, &n);
    EXPECT_EQ(n, 0u);
    if (kids) {
        XFree(kids);
    }
    EXPECT_TRUE(host->violations.empty()) << host->violations.front();
}

TEST_F(ClapEditorTest, NoEditorWithoutTheHostsTimer) {
    th::HostOptions options;
    options.timers = false;
    th::StrictHost bare(*lib, options);
    ASSERT_TRUE(bare.create());
    EXPECT_TRUE(bare.gui->is_api_supported(bare.plugin(), "x11", false)) << "scanners offer no extensions";
    EXPECT_FALSE(bare.gui->create(bare.plugin(), "x11", false));
}

// set_scale in the header's order (before set_parent), then while open: every size the host reads
// is the scaled one, and a change while open asks the host for the room.
TEST_F(ClapEditorTest, SetScaleSizesTheEditorAndAChangeWhileOpenRequestsAResize) {
    const th::plugin_t* p = host->plugin();
    ASSERT_TRUE(host->gui->create(p, "x11", false));
    EXPECT_TRUE(host->gui->set_scale(p, 2.0));
    EXPECT_EQ(size(*host), std::make_pair(1240u, 864u));
    EXPECT_FALSE(host->gui->can_resize(p)) << "a fixed size at every scale";
    uint32_t w = 700, h = 500;
    EXPECT_TRUE(host->gui->adjust_size(p, &w, &h));
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(1240u, 864u));
    EXPECT_FALSE(host->gui->set_size(p, 620, 432));
    EXPECT_TRUE(host->gui->set_size(p, 1240, 864));
    ASSERT_TRUE(embed(*host));
    EXPECT_TRUE(childBecomes(1240, 864)) << childSize().first;
    EXPECT_TRUE(host->resizeRequests.empty()) << "the host read the size itself";

    EXPECT_TRUE(host->gui->set_scale(p, 1.5));
    ASSERT_EQ(host->resizeRequests.size(), 1u);
    EXPECT_EQ(host->resizeRequests.back(), std::make_pair(930u, 648u));
    EXPECT_EQ(size(*host), std::make_pair(930u, 648u));
    EXPECT_TRUE(childBecomes(930, 648)) << childSize().first;

    // NaN is refused and changes nothing; the same factor again asks for nothing; out of range
    // is kept to 1 .. 3.
    EXPECT_FALSE(host->gui->set_scale(p, std::numeric_limits<double>::quiet_NaN()));
    EXPECT_TRUE(host->gui->set_scale(p, 1.5));
    EXPECT_EQ(host->resizeRequests.size(), 1u);
    EXPECT_EQ(size(*host), std::make_pair(930u, 648u));
    EXPECT_TRUE(host->gui->set_scale(p, 12.0));
    EXPECT_EQ(size(*host), std::make_pair(1860u, 1296u));
    EXPECT_TRUE(host->gui->set_scale(p, 0.5));
    EXPECT_EQ(size(*host), std::make_pair(620u, 432u));
    EXPECT_TRUE(childBecomes(620, 432)) << childSize().first;
    ASSERT_EQ(host->resizeRequests.size(), 3u);
    EXPECT_EQ(host->resizeRequests[1], std::make_pair(1860u, 1296u));
    EXPECT_EQ(host->resizeRequests[2], std::make_pair(620u, 432u));

    host->gui->hide(p);
    host->gui->destroy(p);
    EXPECT_TRUE(host->violations.empty()) << host->violations.front();
}

// Qtractor never calls set_scale: the desktop's Xft.dpi, GDK_SCALE or ZORNBECK_SCALE decide, in
// the core's order, and the host reads the result from get_size.
TEST_F(ClapEditorTest, WithoutSetScaleTheSystemsFactorSizesTheEditor) {
    setResources("Xft.dpi:\t192\n");
    const th::plugin_t* p = host->plugin();
    ASSERT_TRUE(host->gui->create(p, "x11", false));
    ASSERT_TRUE(embed(*host));  // Qtractor's order: the parent, then the size
    EXPECT_EQ(size(*host), std::make_pair(1240u, 864u));
    EXPECT_TRUE(childBecomes(1240, 864)) << childSize().first;
    host->gui->destroy(p);

    setenv("ZORNBECK_SCALE", "1.5", 1);
    {
        th::StrictHost other(*lib);
        ASSERT_TRUE(other.create());
        ASSERT_TRUE(other.gui->create(other.plugin(), "x11", false));
        EXPECT_EQ(size(other), std::make_pair(930u, 648u)) << "the user's override outranks Xft.dpi";
        other.gui->destroy(other.plugin());
    }
    unsetenv("ZORNBECK_SCALE");
    XDeleteProperty(display, DefaultRootWindow(display), XA_RESOURCE_MANAGER);
    XSync(display, False);
    setenv("GDK_SCALE", "3", 1);
    {
        th::StrictHost other(*lib);
        ASSERT_TRUE(other.create());
        ASSERT_TRUE(other.gui->create(other.plugin(), "x11", false));
        EXPECT_EQ(size(other), std::make_pair(1860u, 1296u));
        other.gui->destroy(other.plugin());
    }
    unsetenv("GDK_SCALE");
}

}  // namespace
