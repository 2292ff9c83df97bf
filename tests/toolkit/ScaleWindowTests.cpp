// The built module's editor in an X11 window of a private Xvfb at a scale other than 1: taken
// from the X resources' Xft.dpi or from the host, and driven with input at device coordinates.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <thread>
#include <vector>

#include "PluginLoader.h"
#include "XvfbServer.h"
#include "vst/ZornbeckExtensions.h"

// Last: Xlib's macros clash with names in the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace {

constexpr int kLeft = 10, kTop = 10;

struct ScaleWindowTest : ::testing::Test {
    static inline XvfbServer* server = nullptr;
    static void SetUpTestSuite() {
        server = new XvfbServer;
        if (!server->start()) {
            delete server;
            server = nullptr;
        }
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }

    Display* display = nullptr;  // the host's connection
    Window parent = 0;
    std::unique_ptr<zb::PluginLoader> plugin;
    std::vector<std::pair<int, int>> resizes;

    void SetUp() override {
        if (!server)
            GTEST_SKIP() << "no Xvfb";
        unsetenv("ZORNBECK_SCALE");
        unsetenv("GDK_SCALE");
        display = XOpenDisplay(server->display.c_str());
        ASSERT_TRUE(display);
        XDeleteProperty(display, DefaultRootWindow(display), XA_RESOURCE_MANAGER);
        XSync(display, False);
    }
    void TearDown() override {
        plugin.reset();
        if (display) {
            if (parent)
                XDestroyWindow(display, parent);
            XDeleteProperty(display, DefaultRootWindow(display), XA_RESOURCE_MANAGER);
            XCloseDisplay(display);
        }
    }

    // What xrdb does with a desktop's settings.
    void setResources(const char* text) {
        XChangeProperty(display, DefaultRootWindow(display), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(text), int(std::strlen(text)));
        XSync(display, False);
    }

    void load() {
        zb::LoadOptions options;
        const char* build = std::getenv("ZORNBECK_BUILD");
        options.path = std::string(build ? build : ".") + "/Zornbeck.so";
        std::string error;
        plugin = zb::PluginLoader::load(options, error);
        ASSERT_TRUE(plugin) << error;
        plugin->setSizeWindowHandler(
            [](void* self, int w, int h) {
                static_cast<ScaleWindowTest*>(self)->resizes.push_back({w, h});
                return true;
            },
            this);
    }

    std::pair<int, int> editorSize() {
        ERect* rect = nullptr;
        plugin->dispatch(effEditGetRect, 0, 0, &rect);
        return rect ? std::make_pair(rect->right - rect->left, rect->bottom - rect->top) : std::make_pair(0, 0);
    }

    // The host's window of the editor's size, and the editor opened in it.
    Window open() {
        auto [w, h] = editorSize();
        parent = mappedHostWindow(display, kLeft, kTop, unsigned(w), unsigned(h));
        EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent)), 1);
        Window root = 0, up = 0, *list = nullptr;
        unsigned int n = 0;
        XQueryTree(display, parent, &root, &up, &list, &n);
        Window child = n == 1 ? list[0] : 0;
        if (list)
            XFree(list);
        return child;
    }

    std::pair<int, int> windowSize(Window w) {
        XWindowAttributes a{};
        XGetWindowAttributes(display, w, &a);
        return {a.width, a.height};
    }

    bool idleUntil(const std::function<bool()>& done, int ms = 3000) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            XSync(display, False);
            plugin->dispatch(effEditIdle);
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    // Input at device coordinates of the editor's window.
    void press(int x, int y) {
        XTestFakeMotionEvent(display, 0, kLeft + x, kTop + y, CurrentTime);
        XTestFakeButtonEvent(display, 1, True, CurrentTime);
        XSync(display, False);
    }
    void moveTo(int x, int y) {
        XTestFakeMotionEvent(display, 0, kLeft + x, kTop + y, CurrentTime);
        XSync(display, False);
    }
    void release() {
        XTestFakeButtonEvent(display, 1, False, CurrentTime);
        XSync(display, False);
    }

    // A click on Solo and a drag of Spread, at the device pixels of scale `s`: the same control
    // takes them and changes as it does at 1x.
    void clickAndDrag(double s) {
        auto at = [&](double layout) { return int(std::lround(layout * s)); };
        float solo = plugin->getParameter(6);
        press(at(403.5), at(48.5));
        release();
        ASSERT_TRUE(idleUntil([&] { return plugin->getParameter(6) != solo; }));
        EXPECT_EQ(plugin->getParameter(6), solo == 0.0f ? 1.0f : 0.0f);

        plugin->setParameter(12, 0.5f);
        idleUntil([] { return false; }, 100);
        press(at(326), at(337));
        idleUntil([] { return false; }, 50);
        moveTo(at(326) + at(45), at(337));
        ASSERT_TRUE(idleUntil([&] { return std::fabs(plugin->getParameter(12) - 0.6f) < 0.003f; }))
            << plugin->getParameter(12);
        release();
        idleUntil([] { return false; }, 50);
    }
};

