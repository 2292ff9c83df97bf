// The DLL's editor in a real Win32 window, driven as a Windows DAW drives it: opened in the
// host's window, read back from the screen, clicked, dragged, its popup menu answered, and opened
// and closed many times.
#include <gtest/gtest.h>
#include <png.h>
#include <windows.h>
// after windows.h
#include <psapi.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "PluginLoader.h"
#include "vst/ZornbeckExtensions.h"

namespace {

constexpr int kWidth = 620, kHeight = 432;
constexpr VstInt32 kPopulation = 0, kRandLower = 4, kSolo = 6;
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

// Kept for a look when a comparison fails: ZB_PICTURE_DIR names where.
void keepPicture(const std::vector<std::uint32_t>& pixels, const char* name) {
    const char* dir = std::getenv("ZB_PICTURE_DIR");
    if (!dir)
        return;
    std::vector<std::uint32_t> opaque(pixels);
    for (auto& p : opaque) p |= 0xFF000000u;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = kWidth;
    image.height = kHeight;
    image.format = PNG_FORMAT_BGRA;
    png_image_write_to_file(&image, (std::string(dir) + "\\" + name).c_str(), 0, opaque.data(), 0, nullptr);
}

int channelDistance(std::uint32_t a, std::uint32_t b) {
    int d = 0;
    for (int shift = 0; shift < 24; shift += 8)
        d = std::max(d, std::abs(int((a >> shift) & 255) - int((b >> shift) & 255)));
    return d;
}

bool inCrowdDisplay(int x, int y) {
    // The crowd display animates (its version line fades, the selected figure moves).
    return x >= 2 && x < 342 && y >= 2 && y < 274;
}

LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

struct EditorWindowTest : ::testing::Test {
    HWND parent = nullptr;
    std::unique_ptr<zb::PluginLoader> plugin;

    void SetUp() override {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = hostProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "ZornbeckTestHost";
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        RegisterClassExA(&wc);
        RECT r{0, 0, kWidth, kHeight};
        AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
        parent = CreateWindowExA(WS_EX_TOPMOST, "ZornbeckTestHost", "host",
                                 WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40, 30, r.right - r.left,
                                 r.bottom - r.top, nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_TRUE(parent);
        ShowWindow(parent, SW_SHOW);
        UpdateWindow(parent);
        zb::LoadOptions options;
        options.path = buildDir() + "\\Zornbeck.dll";
        std::string error;
        plugin = zb::PluginLoader::load(options, error);
        ASSERT_TRUE(plugin) << error;
    }
    void TearDown() override {
        plugin.reset();
        if (parent)
            DestroyWindow(parent);
    }

    HWND child() const { return FindWindowExA(parent, nullptr, kFrameClass, nullptr); }

    // Delivers messages and idles the editor, as a host does, until `done` or `ms` pass.
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

    // The window's pixels as the screen shows them, read from its device context.
    std::vector<std::uint32_t> readBack(HWND window) {
        std::vector<std::uint32_t> pixels(std::size_t(kWidth) * kHeight);
        HDC dc = GetDC(window);
        HDC memory = CreateCompatibleDC(dc);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = kWidth;
        info.bmiHeader.biHeight = -kHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, kWidth, kHeight, dc, 0, 0, SRCCOPY);
        GdiFlush();
        std::memcpy(pixels.data(), bits, pixels.size() * 4);
        SelectObject(memory, old);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(window, dc);
        for (auto& p : pixels) p &= 0xFFFFFF;
        return pixels;
    }

    std::vector<std::uint32_t> offscreenPicture() {
        std::vector<std::uint32_t> pixels(std::size_t(kWidth) * kHeight);
        ZornbeckScreenshot shot{kWidth, kHeight, kWidth * 4, pixels.data()};
        EXPECT_EQ(plugin->dispatch(effVendorSpecific, kZornbeckVendorTag, kZornbeckScreenshot, &shot), 1);
        for (auto& p : pixels) p &= 0xFFFFFF;
        return pixels;
    }

