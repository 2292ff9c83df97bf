// Preset files saved and loaded through the preset strip's action menu.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "EditorFixture.h"
#include "editor/PresetFiles.h"
#include "editor/PresetPanel.h"
#include "engine/CrowdEngine.h"
#include "model/ProgramBankOps.h"
#include "platform/testing/RecordingDesktopService.h"
#include "toolkit/frame/OffscreenFrame.h"

namespace {

std::vector<unsigned char> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t bigEndian(const std::vector<unsigned char>& b, std::size_t at) {
    return (std::uint32_t(b[at]) << 24) | (std::uint32_t(b[at + 1]) << 16) | (std::uint32_t(b[at + 2]) << 8) |
           b[at + 3];
}

struct PresetFileTest : EditorTest {
    std::string dir;
    platform::RecordingDesktopService desktop;
    COffscreenFrame* screen = nullptr;

    PresetFileTest() {
        char pattern[] = "/tmp/zb-presets-XXXXXX";
        dir = mkdtemp(pattern);
        screen = editor.openOffscreen();
    }
    ~PresetFileTest() override { std::system(("rm -rf " + dir).c_str()); }

    void action(int entry) {
        screen->setPopupAnswer([entry](COptionMenu& m) { return CPopupPick{&m, entry}; });
        screen->click({40, 412});
    }
};

TEST(PresetFileName, ThreeLetterExtensionsAreReplaced) {
    EXPECT_EQ(presetFileName("/x/take one"), "/x/take one.fxp");
    EXPECT_EQ(presetFileName("/x/take one.txt"), "/x/take one.fxp");
    EXPECT_EQ(presetFileName("/x/take.one.fxp"), "/x/take.one.fxp");
    EXPECT_EQ(presetFileName("/x/mix.fx"), "/x/mix.fx.fxp");
    EXPECT_EQ(presetFileName(""), "");
    EXPECT_EQ(presetFileName(std::string(2000, 'a')).size(), 1023u + 4u);
}

TEST_F(PresetFileTest, SavedFileHasTheHeaderAndLoadsBackUnchanged) {
    plugin.engine()->program().setName("50% mix");
    plugin.setParameter(parGlobalWetIndex, 0.123f);
    Program saved = plugin.engine()->program();
    desktop.accept(dir + "/take one.txt");
    action(PresetPanel::kSavePreset);
    ASSERT_EQ(desktop.requests.size(), 1u);
    EXPECT_TRUE(desktop.requests[0].save);
    EXPECT_EQ(desktop.requests[0].title, "Select filename to SAVE");
    EXPECT_EQ(desktop.requests[0].typeName, "VST Effect FXP");
    EXPECT_EQ(desktop.requests[0].extension, "FXP");
    auto bytes = fileBytes(dir + "/take one.fxp");
    ASSERT_EQ(bytes.size(), 3048u);
    EXPECT_EQ(std::memcmp(bytes.data(), "CcnK", 4), 0);
    EXPECT_EQ(bigEndian(bytes, 4), 3040u);
    EXPECT_EQ(std::memcmp(bytes.data() + 8, "FPCh", 4), 0);
    EXPECT_EQ(bigEndian(bytes, 12), 1u);
    EXPECT_EQ(std::memcmp(bytes.data() + 16, "Zrbk", 4), 0);
    EXPECT_EQ(bigEndian(bytes, 20), 1u);
    EXPECT_EQ(bigEndian(bytes, 24), 1u);
    EXPECT_EQ(std::memcmp(bytes.data() + 28, "50% mix\0\0\0", 10), 0);
    for (int i = 35; i < 56; ++i) EXPECT_EQ(bytes[std::size_t(i)], 0) << i;
    EXPECT_EQ(bigEndian(bytes, 56), 2988u);
    EXPECT_EQ(std::memcmp(bytes.data() + 60, &saved, sizeof saved), 0);

    // Change the program, then load the file back.
    plugin.setParameter(parGlobalWetIndex, 0.9f);
    plugin.engine()->program().setName("other");
    desktop.accept(dir + "/take one.fxp");
    action(PresetPanel::kLoadPreset);
    EXPECT_FALSE(desktop.requests.back().save);
    EXPECT_EQ(desktop.requests.back().title, "Select filename to LOAD");
    EXPECT_EQ(desktop.requests.back().typeName, "VST FXP");
    EXPECT_EQ(std::memcmp(&plugin.engine()->program(), &saved, sizeof saved), 0);
    EXPECT_EQ(plugin.getParameter(parGlobalWetIndex), 0.123f);
    // Every control follows: the dial and the name box.
    EXPECT_EQ(editor.controlByParameter(parGlobalWetIndex)->getValue(), 0.123f);
    EXPECT_EQ(editor.presetPanel()->nameBox()->getText(), "50% mix");
    EXPECT_EQ(editor.presetPanel()->presetsMenu()->getEntry(0), "50% mix");
}

TEST_F(PresetFileTest, FilesOfOtherLengthsOrCancelledDialogsLoadNothing) {
    Program before = plugin.engine()->program();
    for (std::size_t length : {3040u, 3049u}) {
        std::string path = dir + "/odd" + std::to_string(length) + ".fxp";
        std::ofstream(path, std::ios::binary) << std::string(length, '\x7f');
        desktop.accept(path);
        action(PresetPanel::kLoadPreset);
        EXPECT_EQ(std::memcmp(&plugin.engine()->program(), &before, sizeof before), 0) << length;
    }
    action(PresetPanel::kLoadPreset);  // cancelled
    EXPECT_EQ(std::memcmp(&plugin.engine()->program(), &before, sizeof before), 0);
    desktop.accept(dir + "/missing.fxp");
    action(PresetPanel::kLoadPreset);
    EXPECT_EQ(std::memcmp(&plugin.engine()->program(), &before, sizeof before), 0);
    // Saving with the dialog cancelled writes nothing.
    action(PresetPanel::kSavePreset);
    EXPECT_EQ(fileBytes(dir + "/.fxp").size(), 0u);
    // None of these is a parameter change the host hears of.
    EXPECT_EQ(count(audioMasterAutomate, parPresetActionIndex), 0);
}

TEST_F(PresetFileTest, OlderLayoutsAreUpgradedByLength) {
    // Bytes of a version-two length; the upgrade decides what they mean.
    Program source = plugin.engine()->program();
    source.parGlobalWet = 0.25f;
    std::vector<unsigned char> v2(60 + kProgramV2Size, 0);
    Program expected = plugin.engine()->program();
    std::memcpy(v2.data() + 60, &source, kProgramV2Size);
    upgradeProgramV2(expected, v2.data() + 60);
    std::string path = dir + "/old.fxp";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(v2.data()), std::streamsize(v2.size()));
    desktop.accept(path);
    action(PresetPanel::kLoadPreset);
    // Re-selecting the program afterwards stores 0 in the reload parameter it is done with.
    expected.parPresetReload = 0.0f;
    EXPECT_EQ(std::memcmp(&plugin.engine()->program(), &expected, sizeof expected), 0);
}

