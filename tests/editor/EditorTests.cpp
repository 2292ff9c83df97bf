// The editor's window built on the off-screen frame.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "EditorFixture.h"
#include "editor/CGlowLamp.h"
#include "editor/EffectEditor.h"
#include "editor/PanelCrowd.h"
#include "editor/PresetPanel.h"
#include "engine/CrowdEngine.h"
#include "plugin/EffectVST.h"
#include "toolkit/frame/OffscreenFrame.h"

namespace {

// The window's table: kind, tag and rectangle of every control, in the order they lie.
struct Row {
    const char* kind;
    int tag;
    CRect rect;
};
const Row kTable[39] = {
    {"PanelCrowd", 740, {2, 2, 342, 274}},      {"COptionMenu", 0, {13, 296, 36, 315}},
    {"CKickButton", 741, {35, 297, 60, 314}},   {"CKickButton", 742, {60, 297, 85, 314}},
    {"CGlowLamp", 0, {545, 332, 557, 344}},     {"CAnimKnob", 4, {191, 342, 219, 370}},
    {"CAnimKnob", 5, {235, 342, 263, 370}},     {"CKickButton", 745, {98, 345, 170, 362}},
    {"COnOffButton", 747, {18, 345, 80, 362}},  {"COptionMenu", 746, {20, 369, 168, 384}},
    {"COptionMenu", 748, {93, 299, 271, 313}},  {"COptionMenu", 1, {425, 38, 449, 59}},
    {"CKickButton", 743, {448, 40, 473, 57}},   {"CKickButton", 744, {472, 40, 497, 57}},
    {"CAnimKnob", 20, {367, 84, 403, 120}},     {"CAnimKnob", 21, {423, 84, 459, 120}},
    {"CAnimKnob", 22, {465, 84, 501, 120}},     {"CAnimKnob", 23, {367, 152, 403, 188}},
    {"CAnimKnob", 24, {423, 152, 459, 188}},    {"CAnimKnob", 25, {465, 152, 501, 188}},
    {"CAnimKnob", 26, {363, 220, 399, 256}},    {"CAnimKnob", 27, {427, 220, 463, 256}},
    {"CAnimKnob", 12, {308, 319, 344, 355}},    {"CAnimKnob", 13, {375, 319, 411, 355}},
    {"CAnimKnob", 2, {503, 319, 537, 353}},     {"CAnimKnob", 3, {565, 319, 599, 353}},
    {"CAnimKnob", 14, {529, 45, 563, 79}},      {"CAnimKnob", 15, {571, 45, 605, 79}},
    {"CAnimKnob", 16, {529, 137, 563, 171}},    {"CAnimKnob", 17, {571, 137, 605, 171}},
    {"COnOffButton", 6, {387, 40, 420, 57}},    {"COnOffButton", 18, {459, 329, 482, 345}},
    {"CKickButton", 9, {80, 404, 97, 421}},     {"CKickButton", 10, {99, 404, 116, 421}},
    {"COptionMenu", 8, {11, 404, 76, 421}},     {"COptionMenu", 7, {11, 404, 76, 421}},
    {"CTextEdit", 11, {122, 405, 278, 420}},    {"COnOffButton", 751, {296, 404, 352, 421}},
    {"CKickButton", 750, {511, 412, 619, 424}},
};

TEST_F(EditorTest, RectIsTheWindowSizeBeforeAnyOpen) {
    ERect* r = nullptr;
    ASSERT_TRUE(editor.getRect(&r));
    EXPECT_EQ(r->top, 0);
    EXPECT_EQ(r->left, 0);
    EXPECT_EQ(r->bottom, 432);
    EXPECT_EQ(r->right, 620);
    EXPECT_FALSE(editor.isWindowOpen());
    EXPECT_EQ(editor.frame(), nullptr);
    for (int i = 0; i < kNumParams; ++i) ASSERT_EQ(editor.controlByParameter(i), nullptr);
}

TEST_F(EditorTest, InstancesShareTheDecodedSkins) {
    EffectVST other{host, &EffectEditor::create};
    auto& second = *static_cast<EffectEditor*>(other.getEditor());
    for (int number : {kSkinBackground, kSkinCrowdBackground, kSkinFigures, kSkinArrowDown})
        EXPECT_EQ(editor.skin(number)->pixels(), second.skin(number)->pixels()) << number;
    // Those loaded while the window opens too.
    editor.openOffscreen();
    second.openOffscreen();
    EXPECT_EQ(editor.controlByParameter(parGlobalWetIndex)->getBackground()->pixels(),
              second.controlByParameter(parGlobalWetIndex)->getBackground()->pixels());
    second.close();
}

TEST_F(EditorTest, OpenBuildsEveryControlInTableOrder) {
    editor.setKnobMode(kCircularMode);
    ASSERT_TRUE(editor.openOffscreen());
    EXPECT_EQ(editor.getKnobMode(), kLinearMode);
    ASSERT_EQ(editor.frame()->getNbViews(), 39);
    for (int row = 1; row <= 39; ++row) {
        SCOPED_TRACE(row);
        CControl* c = control(row);
        EXPECT_TRUE(c->isTypeOf(kTable[row - 1].kind));
        EXPECT_EQ(c->getTag(), kTable[row - 1].tag);
        EXPECT_EQ(c->getViewSize(), kTable[row - 1].rect);
        EXPECT_EQ(c->getListener(), &editor);
        // A control with an image is as large as one frame of it.
        if (CBitmap* image = c->getBackground()) {
            EXPECT_EQ(image->getWidth(), c->getViewSize().width());
        }
    }
    EXPECT_FALSE(control(39)->getBackground());   // the web page button is invisible
    EXPECT_FALSE(control(5)->getMouseEnabled());  // the lamp takes no clicks

    // Shown parameters are reachable by index, and no others.
    for (int i = 0; i < kNumParams; ++i) {
        bool shown = (i <= 6) || (i >= 12 && i <= 18) || (i >= 20 && i <= 27);
        EXPECT_EQ(editor.controlByParameter(i) != nullptr, shown) << i;
        if (shown) {
            EXPECT_EQ(editor.controlByParameter(i)->getTag(), i);
        }
    }
    EXPECT_EQ(editor.populationMenu(), control(2));
    EXPECT_EQ(editor.selectedMenu(), control(12));
    EXPECT_EQ(editor.lowerBound(), control(6));
    EXPECT_EQ(editor.upperBound(), control(7));
    EXPECT_EQ(editor.allSwitch(), control(9));
    EXPECT_EQ(editor.groupMenu(), control(10));
    EXPECT_EQ(editor.axisMenu(), control(11));
    EXPECT_EQ(editor.crowd(), control(1));
    EXPECT_EQ(editor.lamp(), control(5));
    EXPECT_EQ(editor.helpSwitch(), control(38));
}

TEST_F(EditorTest, InitialValuesMenusAndTextAppearance) {
    plugin.setParameter(parRandLowerIndex, 0.25f);
    plugin.setParameter(parRandUpperIndex, 0.75f);
    plugin.setParameter(parGlobalWetIndex, 0.3f);
    plugin.setParameter(parSoloIndex, 1.0f);
    ASSERT_TRUE(editor.openOffscreen());
    for (int tag : {2, 3, 4, 5, 6, 12, 13, 14, 15, 16, 17, 18})
        EXPECT_EQ(editor.controlByParameter(tag)->getValue(), plugin.getParameter(tag)) << tag;
    EXPECT_EQ(editor.lowerBound()->getValue(), 0.25f);
    EXPECT_EQ(editor.allSwitch()->getValue(), 1.0f);
    EXPECT_EQ(editor.helpSwitch()->getValue(), 0.0f);
    EXPECT_EQ(editor.crowd()->getValue(), 1.0f);
    EXPECT_EQ(editor.lamp()->getValue(), 0.0f);

    COptionMenu* population = editor.populationMenu();
    ASSERT_EQ(population->getNbEntries(), 60);
    EXPECT_EQ(population->getEntry(0), "1");
    EXPECT_EQ(population->getEntry(59), "60");
    EXPECT_EQ(population->getCurrentIndex(), int(plugin.getParameter(0) * 60.0f));
    ASSERT_EQ(editor.groupMenu()->getNbEntries(), 10);
    EXPECT_EQ(editor.groupMenu()->getEntry(1), "everything - not gain");
    EXPECT_EQ(editor.groupMenu()->getEntry(9), "gain");
    EXPECT_EQ(editor.groupMenu()->getCurrentIndex(), 0);
    ASSERT_EQ(editor.axisMenu()->getNbEntries(), 3);
    EXPECT_EQ(editor.axisMenu()->getEntry(2), "display  X: time   Y: spectra");

    for (COptionMenu* m : {population, editor.groupMenu(), editor.axisMenu(), editor.selectedMenu()}) {
        EXPECT_EQ(m->getFont().size, 11);
        EXPECT_FALSE(m->getFont().bold);
        EXPECT_EQ(m->getFontColor(), (CColor{194, 224, 226, 255}));
        EXPECT_EQ(m->getBackColor(), (CColor{0, 0, 0, 0}));
        EXPECT_TRUE(m->getTransparency());
        EXPECT_EQ(m->getHoriAlign(), kCenterText);
        EXPECT_EQ(m->getStyle(), COptionMenu::kCheckStyle);
        EXPECT_EQ(m->popupPosition(), (CPoint{m->getViewSize().left, m->getViewSize().bottom}));
    }
    PresetPanel* presets = editor.presetPanel();
    for (COptionMenu* m : {presets->presetsMenu(), presets->actionMenu()}) {
        EXPECT_EQ(m->getStyle(), COptionMenu::kNoDrawStyle | COptionMenu::kPopupTopLeft);
        EXPECT_EQ(m->popupPosition(), (CPoint{11, 404}));
    }
    ASSERT_EQ(presets->actionMenu()->getNbEntries(), 5);
    EXPECT_EQ(presets->actionMenu()->getEntry(0), "Load preset");
    EXPECT_TRUE(presets->actionMenu()->isSeparator(3));
    EXPECT_EQ(presets->actionMenu()->getSubMenu(4), presets->presetsMenu());
    ASSERT_EQ(presets->presetsMenu()->getNbEntries(), 24);
    EXPECT_EQ(presets->presetsMenu()->getEntry(5), std::string(plugin.engine()->bank().programs[5].name));
    CTextEdit* name = presets->nameBox();
    EXPECT_EQ(name->getText(), std::string(plugin.engine()->program().name));
    EXPECT_EQ(name->getHoriAlign(), kLeftText);
    EXPECT_TRUE(name->getTransparency());
    EXPECT_EQ(name->getFontColor(), (CColor{194, 224, 226, 255}));
}

TEST_F(EditorTest, SelectedPersonMenuIsNumberedUpToThePopulation) {
    plugin.setParameter(parPopulationIndex, 0.0f);
    ASSERT_TRUE(editor.openOffscreen());
    COptionMenu* selected = editor.selectedMenu();
    ASSERT_EQ(selected->getNbEntries(), 60);
    EXPECT_EQ(selected->getEntry(0), "1");
    for (int i = 1; i < 60; ++i) ASSERT_EQ(selected->getEntry(i), "--") << i;
    editor.close();

    plugin.setParameter(parPopulationIndex, 59.0f / 60.0f);
    ASSERT_TRUE(editor.openOffscreen());
    selected = editor.selectedMenu();
    for (int i = 0; i < 60; ++i) ASSERT_EQ(selected->getEntry(i), std::to_string(i + 1));
}

TEST_F(EditorTest, PersonDialsShowTheSelectedPerson) {
    plugin.setParameter(parPopulationIndex, 59.0f / 60.0f);
    for (int k = 0; k < 8; ++k) plugin.setParameter(80 + k, 0.05f + 0.1f * float(k));
    plugin.setParameter(parPersonSelectedIndex, 5.0f * (1.0f / 60.0f));
    ASSERT_TRUE(editor.openOffscreen());
    EXPECT_EQ(editor.selectedPerson(), 5);
    EXPECT_EQ(editor.selectedMenu()->getCurrentIndex(), 5);
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(editor.controlByParameter(20 + k)->getValue(), 0.05f + 0.1f * float(k)) << k;
    // The frame the dial shows follows its value.
    auto* shift = static_cast<CAnimKnob*>(editor.controlByParameter(20));
    EXPECT_EQ(shift->frameIndex(), int(0.05f * 64.0f));
}

TEST_F(EditorTest, ReopeningRebuildsControlsAndResetsTheEditorsOwnState) {
    plugin.setParameter(parRandLowerIndex, 0.2f);
    plugin.setParameter(parRandUpperIndex, 0.9f);
    COffscreenFrame* screen = editor.openOffscreen();
    CFrame* first = editor.frame();
    screen->click({30, 350});  // all/individual switch
    EXPECT_EQ(editor.allSwitch()->getValue(), 0.0f);
    screen->setPopupAnswer([](COptionMenu& m) { return CPopupPick{&m, 2}; });
    screen->click({50, 375});   // group menu
    screen->click({150, 305});  // axis menu
    screen->click({300, 410});  // help
    EXPECT_EQ(editor.groupMenu()->getCurrentIndex(), 2);
    EXPECT_EQ(editor.axisMenu()->getCurrentIndex(), 2);
    EXPECT_EQ(editor.crowd()->mode, PanelCrowd::kHelpMode);
    editor.close();
    EXPECT_FALSE(editor.isWindowOpen());
    EXPECT_EQ(editor.controlByParameter(0), nullptr);

    ASSERT_TRUE(editor.openOffscreen());
    EXPECT_NE(editor.frame(), nullptr);
    (void)first;
    EXPECT_EQ(editor.frame()->getNbViews(), 39);
    EXPECT_EQ(editor.allSwitch()->getValue(), 1.0f);
    EXPECT_EQ(editor.groupMenu()->getCurrentIndex(), 0);
    EXPECT_EQ(editor.axisMenu()->getCurrentIndex(), 0);
    EXPECT_EQ(editor.helpSwitch()->getValue(), 0.0f);
    EXPECT_EQ(editor.crowd()->mode, PanelCrowd::kCrowdMode);
    EXPECT_EQ(editor.lowerBound()->getValue(), 0.2f);
    EXPECT_EQ(editor.upperBound()->getValue(), 0.9f);
}

TEST_F(EditorTest, PresetLabelOpensTheActionMenuAndTheInvisibleButtonTakesClicks) {
    COffscreenFrame* screen = editor.openOffscreen();
    screen->click({40, 412});
    ASSERT_EQ(screen->popupsOpened().size(), 1u);
    EXPECT_EQ(screen->popupsOpened()[0], editor.presetPanel()->actionMenu());
    EXPECT_EQ(count(audioMasterBeginEdit, 7), 1);
    EXPECT_EQ(count(audioMasterBeginEdit, 8), 0);

    calls.clear();
    screen->click({515, 420});
    // Taken, but a command is no parameter: no gesture reaches the host.
    auto* web = dynamic_cast<CControl*>(editor.frame()->viewAt({515, 420}));
    ASSERT_NE(web, nullptr);
    EXPECT_EQ(web->getTag(), kCmdWebPage);
    EXPECT_EQ(count(audioMasterBeginEdit, 750), 0);
    EXPECT_EQ(count(audioMasterEndEdit, 750), 0);
    // Nothing of the web page button is drawn: the background shows through.
    const CBitmap& picture = screen->captureAll();
    auto background = editor.skin(kSkinBackground);
    for (int y = 412; y < 424; ++y)
        for (int x = 511; x < 619; ++x)
            ASSERT_EQ(picture.pixel(x, y), background->pixel(x, y)) << x << "," << y;
}

TEST_F(EditorTest, GesturesOnDialsReachTheHostWithTheirTags) {
    COffscreenFrame* screen = editor.openOffscreen();
    float before = plugin.getParameter(parGlobalWetIndex);
    screen->drag({520, 336}, {520, 336 - 45});
    EXPECT_FLOAT_EQ(plugin.getParameter(parGlobalWetIndex), std::min(before + 0.1f, 1.0f));
    EXPECT_EQ(count(audioMasterBeginEdit, 2), 1);
    EXPECT_EQ(count(audioMasterEndEdit, 2), 1);
    EXPECT_GE(count(audioMasterAutomate, 2), 1);
}

TEST_F(EditorTest, KeysReachTheNameBoxOnlyWhileItIsEdited) {
    COffscreenFrame* screen = editor.openOffscreen();
    VstKeyCode a{'a', 0, 0};
    EXPECT_FALSE(editor.onKeyDown(a));
    screen->click({200, 412});
    ASSERT_TRUE(editor.presetPanel()->nameBox()->isEditingText());
    EXPECT_TRUE(editor.onKeyDown(a));
    EXPECT_EQ(editor.presetPanel()->nameBox()->getEditText().back(), 'a');
    VstKeyCode escape{0, kVKeyEscape, 0};
    EXPECT_TRUE(editor.onKeyDown(escape));
    EXPECT_FALSE(editor.presetPanel()->nameBox()->isEditingText());
    EXPECT_FALSE(editor.onKeyUp(a));
    editor.close();
    EXPECT_FALSE(editor.onKeyDown(a));
}

TEST_F(EditorTest, KnobModeIsStoredAndLinearAfterOpen) {
    EXPECT_TRUE(editor.setKnobMode(kRelativCircularMode));
    EXPECT_EQ(editor.getKnobMode(), kRelativCircularMode);
    editor.openOffscreen();
    EXPECT_EQ(editor.getKnobMode(), kLinearMode);
}

TEST_F(EditorTest, PictureShowsTheCrowdTheLampDarkAndTheSwitchStates) {
    plugin.setParameter(parPopulationIndex, 2.0f / 60.0f);
    COffscreenFrame* screen = editor.openOffscreen();
    const CBitmap& picture = screen->captureAll();
    auto background = editor.skin(kSkinBackground);
    // The lamp is dark: the background shows.
    for (int y = 332; y < 344; ++y)
        for (int x = 545; x < 557; ++x) ASSERT_EQ(picture.pixel(x, y), background->pixel(x, y));
    // Each of the three people is drawn at its place on the display.
    PanelCrowd* crowd = editor.crowd();
    ASSERT_EQ(crowd->personCount(), 3);
    auto display = editor.skin(kSkinCrowdBackground);
    for (int i = 0; i < 3; ++i) {
        CPoint at = crowd->personPosition(i);
        int changed = 0;
        for (int y = at.y - 9; y < at.y + 10; ++y)
            for (int x = at.x - 12; x < at.x + 11; ++x)
                if (x >= 0 && y >= 0 && x < 340 && y < 272)
                    changed += picture.pixel(2 + x, 2 + y) != display->pixel(x, y);
        EXPECT_GT(changed, 20) << i;
    }
    // The all/individual switch shows its bottom frame (all).
    auto all = CBitmap::fromResource(kSkinAllIndividual);
    int same = 0;
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 62; ++x) same += picture.pixel(18 + x, 345 + y) == all->pixel(x, 17 + y);
    EXPECT_GT(same, 62 * 17 * 9 / 10);
}