TEST_F(ScaleWindowTest, AnXftDpiOf192OpensTheEditorAtTwiceTheSizeAndInputLandsAsAt1x) {
    setResources("Xft.antialias:\t1\nXft.dpi:\t192\n");
    load();
    EXPECT_EQ(editorSize(), std::make_pair(1240, 864));
    Window child = open();
    ASSERT_TRUE(child);
    EXPECT_EQ(windowSize(child), std::make_pair(1240, 864));
    idleUntil([] { return false; }, 300);

    // The window shows the 2x picture (the part of it on this small screen, outside the crowd
    // display, which moves).
    std::vector<std::uint32_t> pixels(1240 * 864);
    ZornbeckScreenshot shot{1240, 864, 1240 * 4, pixels.data()};
    ASSERT_EQ(plugin->dispatch(effVendorSpecific, kZornbeckVendorTag, kZornbeckScreenshot, &shot), 1);
    XImage* shown = XGetImage(display, child, 690, 0, 1000 - 690, 740, AllPlanes, ZPixmap);
    ASSERT_TRUE(shown);
    int differing = 0;
    for (int y = 0; y < 740; ++y)
        for (int x = 0; x < 1000 - 690; ++x)
            differing += (XGetPixel(shown, x, y) & 0xFFFFFF) != (pixels[std::size_t(y) * 1240 + 690 + x] & 0xFFFFFF);
    XDestroyImage(shown);
    EXPECT_EQ(differing, 0);

    clickAndDrag(2.0);
    plugin->dispatch(effEditClose);
}

TEST_F(ScaleWindowTest, WithoutXftDpiGdkScaleSetsTheScale) {
    setenv("GDK_SCALE", "2", 1);
    load();
    EXPECT_EQ(editorSize(), std::make_pair(1240, 864));
    // Xft.dpi comes first when the desktop has both.
    setResources("Xft.dpi:\t144\n");
    Window child = open();
    ASSERT_TRUE(child);
    EXPECT_EQ(windowSize(child), std::make_pair(930, 648));
    EXPECT_EQ(editorSize(), std::make_pair(930, 648));
    // The host made its window from the size it was told first, and is asked for the new one.
    ASSERT_EQ(resizes.size(), 1u);
    EXPECT_EQ(resizes[0], std::make_pair(930, 648));
    plugin->dispatch(effEditClose);
    unsetenv("GDK_SCALE");
}

TEST_F(ScaleWindowTest, TheHostsFactorResizesAnOpenEditorAndAsksForTheRoom) {
    load();
    EXPECT_EQ(editorSize(), std::make_pair(620, 432));
    Window child = open();
    ASSERT_TRUE(child);
    ASSERT_EQ(plugin->canDo("supportsViewDpiScaling"), 1);

    for (float s : {1.5f, 2.0f}) {
        SCOPED_TRACE(s);
        resizes.clear();
        EXPECT_EQ(plugin->dispatch(effVendorSpecific, kVendorScaleIndex, kVendorScaleValue, nullptr, s), 1);
        const int w = int(std::ceil(620 * s)), h = int(std::ceil(432 * s));
        EXPECT_EQ(editorSize(), std::make_pair(w, h));
        EXPECT_EQ(windowSize(child), std::make_pair(w, h));
        ASSERT_EQ(resizes.size(), 1u);
        EXPECT_EQ(resizes[0], std::make_pair(w, h));
        XResizeWindow(display, parent, unsigned(w), unsigned(h));
        idleUntil([] { return false; }, 100);
        clickAndDrag(s);
    }
    // NaN says nothing; a factor beyond 3 is 3.
    resizes.clear();
    plugin->dispatch(effVendorSpecific, kVendorScaleIndex, kVendorScaleValue, nullptr,
                     std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(editorSize(), std::make_pair(1240, 864));
    EXPECT_TRUE(resizes.empty());
    plugin->dispatch(effVendorSpecific, kVendorScaleIndex, kVendorScaleValue, nullptr, 12.0f);
    EXPECT_EQ(editorSize(), std::make_pair(1860, 1296));
    EXPECT_EQ(windowSize(child), std::make_pair(1860, 1296));
    plugin->dispatch(effVendorSpecific, kVendorScaleIndex, kVendorScaleValue, nullptr, 1.0f);
    EXPECT_EQ(windowSize(child), std::make_pair(620, 432));
    EXPECT_EQ(resizes.size(), 2u);
    plugin->dispatch(effEditClose);
}

// zornbeck edit --scale: its window has the editor's size at that factor.
TEST_F(ScaleWindowTest, ZornbeckEditOpensTheEditorAtTheScaleAsked) {
    const char* build = std::getenv("ZORNBECK_BUILD");
    const std::string dir = build ? build : ".";
    pid_t pid = fork();
    if (pid == 0) {
        execl((dir + "/zornbeck").c_str(), "zornbeck", "edit", "--scale", "2", "--seconds", "1.5", "--module",
              (dir + "/Zornbeck.so").c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    // A top-level window of 1240 x 864 appears.
    bool found = false;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!found && std::chrono::steady_clock::now() < end) {
        Window root = 0, up = 0, *list = nullptr;
        unsigned int n = 0;
        XQueryTree(display, DefaultRootWindow(display), &root, &up, &list, &n);
        for (unsigned int i = 0; i < n && !found; ++i) found = windowSize(list[i]) == std::make_pair(1240, 864);
        if (list)
            XFree(list);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(found);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
