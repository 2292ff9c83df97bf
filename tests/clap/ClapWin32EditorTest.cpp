// The Windows Zornbeck.clap's editor embedded in a host's Win32 window: its size, a click on Solo
// arriving as gesture and value events through request_flush and flush, and nothing left after
// destroy.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <functional>

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

}  // namespace