    void click(HWND window, int x, int y) {
        PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
        PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        PostMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    }

    int automations(VstInt32 index) {
        int n = 0;
        for (const zb::HostCall& call : plugin->calls())
            n += call.opcode == audioMasterAutomate && call.index == index;
        return n;
    }
};

TEST_F(EditorWindowTest, ShowsThePictureOfTheLinuxEditor) {
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, parent), 1);
    HWND window = child();
    ASSERT_TRUE(window);
    RECT r{};
    GetClientRect(window, &r);
    EXPECT_EQ(r.right, kWidth);
    EXPECT_EQ(r.bottom, kHeight);
    pumpUntil([] { return false; }, 400);
    std::vector<std::uint32_t> shown = readBack(window);
    std::vector<std::uint32_t> own = offscreenPicture();
    keepPicture(shown, "window.png");
    keepPicture(own, "offscreen.png");

    // The window shows the module's own picture, pixel for pixel outside the animated display.
    int differingFromOwn = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            differingFromOwn += !inCrowdDisplay(x, y) &&
                                shown[std::size_t(y) * kWidth + x] != own[std::size_t(y) * kWidth + x];
    EXPECT_EQ(differingFromOwn, 0);

    // And the Linux module's picture of the same program, up to the two text rasterisers.
    const char* linuxPicture = std::getenv("ZB_LINUX_PICTURE");
    if (!linuxPicture)
        GTEST_SKIP() << "ZB_LINUX_PICTURE names no Linux picture to compare with";
    int w = 0, h = 0;
    std::vector<std::uint32_t> expected = readPng(linuxPicture, w, h);
    ASSERT_EQ(w, kWidth);
    ASSERT_EQ(h, kHeight);
    long total = 0, distant = 0, counted = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            if (inCrowdDisplay(x, y))
                continue;
            int d =
                channelDistance(shown[std::size_t(y) * kWidth + x], expected[std::size_t(y) * kWidth + x]);
            total += d;
            distant += d > 64;
            ++counted;
        }
    }
    double mean = double(total) / double(counted);
    double farShare = double(distant) / double(counted);
    std::printf(
        "picture against Linux: mean channel difference %.3f, %.3f%% of pixels differ by more than 64\n",
        mean, 100.0 * farShare);
    EXPECT_LT(mean, 0.5);
    EXPECT_LT(farShare, 0.001);
    plugin->dispatch(effEditClose);
}

TEST_F(EditorWindowTest, ClicksDragsAndThePopupMenuReachTheHost) {
    plugin->setParameter(kSolo, 0.0f);
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, parent), 1);
    HWND window = child();
    ASSERT_TRUE(window);
    pumpUntil([] { return false; }, 200);
    plugin->clearCalls();

    click(window, 400, 48);  // Solo
    ASSERT_TRUE(pumpUntil([&] { return plugin->getParameter(kSolo) == 1.0f; }, 3000));
    EXPECT_EQ(automations(kSolo), 1);

    // The lower bound dial, dragged 90 pixels to the right: +0.2.
    plugin->setParameter(kRandLower, 0.2f);
    pumpUntil([] { return false; }, 100);
    plugin->clearCalls();
    PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(205, 356));
    PostMessageA(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(250, 356));
    PostMessageA(window, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(295, 356));
    PostMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(295, 356));
    ASSERT_TRUE(pumpUntil([&] { return std::fabs(plugin->getParameter(kRandLower) - 0.4f) < 1e-5f; }, 3000));
    EXPECT_GE(automations(kRandLower), 1);
    EXPECT_EQ(plugin->countCalls(audioMasterBeginEdit), 1);
    EXPECT_EQ(plugin->countCalls(audioMasterEndEdit), 1);

    // The population menu opens as a native popup menu; the keyboard picks its third entry.
    plugin->clearCalls();
    std::atomic<bool> menuSeen{false};
    const int current = int(std::lround(plugin->getParameter(kPopulation) * 60.0f));
    int ticked = -1;
    std::thread answer([&] {
        for (int i = 0; i < 300; ++i) {
            HWND menu = FindWindowA("#32768", nullptr);
            if (menu && IsWindowVisible(menu)) {
                menuSeen = true;
                HMENU handle = reinterpret_cast<HMENU>(SendMessageA(menu, MN_GETHMENU, 0, 0));
                for (int k = 0; k < GetMenuItemCount(handle) && ticked < 0; ++k)
                    if (GetMenuState(handle, UINT(k), MF_BYPOSITION) & MF_CHECKED)
                        ticked = k;
                for (int k = 0; k < 3; ++k) PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
                PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
                return;
            }
            Sleep(10);
        }
    });
    click(window, 24, 305);
    bool picked = pumpUntil([&] { return automations(kPopulation) > 0; }, 4000);
    answer.join();
    EXPECT_TRUE(menuSeen);
    EXPECT_EQ(ticked, current) << "the current population is ticked";
    ASSERT_TRUE(picked);
    EXPECT_FLOAT_EQ(plugin->getParameter(kPopulation), 2.0f / 60.0f);
    EXPECT_EQ(FindWindowA("#32768", nullptr) == nullptr || !IsWindowVisible(FindWindowA("#32768", nullptr)),
              true);

    plugin->dispatch(effEditClose);
    EXPECT_EQ(child(), nullptr);
}

