// The VST 3 editor view in a Win32 host window under Wine: the view idles from its own timer on
// the host's window (only the host's message loop runs), gestures reach the host as
// begin/perform/end on the right ids, and closing leaves no window behind.
#include <windows.h>

#include <chrono>
#include <functional>
#include <limits>

#include "Vst3Fixture.h"

namespace {

using namespace v3;

LRESULT CALLBACK hostProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

struct Vst3WindowsEditorTest : ::testing::Test {
    HWND parent = nullptr;
    std::unique_ptr<sh::Module> module;
    std::unique_ptr<sh::Instance> plugin;

    void SetUp() override {
        _putenv("ZORNBECK_SCALE=");  // only the host's factor and the window's DPI decide here
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = hostProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "ZornbeckVst3TestHost";
        RegisterClassExA(&wc);
        parent = CreateWindowExA(0, "ZornbeckVst3TestHost", "host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40, 30,
                                 700, 500, nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_TRUE(parent);
        ShowWindow(parent, SW_SHOW);
        module = loadBundle();
        ASSERT_NE(module, nullptr);
        plugin = std::make_unique<sh::Instance>(*module);
    }
    void TearDown() override {
        plugin.reset();
        module.reset();
        if (parent != nullptr) {
            DestroyWindow(parent);
        }
    }

    HWND child() const { return FindWindowExA(parent, nullptr, nullptr, nullptr); }

    bool pumpUntil(const std::function<bool()>& done, int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            if (done()) {
                return true;
            }
            Sleep(10);
        }
        return false;
    }

    bool gesture(std::uint32_t id) {
        int stage = 0;  // begin, at least one perform, end, in that order
        for (const sh::Edit& e : plugin->handler.edits) {
            if (e.id != id) {
                continue;
            }
            if (stage == 0 && e.kind == 'b') {
                stage = 1;
            } else if (stage >= 1 && e.kind == 'p') {
                stage = 2;
            } else if (stage == 2 && e.kind == 'e') {
                return true;
            }
        }
        return false;
    }
};

TEST_F(Vst3WindowsEditorTest, OpensOnTheHwndIdlesItselfTakesGesturesAndCloses) {
    void* view = sh::call<void*>(plugin->controller, 17, "editor");
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(sh::call<sh::tresult>(view, 3, "HWND"), sh::kOk);
    EXPECT_EQ(sh::call<sh::tresult>(view, 3, "X11EmbedWindowID"), sh::kFalse);
    ASSERT_EQ(sh::call<sh::tresult>(view, 12, static_cast<void*>(&plugin->handler.frame)), sh::kOk);
    ASSERT_EQ(sh::call<sh::tresult>(view, 4, static_cast<void*>(parent), "HWND"), sh::kOk);
    HWND window = child();
    ASSERT_NE(window, nullptr);
    RECT r{};
    GetClientRect(window, &r);
    EXPECT_EQ(r.right - r.left, 620);
    EXPECT_EQ(r.bottom - r.top, 432);
    // The view's idle timer runs on the host's window, through the host's message loop alone.
    Sleep(100);
    MSG tick;
    EXPECT_TRUE(PeekMessageA(&tick, parent, WM_TIMER, WM_TIMER, PM_NOREMOVE));
    pumpUntil([] { return false; }, 300);

    const double soloBefore = plugin->get(6);
    PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(400, 48));
    PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(400, 48));
    PostMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(400, 48));
    ASSERT_TRUE(pumpUntil([&] { return gesture(6); }, 3000));
    EXPECT_EQ(plugin->get(6), soloBefore == 0.0 ? 1.0 : 0.0);

    const double wetBefore = plugin->get(2);
    PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(520, 336));
    PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(520, 336));
    for (int dy = 5; dy <= 45; dy += 5) {
        PostMessageA(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(520, 336 - dy));
    }
    PostMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(520, 291));
    ASSERT_TRUE(pumpUntil([&] { return gesture(2); }, 3000));
    EXPECT_NEAR(plugin->get(2), std::min(wetBefore + 0.1, 1.0), 1e-6);

    EXPECT_EQ(sh::call<sh::tresult>(view, 5), sh::kOk);
    EXPECT_EQ(sh::call<sh::tresult>(view, 12, static_cast<void*>(nullptr)), sh::kOk);
    EXPECT_EQ(sh::release(view), 0u);
    pumpUntil([] { return false; }, 100);
    EXPECT_EQ(child(), nullptr);
    // Again and again: a window each time, none left over.
    for (int i = 0; i < 20; ++i) {
        view = sh::call<void*>(plugin->controller, 17, "editor");
        ASSERT_NE(view, nullptr);
        sh::call<sh::tresult>(view, 12, static_cast<void*>(&plugin->handler.frame));
        ASSERT_EQ(sh::call<sh::tresult>(view, 4, static_cast<void*>(parent), "HWND"), sh::kOk);
        pumpUntil([] { return false; }, 20);
        sh::call<sh::tresult>(view, 5);
        sh::call<sh::tresult>(view, 12, static_cast<void*>(nullptr));
        ASSERT_EQ(sh::release(view), 0u);
        ASSERT_EQ(child(), nullptr) << "round " << i;
    }
}

