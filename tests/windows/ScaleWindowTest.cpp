// The DLL's editor in a Win32 window at scales above 1: the host's factor, and the window's DPI
// where Wine lets a window have more than 96.
#include <gtest/gtest.h>
#include <png.h>
#include <windows.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "PluginLoader.h"
#include "vst/ZornbeckExtensions.h"

namespace {

const char* const kFrameClass = "ZornbeckEditorFrame";

std::string buildDir() {
    char exe[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string path(exe, n);
    return path.substr(0, path.find_last_of("\\/"));
}

// Straight RGB of a PNG file, 0xRRGGBB per pixel; empty when unreadable.
std::vector<std::uint32_t> readPng(const std::string& path, int& width, int& height) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return {};
    image.format = PNG_FORMAT_BGRA;
    std::vector<std::uint32_t> pixels(std::size_t(image.width) * image.height);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr))
        return {};
    width = int(image.width);
    height = int(image.height);
    for (auto& p : pixels) p &= 0xFFFFFF;
    return pixels;
}

int channelDistance(std::uint32_t a, std::uint32_t b) {
    int d = 0;
    for (int shift = 0; shift < 24; shift += 8)
        d = std::max(d, std::abs(int((a >> shift) & 255) - int((b >> shift) & 255)));
    return d;
}

LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

using SetThreadDpiAwarenessContextFn = HANDLE(WINAPI*)(HANDLE);
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);

template <typename F>
F user32(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}

struct ScaleWindowTest : ::testing::Test {
    HWND parent = nullptr;
    std::unique_ptr<zb::PluginLoader> plugin;
    std::vector<std::pair<int, int>> resizes;

    void SetUp() override {
        _putenv("ZORNBECK_SCALE=");
        zb::LoadOptions options;
        options.path = buildDir() + "\\Zornbeck.dll";
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
    void TearDown() override {
        plugin.reset();
        if (parent)
            DestroyWindow(parent);
    }

    // The host's window, made in the calling thread's DPI awareness.
    void makeHost() {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = hostProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "ZornbeckScaleHost";
        ATOM atom = RegisterClassExA(&wc);
        DWORD registerError = atom ? 0 : GetLastError();
        parent = CreateWindowExA(0, "ZornbeckScaleHost", "host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 1900,
                                 1340, nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_TRUE(parent) << "register " << registerError << ", create " << GetLastError();
        ShowWindow(parent, SW_SHOW);
    }

    HWND child() const { return FindWindowExA(parent, nullptr, kFrameClass, nullptr); }

    std::pair<int, int> editorSize() {
        ERect* rect = nullptr;
        plugin->dispatch(effEditGetRect, 0, 0, &rect);
        return rect ? std::make_pair(rect->right - rect->left, rect->bottom - rect->top) : std::make_pair(0, 0);
    }
    std::pair<int, int> clientSize(HWND window) {
        RECT r{};
        GetClientRect(window, &r);
        return {r.right, r.bottom};
    }

    bool pumpUntil(const std::function<bool()>& done, int ms) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            plugin->dispatch(effEditIdle);
            if (done())
                return true;
            Sleep(10);
        }
        return false;
    }

    // A click on Solo and a drag of Spread at the device pixels of scale `s`, as Windows delivers
    // them to the editor's window.
    void clickAndDrag(HWND window, double s) {
        auto at = [&](double layout) { return int(std::lround(layout * s)); };
        float solo = plugin->getParameter(6);
        PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at(403.5), at(48.5)));
        PostMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(at(403.5), at(48.5)));
        ASSERT_TRUE(pumpUntil([&] { return plugin->getParameter(6) != solo; }, 2000));

        plugin->setParameter(12, 0.5f);
        pumpUntil([] { return false; }, 60);
        PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at(326), at(337)));
        PostMessageA(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(at(326) + at(45), at(337)));
        PostMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(at(326) + at(45), at(337)));
        EXPECT_TRUE(pumpUntil([&] { return std::fabs(plugin->getParameter(12) - 0.6f) < 0.003f; }, 2000))
            << plugin->getParameter(12);
    }
};

TEST_F(ScaleWindowTest, TheHostsFactorResizesTheOpenWindowAndInputLandsAsAt1x) {
    makeHost();
    ASSERT_EQ(plugin->canDo("supportsViewDpiScaling"), 1);
    plugin->dispatch(effVendorSpecific, kVendorScaleIndex, kVendorScaleValue, nullptr, 1.0f);
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, parent), 1);
    HWND window = child();
    ASSERT_TRUE(window);
    EXPECT_EQ(clientSize(window), std::make_pair(620, 432));
    for (float s : {1.5f, 2.0f, 3.0f}) {
        SCOPED_TRACE(s);
        resizes.clear();
        plugin->dispatch(effVendorSpecific, kVendorScaleIndex, kVendorScaleValue, nullptr, s);
        const std::pair<int, int> size{int(std::ceil(620 * s)), int(std::ceil(432 * s))};
        EXPECT_EQ(editorSize(), size);
        EXPECT_EQ(clientSize(window), size);
        ASSERT_EQ(resizes.size(), 1u);
        EXPECT_EQ(resizes[0], size);
        clickAndDrag(window, s);
    }
    plugin->dispatch(effVendorSpecific, kVendorScaleIndex, kVendorScaleValue, nullptr,
                     std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(editorSize(), std::make_pair(1860, 1296));
    plugin->dispatch(effEditClose);
}

