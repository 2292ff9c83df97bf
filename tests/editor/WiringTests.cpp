// Traffic between the editor's controls and the plug-in's parameters.
#include <thread>

#include "EditorFixture.h"
#include "editor/CGlowLamp.h"
#include "editor/PanelCrowd.h"
#include "editor/PresetPanel.h"
#include "engine/CrowdEngine.h"
#include "toolkit/frame/OffscreenFrame.h"

namespace {

using WiringTest = EditorTest;

constexpr CPoint kSelectedPlus{480, 48};
constexpr CPoint kPopulationMinus{45, 305};
constexpr CPoint kPopulationPlus{70, 305};

float people(int k) {
    return float(k) * (1.0f / 60.0f);
}

TEST_F(WiringTest, SelectedPlusStopsAtTheLastPerson) {
    plugin.setParameter(parPopulationIndex, people(2));  // three people
    plugin.setParameter(parPersonSelectedIndex, people(2));
    COffscreenFrame* screen = editor.openOffscreen();
    screen->click(kSelectedPlus);
    EXPECT_EQ(plugin.getParameter(parPersonSelectedIndex), people(2));
    plugin.setParameter(parPersonSelectedIndex, people(1));
    screen->click(kSelectedPlus);
    EXPECT_EQ(plugin.getParameter(parPersonSelectedIndex), people(2));
    EXPECT_EQ(editor.selectedMenu()->getCurrentIndex(), 2);
    // Stepping is not automation: the host is not told.
    EXPECT_EQ(count(audioMasterAutomate, parPersonSelectedIndex), 0);
}

TEST_F(WiringTest, PopulationButtonsStopAtOneAndSixty) {
    plugin.setParameter(parPopulationIndex, 0.0f);
    COffscreenFrame* screen = editor.openOffscreen();
    screen->click(kPopulationMinus);
    EXPECT_EQ(plugin.getParameter(parPopulationIndex), 0.0f);
    screen->click(kPopulationPlus);
    EXPECT_EQ(plugin.getParameter(parPopulationIndex), people(1));
    EXPECT_EQ(editor.populationMenu()->getCurrentIndex(), 1);
    EXPECT_EQ(editor.selectedMenu()->getEntry(1), "2");
    plugin.setParameter(parPopulationIndex, people(59));
    screen->click(kPopulationPlus);
    EXPECT_EQ(plugin.getParameter(parPopulationIndex), people(59));
}

TEST_F(WiringTest, PickingAnUnnumberedPersonSelectsTheLastOne) {
    plugin.setParameter(parPopulationIndex, people(3));  // four people
    COffscreenFrame* screen = editor.openOffscreen();
    ASSERT_EQ(editor.selectedMenu()->getEntry(10), "--");
    screen->setPopupAnswer([](COptionMenu& m) { return CPopupPick{&m, 10}; });
    screen->click({437, 48});
    EXPECT_EQ(plugin.getParameter(parPersonSelectedIndex), people(3));
    EXPECT_EQ(automated(parPersonSelectedIndex), people(3));
    EXPECT_EQ(editor.selectedMenu()->getCurrentIndex(), 3);
}

TEST_F(WiringTest, LowerBoundAboveUpperMovesOnlyTheUpperDialsPosition) {
    plugin.setParameter(parRandLowerIndex, 0.2f);
    plugin.setParameter(parRandUpperIndex, 0.3f);
    COffscreenFrame* screen = editor.openOffscreen();
    screen->drag({205, 356}, {205 + 90, 356});  // +0.2
    EXPECT_FLOAT_EQ(editor.lowerBound()->getValue(), 0.4f);
    EXPECT_FLOAT_EQ(editor.upperBound()->getValue(), 0.4f);
    EXPECT_FLOAT_EQ(plugin.getParameter(parRandLowerIndex), 0.4f);
    EXPECT_EQ(plugin.getParameter(parRandUpperIndex), 0.3f);
    // And the other way round.
    screen->drag({249, 356}, {249 - 180, 356});  // upper to 0.0
    EXPECT_FLOAT_EQ(editor.lowerBound()->getValue(), 0.0f);
    EXPECT_FLOAT_EQ(plugin.getParameter(parRandLowerIndex), 0.4f);
}

TEST_F(WiringTest, PersonDialsWriteTheSelectedPersonsParameters) {
    plugin.setParameter(parPopulationIndex, people(59));
    plugin.setParameter(parPersonSelectedIndex, people(7));
    plugin.setParameter(20 + 84 + slotPan, 0.5f);
    COffscreenFrame* screen = editor.openOffscreen();
    screen->drag({381, 238}, {381 + 45, 238});  // the pan dial, +0.1
    EXPECT_FLOAT_EQ(plugin.getParameter(20 + 84 + slotPan), 0.6f);
    EXPECT_FLOAT_EQ(automated(20 + 84 + slotPan), 0.6f);
    // The gesture names the parameter that is automated, not the dial's tag.
    EXPECT_EQ(count(audioMasterBeginEdit, 20 + 84 + slotPan), 1);
    EXPECT_EQ(count(audioMasterEndEdit, 20 + 84 + slotPan), 1);
    EXPECT_EQ(count(audioMasterBeginEdit, 26), 0);
    EXPECT_EQ(count(audioMasterAutomate, 26), 0);
}

TEST_F(WiringTest, OtherPeoplesChangesLeaveTheDialsAndTheDisplayAlone) {
    plugin.setParameter(parPopulationIndex, people(59));
    plugin.setParameter(parPersonSelectedIndex, people(5));
    COffscreenFrame* screen = editor.openOffscreen();
    screen->captureAll();  // the display draws and clears its rebuild flag
    ASSERT_EQ(editor.crowd()->rebuild, 0.0f);
    float pan = editor.controlByParameter(26)->getValue();
    plugin.setParameter(personIndex(3, slotPan), pan == 0.25f ? 0.75f : 0.25f);
    EXPECT_EQ(editor.controlByParameter(26)->getValue(), pan);
    EXPECT_EQ(editor.crowd()->rebuild, 0.0f);
    plugin.setParameter(personIndex(5, slotPan), 0.125f);
    EXPECT_EQ(editor.controlByParameter(26)->getValue(), 0.125f);
    EXPECT_EQ(editor.crowd()->rebuild, 1.0f);
}

TEST_F(WiringTest, LoweringThePopulationMovesTheSelectionOnlyWhileOpen) {
    plugin.setParameter(parPopulationIndex, people(10));
    plugin.setParameter(parPersonSelectedIndex, people(8));
    plugin.setParameter(parPopulationIndex, people(4));  // closed: nothing follows
    EXPECT_EQ(plugin.getParameter(parPersonSelectedIndex), people(8));

    plugin.setParameter(parPopulationIndex, people(10));
    editor.openOffscreen();
    plugin.setParameter(parPopulationIndex, people(4));
    EXPECT_EQ(plugin.getParameter(parPersonSelectedIndex), people(4));
    EXPECT_EQ(editor.selectedMenu()->getCurrentIndex(), 4);
    EXPECT_EQ(editor.selectedMenu()->getEntry(4), "5");
    EXPECT_EQ(editor.selectedMenu()->getEntry(5), "--");
    EXPECT_EQ(editor.populationMenu()->getCurrentIndex(), 4);
}

TEST_F(WiringTest, AClipLightsTheLampAtTheNextIdleWhichRedrawsItEveryTime) {
    COffscreenFrame* screen = editor.openOffscreen();
    std::vector<float> loud(64, 4.0f), out(64);
    float* in[2] = {loud.data(), loud.data()};
    float* outs[2] = {out.data(), out.data()};
    plugin.setParameter(parGlobalDryIndex, 1.0f);
    plugin.processReplacing(in, outs, 64);
    ASSERT_TRUE(plugin.engine()->clipped());
    editor.idle();
    EXPECT_FALSE(plugin.engine()->clipped());
    // Drawn once in that idle: 1.0 shown, then lowered.
    EXPECT_FLOAT_EQ(editor.lamp()->getValue(), 0.9f);
    for (int i = 0; i < 3; ++i) {
        screen->advanceTime(1);
        editor.idle();
    }
    EXPECT_NEAR(editor.lamp()->getValue(), 0.6f, 1e-6f);
}

TEST_F(WiringTest, TheDisplayRedrawsAtMostEvery40Milliseconds) {
    COffscreenFrame* screen = editor.openOffscreen();
    screen->advanceTime(1000);
    editor.idle();
    int fade = editor.crowd()->versionFade();
    for (int i = 0; i < 8; ++i) {  // 80 ms in steps of 10
        screen->advanceTime(10);
        editor.idle();
    }
    EXPECT_EQ(fade - editor.crowd()->versionFade(), 2);
}

TEST_F(WiringTest, NothingIsDrawnWhileThePopulationListShows) {
    COffscreenFrame* screen = editor.openOffscreen();
    bool lampLitDuringList = false;
    screen->setPopupAnswer([&](COptionMenu& m) {
        // The host idles while the list shows.
        editor.lamp()->setValue(1.0f);
        screen->advanceTime(100);
        editor.idle();
        lampLitDuringList = editor.lamp()->getValue() == 1.0f;
        return CPopupPick{&m, 4};
    });
    screen->click({24, 305});
    EXPECT_TRUE(lampLitDuringList);
    EXPECT_EQ(plugin.getParameter(parPopulationIndex), people(4));
}

TEST_F(WiringTest, ChangesFromOtherThreadsWaitForTheNextIdle) {
    editor.openOffscreen();
    CControl* wet = editor.controlByParameter(parGlobalWetIndex);
    std::thread automation([&] { plugin.setParameter(parGlobalWetIndex, 0.875f); });
    automation.join();
    EXPECT_EQ(plugin.getParameter(parGlobalWetIndex), 0.875f);
    EXPECT_NE(wet->getValue(), 0.875f);
    editor.idle();
    EXPECT_EQ(wet->getValue(), 0.875f);
}

TEST_F(WiringTest, CommandsAreNeverReportedAsParameters) {
    COffscreenFrame* screen = editor.openOffscreen();
    screen->click({30, 350});   // all/individual
    screen->click({300, 410});  // help
    screen->click({515, 420});  // web page
    screen->setPopupAnswer([](COptionMenu& m) { return CPopupPick{&m, 1}; });
    screen->click({150, 305});  // display axis
    EXPECT_EQ(editor.crowd()->mode, PanelCrowd::kHelpMode);
    EXPECT_EQ(editor.crowd()->rebuild, 1.0f);
    for (const Call& c : calls) EXPECT_NE(c.opcode, audioMasterAutomate) << c.index;
    screen->click({300, 410});
    EXPECT_EQ(editor.crowd()->mode, PanelCrowd::kCrowdMode);
}

TEST_F(WiringTest, PresetStripStepsRenamesAndResets) {
    COffscreenFrame* screen = editor.openOffscreen();
    // Next, released outside the button: still steps.
    screen->mouseDown({105, 410});
    screen->mouseUp({300, 200});
    EXPECT_EQ(plugin.getProgram(), 1);
    screen->click({88, 410});
    screen->click({88, 410});
    EXPECT_EQ(plugin.getProgram(), 23);
    std::string factory = plugin.engine()->program().name;
    EXPECT_EQ(editor.presetPanel()->nameBox()->getText(), factory);

    // Rename: 30 characters typed, 25 kept, listed in the presets submenu.
    screen->click({200, 412});
    for (int i = 0; i < 40; ++i) screen->keyDown({0, kVKeyBack, 0});
    screen->type("abcdefghijklmnopqrstuvwxyz1234");
    screen->keyDown({0, kVKeyReturn, 0});
    EXPECT_EQ(std::string(plugin.engine()->program().name), "abcdefghijklmnopqrstuvwxy");
    EXPECT_EQ(editor.presetPanel()->nameBox()->getText(), "abcdefghijklmnopqrstuvwxy");
    EXPECT_EQ(editor.presetPanel()->presetsMenu()->getEntry(23), "abcdefghijklmnopqrstuvwxy");

    // Reset current brings the factory name back.
    screen->setPopupAnswer([&](COptionMenu& m) { return CPopupPick{&m, PresetPanel::kResetCurrent}; });
    screen->click({40, 412});
    EXPECT_EQ(std::string(plugin.engine()->program().name), factory);
    EXPECT_EQ(editor.presetPanel()->nameBox()->getText(), factory);

    // A pick in the presets submenu selects that program.
    screen->setPopupAnswer([&](COptionMenu&) { return CPopupPick{editor.presetPanel()->presetsMenu(), 5}; });
    screen->click({40, 412});
    EXPECT_EQ(plugin.getProgram(), 5);
    EXPECT_EQ(editor.presetPanel()->nameBox()->getText(), std::string(plugin.engine()->program().name));
}

}  // namespace