TEST_F(EditorTest, LampFadesOverTenRedraws) {
    COffscreenFrame* screen = editor.openOffscreen();
    CGlowLamp* lamp = editor.lamp();
    lamp->setValue(1.0f);
    auto background = editor.skin(kSkinBackground);
    int lit = 0;
    for (int i = 0; i < 12; ++i) {
        screen->invalidRect(lamp->getViewSize());
        const CBitmap& picture = screen->capture();
        lit += picture.pixel(551, 338) != background->pixel(551, 338);
    }
    EXPECT_EQ(lit, 10);
    EXPECT_LT(lamp->getValue(), 0.0f);
}

TEST_F(EditorTest, ScreenshotDrawsTheEditorIntoTheHostsPixels) {
    std::vector<std::uint32_t> pixels(640 * 432, 0xDEADBEEF);
    ZornbeckScreenshot shot{620, 432, 640 * 4, pixels.data()};
    EXPECT_EQ(plugin.dispatcher(effVendorSpecific, kZornbeckVendorTag, kZornbeckScreenshot, &shot, 0.0f), 1);
    EXPECT_FALSE(editor.isWindowOpen());  // opened off-screen for it and closed again
    EXPECT_EQ(pixels[620], 0xDEADBEEFu);  // the stride's slack is left alone
    COffscreenFrame* screen = editor.openOffscreen();
    const CBitmap& picture = screen->captureAll();
    int differing = 0;
    for (int y = 0; y < 432; ++y)
        for (int x = 0; x < 620; ++x)
            differing += pixels[std::size_t(y) * 640 + std::size_t(x)] != picture.pixel(x, y);
    // Both are the first drawing of a freshly opened editor.
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(plugin.dispatcher(effVendorSpecific, kZornbeckVendorTag + 1, kZornbeckScreenshot, &shot, 0.0f),
              0);
    ZornbeckScreenshot none{620, 432, 620 * 4, nullptr};
    EXPECT_EQ(plugin.dispatcher(effVendorSpecific, kZornbeckVendorTag, kZornbeckScreenshot, &none, 0.0f), 0);
}

}  // namespace