// Without a selector of its own the editor asks the platform's file dialog.
struct PlatformDialogTest : EditorTest {
    platform::RecordingDesktopService desktop;
    COffscreenFrame* screen = editor.openOffscreen();

    void action(int entry) {
        screen->setPopupAnswer([entry](COptionMenu& m) { return CPopupPick{&m, entry}; });
        screen->click({40, 412});
    }
};

TEST_F(PlatformDialogTest, PresetFilesGoThroughThePlatformDialog) {
    char pattern[] = "/tmp/zb-dialog-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    plugin.setParameter(parGlobalWetIndex, 0.321f);
    desktop.accept(dir + "/mine");
    action(PresetPanel::kSavePreset);
    ASSERT_EQ(desktop.requests.size(), 1u);
    EXPECT_TRUE(desktop.requests[0].save);
    EXPECT_EQ(desktop.requests[0].extension, "FXP");
    EXPECT_EQ(fileBytes(dir + "/mine.fxp").size(), 3048u);

    plugin.setParameter(parGlobalWetIndex, 0.9f);
    action(PresetPanel::kLoadPreset);  // the dialog is cancelled
    EXPECT_EQ(plugin.getParameter(parGlobalWetIndex), 0.9f);
    desktop.accept(dir + "/mine.fxp");
    action(PresetPanel::kLoadPreset);
    EXPECT_FALSE(desktop.requests.back().save);
    EXPECT_EQ(plugin.getParameter(parGlobalWetIndex), 0.321f);
    std::system(("rm -rf " + dir).c_str());
}

TEST_F(PlatformDialogTest, WebPageButtonOpensTheMakersPageOncePerClick) {
    screen->click({515, 420});
    ASSERT_EQ(desktop.webPages.size(), 1u);
    EXPECT_EQ(desktop.webPages[0], "https://www.zornbeck.example/");
    screen->click({200, 150});  // the crowd display opens nothing
    EXPECT_EQ(desktop.webPages.size(), 1u);
}

}  // namespace