// The native menu of `window` (a popup menu window), its entries' states and submenus.
struct MenuShape {
    int count = 0;
    bool separatorAt3 = false;
    int submenuEntries = -1;
};

TEST_F(EditorWindowTest, ThePresetMenuHasItsSeparatorAndSubmenu) {
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, parent), 1);
    HWND window = child();
    ASSERT_TRUE(window);
    pumpUntil([] { return false; }, 100);
    ASSERT_EQ(plugin->program(), 0);
    MenuShape shape;
    std::thread answer([&] {
        for (int i = 0; i < 300; ++i) {
            HWND menu = FindWindowA("#32768", nullptr);
            if (menu && IsWindowVisible(menu)) {
                HMENU handle = reinterpret_cast<HMENU>(SendMessageA(menu, MN_GETHMENU, 0, 0));
                shape.count = GetMenuItemCount(handle);
                MENUITEMINFOA info{};
                info.cbSize = sizeof info;
                info.fMask = MIIM_FTYPE;
                shape.separatorAt3 = GetMenuItemInfoA(handle, 3, TRUE, &info) && (info.fType & MFT_SEPARATOR);
                if (HMENU sub = GetSubMenu(handle, 4))
                    shape.submenuEntries = GetMenuItemCount(sub);
                // Up to the last entry, into its submenu, down to the third program, taken.
                for (WPARAM key : {VK_UP, VK_RIGHT, VK_DOWN, VK_DOWN, VK_RETURN})
                    PostMessageA(menu, WM_KEYDOWN, key, 0);
                return;
            }
            Sleep(10);
        }
    });
    click(window, 40, 412);
    bool switched = pumpUntil([&] { return plugin->program() == 2; }, 4000);
    answer.join();
    EXPECT_EQ(shape.count, 5);
    EXPECT_TRUE(shape.separatorAt3);
    EXPECT_EQ(shape.submenuEntries, 24);
    EXPECT_TRUE(switched) << "program " << plugin->program();
    plugin->dispatch(effEditClose);
}

