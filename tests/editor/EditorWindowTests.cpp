// The built module's editor in a real X11 window of a private Xvfb, driven as a DAW would.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "PluginLoader.h"
#include "tests/toolkit/XvfbServer.h"
#include "vst/ZornbeckExtensions.h"

// Last: Xlib's macros clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace {

constexpr int kLeft = 40, kTop = 30;

struct EditorWindowTest : ::testing::Test {
    XvfbServer server;
    Display* display = nullptr;
    Window parent = 0;
    std::unique_ptr<zb::PluginLoader> plugin;

    void SetUp() override {
        if (!server.start())
            GTEST_SKIP() << "no Xvfb";
        display = XOpenDisplay(server.display.c_str());
        ASSERT_TRUE(display);
        // The host's window: the editor opens inside it, at its top-left corner.
        parent = mappedHostWindow(display, kLeft, kTop, 620, 432);
        zb::LoadOptions options;
        const char* build = std::getenv("ZORNBECK_BUILD");
        options.path = std::string(build ? build : ".") + "/Zornbeck.so";
        std::string error;
        plugin = zb::PluginLoader::load(options, error);
        ASSERT_TRUE(plugin) << error;
    }
    void TearDown() override {
        plugin.reset();
        if (display) {
            XDestroyWindow(display, parent);
            XCloseDisplay(display);
        }
    }

    std::vector<Window> children() {
        Window root = 0, up = 0, *list = nullptr;
        unsigned int n = 0;
        XQueryTree(display, parent, &root, &up, &list, &n);
        std::vector<Window> out(list, list + n);
        if (list)
            XFree(list);
        return out;
    }

    // Idles the editor, as a host does, until `done` or `ms` pass.
    bool idleUntil(const std::function<bool()>& done, int ms) {
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

    std::vector<std::uint32_t> screenshot() {
        std::vector<std::uint32_t> pixels(620 * 432);
        ZornbeckScreenshot shot{620, 432, 620 * 4, pixels.data()};
        EXPECT_EQ(plugin->dispatch(effVendorSpecific, kZornbeckVendorTag, kZornbeckScreenshot, &shot), 1);
        return pixels;
    }
};

TEST_F(EditorWindowTest, OpensShowsReactsToAClickAndCloses) {
    ERect* rect = nullptr;
    ASSERT_EQ(plugin->dispatch(effEditGetRect, 0, 0, &rect), 1);
    ASSERT_TRUE(rect);
    EXPECT_EQ(rect->right - rect->left, 620);
    EXPECT_EQ(rect->bottom - rect->top, 432);

    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent)), 1);
    auto kids = children();
    ASSERT_EQ(kids.size(), 1u);
    Window child = kids[0];
    XWindowAttributes a{};
    XGetWindowAttributes(display, child, &a);
    EXPECT_EQ(a.x, 0);
    EXPECT_EQ(a.y, 0);
    EXPECT_EQ(a.width, 620);
    EXPECT_EQ(a.height, 432);

    idleUntil([] { return false; }, 300);
    std::vector<std::uint32_t> expected = screenshot();
    XImage* shown = XGetImage(display, child, 0, 0, 620, 432, AllPlanes, ZPixmap);
    ASSERT_TRUE(shown);
    // Outside the crowd display (whose version line fades and whose selected figure moves)
    // the window shows exactly the off-screen picture.
    int differing = 0, displayDiffering = 0;
    for (int y = 0; y < 432; ++y) {
        for (int x = 0; x < 620; ++x) {
            bool same = (XGetPixel(shown, x, y) & 0xFFFFFF) ==
                        (expected[std::size_t(y) * 620 + std::size_t(x)] & 0xFFFFFF);
            bool inDisplay = x >= 2 && x < 342 && y >= 2 && y < 274;
            (inDisplay ? displayDiffering : differing) += !same;
        }
    }
    XDestroyImage(shown);
    EXPECT_EQ(differing, 0);
    EXPECT_LT(displayDiffering, 340 * 272 / 50);

    // A synthetic click on the Solo switch turns Solo on and the switch shows it.
    float soloBefore = plugin->getParameter(6);
    XTestFakeMotionEvent(display, 0, kLeft + 400, kTop + 48, CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XSync(display, False);
    ASSERT_TRUE(idleUntil([&] { return plugin->getParameter(6) != soloBefore; }, 3000));
    EXPECT_EQ(plugin->getParameter(6), soloBefore == 0.0f ? 1.0f : 0.0f);
    EXPECT_EQ(plugin->countCalls(audioMasterBeginEdit), 1);
    idleUntil([] { return false; }, 200);
    std::vector<std::uint32_t> after = screenshot();
    shown = XGetImage(display, child, 387, 40, 33, 17, AllPlanes, ZPixmap);
    int changed = 0, matching = 0;
    for (int y = 0; y < 17; ++y) {
        for (int x = 0; x < 33; ++x) {
            std::size_t i = std::size_t(40 + y) * 620 + std::size_t(387 + x);
            changed += (after[i] & 0xFFFFFF) != (expected[i] & 0xFFFFFF);
            matching += (XGetPixel(shown, x, y) & 0xFFFFFF) == (after[i] & 0xFFFFFF);
        }
    }
    XDestroyImage(shown);
    EXPECT_GT(changed, 100);
    EXPECT_EQ(matching, 33 * 17);

    plugin->dispatch(effEditClose);
    XSync(display, False);
    EXPECT_TRUE(children().empty());
    // Open and close again: a new window each time, none left over.
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent)), 1);
        EXPECT_EQ(children().size(), 1u);
        plugin->dispatch(effEditClose);
        XSync(display, False);
        EXPECT_TRUE(children().empty());
    }
}

}  // namespace
