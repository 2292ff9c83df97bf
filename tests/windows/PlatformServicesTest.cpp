// The Windows services behind the engine's and the editor's messages, under a real window system.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <thread>

#include "platform/Desktop.h"
#include "platform/MessageBox.h"

namespace {

HWND findTopLevel(const char* caption, int ms) {
    for (int waited = 0; waited < ms; waited += 10) {
        HWND w = FindWindowA("#32770", caption);
        if (w && IsWindowVisible(w))
            return w;
        Sleep(10);
    }
    return nullptr;
}

TEST(WindowsMessages, AWarningShowsAnUnownedBoxWithoutHoldingTheCaller) {
    const char* caption = "Memory block over run!";
    auto start = std::chrono::steady_clock::now();
    platform::systemMessageService().showWarning("reverb lines", caption);
    auto took = std::chrono::steady_clock::now() - start;
    // The caller may be the audio thread: it must not wait for the user.
    EXPECT_LT(took, std::chrono::milliseconds(200));
    HWND box = findTopLevel(caption, 5000);
    ASSERT_TRUE(box);
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
    char text[256] = {};
    // The box's static text control holds the message.
    EnumChildWindows(
        box,
        [](HWND child, LPARAM out) -> BOOL {
            char buffer[256] = {};
            GetWindowTextA(child, buffer, sizeof buffer);
            if (std::string(buffer) == "reverb lines")
                std::snprintf(reinterpret_cast<char*>(out), 256, "%s", buffer);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, "reverb lines");
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 300 && IsWindow(box); ++i) Sleep(10);
    EXPECT_FALSE(IsWindow(box));
}

TEST(WindowsDesktop, AQuestionIsAnsweredYesOrNo) {
    for (int button : {IDYES, IDNO}) {
        std::thread user([&] {
            if (HWND box = findTopLevel("Replace file", 5000))
                PostMessageA(box, WM_COMMAND, button, 0);
        });
        std::unique_ptr<platform::Dialog> dialog =
            platform::systemDesktopService().askQuestion("Replace file", "crowd.fxp exists. Replace it?");
        user.join();
        ASSERT_TRUE(dialog);
        platform::DialogAnswer answer = dialog->poll();
        EXPECT_EQ(answer.status,
                  button == IDYES ? platform::DialogAnswer::kAccepted : platform::DialogAnswer::kCancelled);
        EXPECT_EQ(dialog->poll().status, answer.status) << "the answer stays";
    }
}

}  // namespace

#include <cstring>
#include <fstream>
#include <iterator>

#include "resources/ResourceTable.h"

namespace {

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(WindowsResources, FoundByNumberAndTypeAsCompiledIn) {
    struct Case {
        int number;
        const char* type;
        std::string file;
    };
    const std::string source = std::string("Z:") + ZB_SOURCE_DIR + "/resources/";
    for (const Case& c : {Case{142, "txt", source + "UserGuide.txt"}, Case{6, "PNG", source + "skins/6.png"},
                          Case{147, "PNG", source + "skins/147.png"}}) {
        const unsigned char* data = nullptr;
        std::size_t size = 0;
        ASSERT_TRUE(findResource(c.number, c.type, &data, &size)) << c.number << " " << c.type;
        std::string expected = fileBytes(c.file);
        ASSERT_FALSE(expected.empty()) << c.file;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), size), expected) << c.number;
    }
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    EXPECT_TRUE(findResource(kResourceFontRegular, "TTF", &data, &size));
    EXPECT_GT(size, 100000u);
    EXPECT_FALSE(findResource(142, "PNG", &data, &size));
    EXPECT_FALSE(findResource(7, "PNG", &data, &size));
    EXPECT_FALSE(findResource(0, "PNG", &data, &size));
    EXPECT_FALSE(findResource(70000, "PNG", &data, &size));
}

}  // namespace