TEST_F(EditorWindowTest, TheNameBoxIsANativeEditControl) {
    ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, parent), 1);
    HWND window = child();
    ASSERT_TRUE(window);
    pumpUntil([] { return false; }, 100);
    std::string before = plugin->programName();

    // Typed and confirmed with Return: the program takes the name.
    click(window, 200, 412);
    HWND edit = nullptr;
    ASSERT_TRUE(
        pumpUntil([&] { return (edit = FindWindowExA(window, nullptr, "EDIT", nullptr)) != nullptr; }, 2000));
    char shown[300] = {};
    GetWindowTextA(edit, shown, sizeof shown);
    EXPECT_EQ(std::string(shown), before);
    SetWindowTextA(edit, "Choir Of Ghosts");
    PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
    ASSERT_TRUE(pumpUntil([&] { return plugin->programName() == "Choir Of Ghosts"; }, 2000))
        << plugin->programName();
    EXPECT_EQ(FindWindowExA(window, nullptr, "EDIT", nullptr), nullptr);

    // Escape leaves the name as it was.
    click(window, 200, 412);
    ASSERT_TRUE(
        pumpUntil([&] { return (edit = FindWindowExA(window, nullptr, "EDIT", nullptr)) != nullptr; }, 2000));
    SetWindowTextA(edit, "Not Taken");
    PostMessageA(edit, WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_TRUE(pumpUntil([&] { return FindWindowExA(window, nullptr, "EDIT", nullptr) == nullptr; }, 2000));
    EXPECT_EQ(plugin->programName(), "Choir Of Ghosts");

    // A click elsewhere commits what was typed, as the toolkit's own field does.
    click(window, 200, 412);
    ASSERT_TRUE(
        pumpUntil([&] { return (edit = FindWindowExA(window, nullptr, "EDIT", nullptr)) != nullptr; }, 2000));
    SetWindowTextA(edit, "Taken By Click");
    click(window, 600, 200);
    ASSERT_TRUE(pumpUntil([&] { return plugin->programName() == "Taken By Click"; }, 2000))
        << plugin->programName();
    EXPECT_EQ(FindWindowExA(window, nullptr, "EDIT", nullptr), nullptr);
    plugin->dispatch(effEditClose);
}

TEST_F(EditorWindowTest, OpeningAndClosingAHundredTimesLeavesNothingBehind) {
    auto cycle = [&] {
        ASSERT_EQ(plugin->dispatch(effEditOpen, 0, 0, parent), 1);
        pumpUntil([] { return false; }, 0);
        plugin->dispatch(effEditIdle);
        plugin->dispatch(effEditClose);
    };
    cycle();  // GDI+ and the font collection start once per process
    pumpUntil([] { return false; }, 50);
    HANDLE process = GetCurrentProcess();
    auto privateBytes = [&] {
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof counters;
        K32GetProcessMemoryInfo(process, &counters, sizeof counters);
        return counters.PagefileUsage;  // the committed private memory
    };
    const SIZE_T memoryBefore = privateBytes();
    DWORD gdiBefore = GetGuiResources(process, GR_GDIOBJECTS);
    DWORD userBefore = GetGuiResources(process, GR_USEROBJECTS);
    for (int i = 0; i < 100; ++i) cycle();
    pumpUntil([] { return false; }, 50);
    DWORD gdiAfter = GetGuiResources(process, GR_GDIOBJECTS);
    DWORD userAfter = GetGuiResources(process, GR_USEROBJECTS);
    const SIZE_T memoryAfter = privateBytes();
    // Wine answers GetGuiResources with 0; there the memory (a frame's back buffer alone is 1 MB) tells.
    std::printf("GDI objects %lu -> %lu, USER objects %lu -> %lu, private memory %.1f -> %.1f MB\n",
                gdiBefore, gdiAfter, userBefore, userAfter, memoryBefore / 1048576.0,
                memoryAfter / 1048576.0);
    ASSERT_GT(memoryBefore, 0u);
    EXPECT_LT(double(memoryAfter) - double(memoryBefore), 8.0 * 1048576.0);
    EXPECT_EQ(gdiAfter, gdiBefore);
    EXPECT_EQ(userAfter, userBefore);
    EXPECT_EQ(child(), nullptr);
    // The window class goes with the last frame, so an unloaded module leaves no class behind.
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    HMODULE module = GetModuleHandleA("Zornbeck.dll");
    ASSERT_TRUE(module);
    EXPECT_FALSE(GetClassInfoExA(module, kFrameClass, &wc));
    // No timer of the editor fires into a window that is gone.
    MSG msg;
    Sleep(60);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_TIMER, WM_TIMER, PM_NOREMOVE));
}

}  // namespace
