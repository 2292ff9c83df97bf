// Preset files saved and loaded through the preset strip's action menu.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "EditorFixture.h"
#include "editor/PanelCrowd.h"
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

TEST_F(PresetFileTest, TheVersionTwoLayoutIsReadFieldByField) {
    // A 3036-byte file: 17 global floats, 60 people of 12 floats, the name at byte 2948.
    std::vector<unsigned char> file(3036, 0);
    auto putFloat = [&](int floatIndex, float v) { std::memcpy(file.data() + 60 + 4 * floatIndex, &v, 4); };
    putFloat(0, 2.0f / 60.0f);
    putFloat(1, 1.0f / 60.0f);
    putFloat(3, 0.625f);                  // dry
    putFloat(12, 0.375f);                 // spread
    putFloat(13, 0.25f);                  // shift all
    putFloat(14, 0.0f);                   // lands in the reload value
    putFloat(17 + 12 * 5 + 3, 0.5625f);   // person 5's delay
    putFloat(17 + 12 * 59 + 7, 0.9375f);  // person 59's gain
    std::memcpy(file.data() + 60 + 2948, "second take", 12);
    plugin.setParameter(parReverbWetIndex, 0.5f);
    plugin.setParameter(parActiveIndex, 0.0f);
    const std::string path = dir + "/old.fxp";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), 3036);
    desktop.accept(path);
    action(PresetPanel::kLoadPreset);
    const Program& p = plugin.engine()->program();
    EXPECT_EQ(p.parPopulation, 2.0f / 60.0f);
    EXPECT_EQ(p.parPersonSelected, 1.0f / 60.0f);
    EXPECT_EQ(p.parGlobalDry, 0.625f);
    EXPECT_EQ(p.parAllpassSpread, 0.375f);
    EXPECT_EQ(p.parPitchAll, 0.25f);
    // The reverb of that version did not exist: its values start from neutral; Active is on.
    EXPECT_EQ(p.parReverbWet, 0.0f);
    EXPECT_EQ(p.parReverbSize, 0.5f);
    EXPECT_EQ(p.parReverbHighCut, 1.0f);
    EXPECT_EQ(p.parReverbLowCut, 0.0f);
    EXPECT_EQ(p.parActive, 1.0f);
    EXPECT_EQ(p.people[5].parDelayTime, 0.5625f);
    EXPECT_EQ(p.people[59].parGain, 0.9375f);
    EXPECT_STREQ(p.name, "second take");
}

TEST_F(PresetFileTest, TheOldestLayoutIsReadFieldByField) {
    // A 3032-byte file: 16 global floats, 60 people of 12 floats, the name at byte 2944.
    std::vector<unsigned char> file(3032, 0);
    std::memcpy(file.data(), "CcnK", 4);
    auto putFloat = [&](int floatIndex, float v) { std::memcpy(file.data() + 60 + 4 * floatIndex, &v, 4); };
    putFloat(0, 3.0f);   // four people, as a count
    putFloat(1, 1.5f);   // selected, over the count: 0.5
    putFloat(2, 0.75f);  // wet
    putFloat(14, 0.0f);
    putFloat(16 + 12 * 2 + 6, 0.125f);  // person 2's pan
    putFloat(16 + 12 * 2 + 8, 0.875f);  // slot 8 is not read
    std::memcpy(file.data() + 60 + 2944, "old take", 9);
    plugin.setParameter(parReverbWetIndex, 0.375f);
    plugin.setParameter(personIndex(2, 8), 0.25f);
    const std::string path = dir + "/oldest.fxp";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), 3032);
    desktop.accept(path);
    action(PresetPanel::kLoadPreset);
    const Program& p = plugin.engine()->program();
    EXPECT_EQ(p.parPopulation, 3.0f * 0.016666668f);
    // 1.5 / 3 is person 30; the open editor then keeps the selection within the four people.
    EXPECT_EQ(p.parPersonSelected, 3.0f * (1.0f / 60.0f));
    EXPECT_EQ(p.parGlobalWet, 0.75f);
    EXPECT_EQ(p.parAllpassSpread, 0.0f);
    EXPECT_EQ(p.parPitchAll, 0.5f);
    EXPECT_EQ(p.parActive, 1.0f);
    EXPECT_EQ(p.parReverbWet, 0.375f);  // kept
    EXPECT_EQ(p.people[2].parPan, 0.125f);
    EXPECT_EQ(plugin.getParameter(personIndex(2, 8)), 0.25f);  // kept
    EXPECT_STREQ(p.name, "old take");
    EXPECT_EQ(editor.presetPanel()->nameBox()->getText(), "old take");
}

TEST_F(PresetFileTest, AWrongLengthReselectsTheProgramUnchanged) {
    Program before = plugin.engine()->program();
    const std::string path = dir + "/short.fxp";
    std::ofstream(path, std::ios::binary) << std::string(3047, '\x3f');
    desktop.accept(path);
    calls.clear();
    action(PresetPanel::kLoadPreset);
    EXPECT_EQ(std::memcmp(&plugin.engine()->program(), &before, sizeof before), 0);
    EXPECT_EQ(count(audioMasterUpdateDisplay, 0), 1);  // the program was selected again
}