// Windows hosts tell the view their monitor's factor: the editor's window takes it at once, the
// frame is asked for the room, and a click at device coordinates lands as it does at 1x.
TEST_F(Vst3WindowsEditorTest, ContentScaleResizesTheOpenWindowAndClicksLandAsAt1x) {
    void* view = sh::call<void*>(plugin->controller, 17, "editor");
    ASSERT_NE(view, nullptr);
    void* scale = sh::query(view, sh::tuid("65ED96908AC445258AADEF7A72EA703F"));
    ASSERT_NE(scale, nullptr);
    ASSERT_EQ(sh::call<sh::tresult>(view, 12, static_cast<void*>(&plugin->handler.frame)), sh::kOk);
    ASSERT_EQ(sh::call<sh::tresult>(view, 4, static_cast<void*>(parent), "HWND"), sh::kOk);
    HWND window = child();
    ASSERT_NE(window, nullptr);

    EXPECT_EQ(sh::call<sh::tresult>(scale, 3, 2.0f), sh::kOk);
    EXPECT_EQ(sh::call<sh::tresult>(scale, 3, std::numeric_limits<float>::quiet_NaN()), sh::kFalse);
    RECT r{};
    GetClientRect(window, &r);
    EXPECT_EQ(r.right - r.left, 1240);
    EXPECT_EQ(r.bottom - r.top, 864);
    sh::ViewRect size{};
    ASSERT_EQ(sh::call<sh::tresult>(view, 9, &size), sh::kOk);
    EXPECT_EQ(size.right - size.left, 1240);
    EXPECT_EQ(size.bottom - size.top, 864);
    EXPECT_EQ(plugin->handler.resizes, 1);
    EXPECT_EQ(plugin->handler.lastResize.right - plugin->handler.lastResize.left, 1240);
    EXPECT_EQ(plugin->handler.lastResize.bottom - plugin->handler.lastResize.top, 864);
    pumpUntil([] { return false; }, 200);

    const double soloBefore = plugin->get(6);
    PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(800, 96));
    PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(800, 96));
    PostMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(800, 96));
    ASSERT_TRUE(pumpUntil([&] { return gesture(6); }, 3000));
    EXPECT_EQ(plugin->get(6), soloBefore == 0.0 ? 1.0 : 0.0);

    sh::release(scale);
    EXPECT_EQ(sh::call<sh::tresult>(view, 5), sh::kOk);
    EXPECT_EQ(sh::call<sh::tresult>(view, 12, static_cast<void*>(nullptr)), sh::kOk);
    EXPECT_EQ(sh::release(view), 0u);
}

}  // namespace