TEST_F(ScaleWindowTest, APerMonitorAwareHostsWindowDpiSetsTheScale) {
    auto setAwareness = user32<SetThreadDpiAwarenessContextFn>("SetThreadDpiAwarenessContext");
    auto dpiFor = user32<GetDpiForWindowFn>("GetDpiForWindow");
    if (!setAwareness || !dpiFor)
        GTEST_SKIP() << "no per-monitor DPI functions";
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2, as a DPI-aware DAW runs.
    HANDLE previous = setAwareness(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)));
    makeHost();
    const UINT dpi = dpiFor(parent);
    if (previous)
        setAwareness(previous);
    if (dpi <= 96)
        GTEST_SKIP() << "the window has " << dpi << " dpi here";
    const double s = std::min(dpi / 96.0, 3.0);
    // The thread that opens the editor is not DPI aware: the editor takes the window's awareness.
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, parent), 1);
    HWND window = child();
    ASSERT_TRUE(window);
    const std::pair<int, int> size{int(std::ceil(620 * s - 1e-6)), int(std::ceil(432 * s - 1e-6))};
    EXPECT_EQ(editorSize(), size);
    EXPECT_EQ(clientSize(window), size);
    clickAndDrag(window, s);
    plugin->dispatch(effEditClose);
}

// The DLL's pictures at 1.5x and 2x against the Linux module's, up to the two text rasterisers;
// and at 2x the window shows its own picture.
TEST_F(ScaleWindowTest, ThePicturesAtOneAndAHalfAndTwiceMatchTheLinuxOnes) {
    makeHost();
    for (float s : {2.0f, 1.5f}) {
        SCOPED_TRACE(s);
        const char* name = s == 2.0f ? "ZB_LINUX_PICTURE_2X" : "ZB_LINUX_PICTURE_15X";
        const char* linuxPicture = std::getenv(name);
        if (!linuxPicture)
            GTEST_SKIP() << name << " names no Linux picture to compare with";
        plugin->dispatch(effVendorSpecific, kVendorScaleIndex, kVendorScaleValue, nullptr, s);
        auto [w, h] = editorSize();
        std::vector<std::uint32_t> own(std::size_t(w) * h);
        ZornbeckScreenshot shot{w, h, w * 4, own.data()};
        ASSERT_EQ(plugin->dispatch(effVendorSpecific, kZornbeckVendorTag, kZornbeckScreenshot, &shot), 1);
        for (auto& p : own) p &= 0xFFFFFF;
        int lw = 0, lh = 0;
        std::vector<std::uint32_t> expected = readPng(linuxPicture, lw, lh);
        ASSERT_EQ(lw, w);
        ASSERT_EQ(lh, h);
        long total = 0, distant = 0, counted = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                if (x < 344 * s && y < 276 * s)
                    continue;  // the crowd display animates
                int d = channelDistance(own[std::size_t(y) * w + x], expected[std::size_t(y) * w + x]);
                total += d;
                distant += d > 64;
                ++counted;
            }
        double mean = double(total) / double(counted), farShare = double(distant) / double(counted);
        std::printf("picture at %.1fx against Linux: mean channel difference %.3f, %.3f%% differ by more than 64\n",
                    s, mean, 100.0 * farShare);
        if (s == 2.0f) {
            EXPECT_LT(mean, 0.5);
            EXPECT_LT(farShare, 0.001);
        } else {
            // Between renditions the two libraries filter the images differently and place text
            // at fractional pixels differently: edges may move by a device pixel.
            EXPECT_LT(mean, 3.0);
            EXPECT_LT(farShare, 0.01);
        }

        if (s != 2.0f)
            continue;
        ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, parent), 1);
        HWND window = child();
        ASSERT_TRUE(window);
        pumpUntil([] { return false; }, 300);
        HDC dc = GetDC(window);
        int differing = 0;
        for (int y = 300 * 2; y < 400 * 2; y += 3)
            for (int x = 350 * 2; x < 610 * 2; x += 3) {
                COLORREF c = GetPixel(dc, x, y);
                std::uint32_t rgb = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
                differing += rgb != own[std::size_t(y) * w + x];
            }
        ReleaseDC(window, dc);
        EXPECT_EQ(differing, 0);
        plugin->dispatch(effEditClose);
    }
}

}  // namespace
