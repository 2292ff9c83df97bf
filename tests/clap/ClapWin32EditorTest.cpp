// The Windows Zornbeck.clap's editor embedded in a host's Win32 window: its size, a click on Solo
// arriving as gesture and value events through request_flush and flush, and nothing left after
// destroy.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <functional>
#include <limits>
#include <utility>

#include "tests/clap/StrictHost.h"

namespace {

constexpr int kWidth = 620, kHeight = 432;
const char* const kFrameClass = "ZornbeckEditorFrame";

LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

struct ClapWin32EditorTest : ::testing::Test {
    HWND parent = nullptr;
    std::unique_ptr<th::ClapLibrary> lib;
    std::unique_ptr<th::StrictHost> host;
    int flushesAnswered = 0;

    void SetUp() override {
        _putenv("ZORNBECK_SCALE=");  // only the host's factor and the window's DPI decide here
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = hostProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "ZornbeckClapTestHost";
        RegisterClassExA(&wc);
        parent = CreateWindowExA(0, "ZornbeckClapTestHost", "host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40,
                                 30, kWidth + 40, kHeight + 60, nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_TRUE(parent);
        ShowWindow(parent, SW_SHOW);
        std::string error;
        lib = th::ClapLibrary::open(th::clapPath(), error);
        ASSERT_TRUE(lib) << error;
        host = std::make_unique<th::StrictHost>(*lib);
        ASSERT_TRUE(host->create());
    }
    void TearDown() override {
        host.reset();
        lib.reset();
        if (parent) {
            DestroyWindow(parent);
        }
    }

    HWND child() const { return FindWindowExA(parent, nullptr, kFrameClass, nullptr); }

    bool pumpUntil(const std::function<bool()>& done, int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            host->idle();
            if (host->flushRequests > flushesAnswered) {
                flushesAnswered = host->flushRequests;
                host->flush();
            }
            if (done()) {
                return true;
            }
            Sleep(10);
        }
        return false;
    }

    int count(uint16_t type, uint32_t id) const {
        int n = 0;
        for (const th::OutEvent& e : host->outEvents) {
            n += e.type == type && e.id == id;
        }
        return n;
    }
};

TEST_F(ClapWin32EditorTest, EmbedsInTheHostsWindowAndSendsAClickAsEvents) {
    ASSERT_NE(host->gui, nullptr);
    const th::plugin_t* p = host->plugin();
    EXPECT_TRUE(host->gui->is_api_supported(p, "win32", false));
    EXPECT_FALSE(host->gui->is_api_supported(p, "x11", false));
    ASSERT_TRUE(host->gui->create(p, "win32", false));
    th::window_t window{};
    window.api = "win32";
    window.ptr = parent;
    ASSERT_TRUE(host->gui->set_parent(p, &window));
    uint32_t w = 0, h = 0;
    ASSERT_TRUE(host->gui->get_size(p, &w, &h));
    EXPECT_EQ(w, uint32_t(kWidth));
    EXPECT_EQ(h, uint32_t(kHeight));
    HWND editor = child();
    ASSERT_TRUE(editor) << "embedded in the host's window";
    RECT r{};
    GetClientRect(editor, &r);
    EXPECT_EQ(r.right, kWidth);
    EXPECT_EQ(r.bottom, kHeight);
    pumpUntil([] { return false; }, 300);

    const double solo = host->get(6);
    PostMessageA(editor, WM_MOUSEMOVE, 0, MAKELPARAM(400, 48));
    PostMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(400, 48));
    PostMessageA(editor, WM_LBUTTONUP, 0, MAKELPARAM(400, 48));
    ASSERT_TRUE(pumpUntil([&] { return count(th::kGestureEnd, 6) > 0; }, 3000));
    EXPECT_EQ(count(th::kGestureBegin, 6), 1);
    EXPECT_GE(count(th::kParamValue, 6), 1);
    EXPECT_NE(host->get(6), solo);

    host->gui->destroy(p);
    EXPECT_FALSE(child());
    EXPECT_TRUE(host->violations.empty()) << host->violations.front();
}

// On Windows the host knows the monitor's factor and says it with set_scale: the window takes it,
// a change while open asks request_resize, and a click at device coordinates lands as at 1x.
TEST_F(ClapWin32EditorTest, SetScaleSizesTheWindowAndAChangeWhileOpenRequestsAResize) {
    const th::plugin_t* p = host->plugin();
    ASSERT_TRUE(host->gui->create(p, "win32", false));
    EXPECT_TRUE(host->gui->set_scale(p, 2.0));
    th::window_t window{};
    window.api = "win32";
    window.ptr = parent;
    ASSERT_TRUE(host->gui->set_parent(p, &window));
    uint32_t w = 0, h = 0;
    ASSERT_TRUE(host->gui->get_size(p, &w, &h));
    EXPECT_EQ(w, 2u * kWidth);
    EXPECT_EQ(h, 2u * kHeight);
    HWND editor = child();
    ASSERT_TRUE(editor);
    RECT r{};
    GetClientRect(editor, &r);
    EXPECT_EQ(r.right, 2 * kWidth);
    EXPECT_EQ(r.bottom, 2 * kHeight);
    EXPECT_TRUE(host->resizeRequests.empty());

    EXPECT_TRUE(host->gui->set_scale(p, 1.5));
    EXPECT_FALSE(host->gui->set_scale(p, std::numeric_limits<double>::quiet_NaN()));
    ASSERT_EQ(host->resizeRequests.size(), 1u);
    EXPECT_EQ(host->resizeRequests[0], std::make_pair(930u, 648u));
    GetClientRect(editor, &r);
    EXPECT_EQ(r.right, 930);
    EXPECT_EQ(r.bottom, 648);
    pumpUntil([] { return false; }, 200);

    const double solo = host->get(6);
    PostMessageA(editor, WM_MOUSEMOVE, 0, MAKELPARAM(600, 72));
    PostMessageA(editor, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(600, 72));
    PostMessageA(editor, WM_LBUTTONUP, 0, MAKELPARAM(600, 72));
    ASSERT_TRUE(pumpUntil([&] { return count(th::kGestureEnd, 6) > 0; }, 3000));
    EXPECT_NE(host->get(6), solo);

    host->gui->destroy(p);
    EXPECT_FALSE(child());
    EXPECT_TRUE(host->violations.empty()) << host->violations.front();
}

}  // namespace