// Writes `size` bytes of `fill` at `path`.
void writeFile(const std::string& path, std::size_t size, char fill) {
    std::ofstream(path, std::ios::binary) << std::string(size, fill);
}

TEST_F(PresetFileTest, ReplacingTheFileWrittenIsAskedAbout) {
    // The typed name has no extension; the file written is mix.fxp, which exists.
    writeFile(dir + "/mix.fxp", 100, 'x');
    desktop.accept(dir + "/mix");
    desktop.cancel();  // "no" to replacing it
    action(PresetPanel::kSavePreset);
    ASSERT_EQ(desktop.questions.size(), 1u);
    EXPECT_NE(desktop.questions[0].find("\"mix.fxp\""), std::string::npos) << desktop.questions[0];
    EXPECT_EQ(fileBytes(dir + "/mix.fxp"), std::vector<unsigned char>(100, 'x'));

    desktop.accept(dir + "/mix.txt");
    desktop.accept();  // "yes"
    action(PresetPanel::kSavePreset);
    EXPECT_EQ(desktop.questions.size(), 2u);
    EXPECT_EQ(fileBytes(dir + "/mix.fxp").size(), 3048u);

    // A new name is written without a question.
    desktop.accept(dir + "/fresh");
    action(PresetPanel::kSavePreset);
    EXPECT_EQ(desktop.questions.size(), 2u);
    EXPECT_EQ(fileBytes(dir + "/fresh.fxp").size(), 3048u);
}

TEST_F(PresetFileTest, AFailedSaveIsToldToTheUser) {
    desktop.accept(dir + "/no such folder/take");
    action(PresetPanel::kSavePreset);
    EXPECT_EQ(editor.crowd()->notice(), "The preset could not be saved.");
}

TEST_F(PresetFileTest, TheEditorKeepsRunningWhileADialogShows) {
    const std::string path = dir + "/later.fxp";
    plugin.setParameter(parGlobalWetIndex, 0.25f);
    ASSERT_TRUE(writePresetFile(path, plugin.engine()->program()));
    plugin.setParameter(parGlobalWetIndex, 0.5f);

    desktop.holdOpen = true;
    action(PresetPanel::kLoadPreset);
    ASSERT_TRUE(editor.dialogShowing());
    // A second press, on either entry, starts nothing.
    action(PresetPanel::kLoadPreset);
    action(PresetPanel::kSavePreset);
    EXPECT_EQ(desktop.dialogsStarted(), 1);
    // Idle keeps drawing: the crowd display redraws every 40 ms.
    const int fade = editor.crowd()->versionFade();
    for (int i = 0; i < 3; ++i) {
        screen->advanceTime(40);
        editor.idle();
    }
    EXPECT_EQ(editor.crowd()->versionFade(), fade - 3);
    EXPECT_EQ(plugin.getParameter(parGlobalWetIndex), 0.5f);

    // The user picks the file: the next idle loads it.
    auto answer = desktop.lastDialog();
    ASSERT_NE(answer, nullptr);
    *answer = {platform::DialogAnswer::kAccepted, path, {}};
    editor.idle();
    EXPECT_FALSE(editor.dialogShowing());
    EXPECT_EQ(plugin.getParameter(parGlobalWetIndex), 0.25f);
    EXPECT_EQ(editor.controlByParameter(parGlobalWetIndex)->getValue(), 0.25f);

    // Closing the window closes a dialog still showing; its answer is never applied.
    action(PresetPanel::kSavePreset);
    ASSERT_NE(desktop.lastDialog(), nullptr);
    editor.close();
    EXPECT_EQ(desktop.lastDialog(), nullptr);
    EXPECT_TRUE(fileBytes(dir + "/mine.fxp").empty());
}

TEST_F(PresetFileTest, WithoutADialogProgramTheUserIsToldAndNothingChanges) {
    const char* problem = "Load and Save need zenity or kdialog installed.";
    Program before = plugin.engine()->program();
    desktop.lack(problem);
    calls.clear();
    action(PresetPanel::kLoadPreset);
    EXPECT_EQ(std::memcmp(&plugin.engine()->program(), &before, sizeof before), 0);
    EXPECT_EQ(count(audioMasterUpdateDisplay, 0), 0);  // the program was not applied again
    EXPECT_EQ(editor.crowd()->notice(), problem);
    // The message is drawn over the crowd display: a dark box with light yellow text.
    const CBitmap& picture = screen->captureAll();
    int yellow = 0;
    for (int y = 122; y < 144; ++y)
        for (int x = 20; x < 320; ++x) {
            CColor c = picture.color(x, y);
            yellow += c.red > 200 && c.green > 200 && c.blue < 190;
        }
    EXPECT_GT(yellow, 40);

    desktop.lack(problem);
    action(PresetPanel::kSavePreset);
    EXPECT_EQ(editor.crowd()->notice(), problem);
    EXPECT_FALSE(editor.dialogShowing());
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
