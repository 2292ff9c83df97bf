// The crowd display: people placed by their values, picked and dragged with the mouse.
#include "EditorFixture.h"
#include "editor/PanelCrowd.h"
#include "engine/CrowdEngine.h"
#include "toolkit/frame/OffscreenFrame.h"

namespace {

struct CrowdDisplayTest : EditorTest {
    COffscreenFrame* screen = nullptr;
    PanelCrowd* crowd = nullptr;

    // Person i at pan u and shift v; three people, person 0 selected.
    void place(int i, float u, float v) {
        plugin.setParameter(personIndex(i, slotPan), u);
        plugin.setParameter(personIndex(i, slotPitchShift), v);
    }
    void open() {
        screen = editor.openOffscreen();
        crowd = editor.crowd();
    }
    // Screen point of a panel-local point.
    static CPoint onScreen(CPoint local) { return {local.x + 2, local.y + 2}; }
};

TEST_F(CrowdDisplayTest, PeopleCountAndPositions) {
    plugin.setParameter(parPopulationIndex, 0.0f);
    place(0, 0.5f, 0.25f);
    open();
    EXPECT_EQ(crowd->personCount(), 1);
    EXPECT_EQ(crowd->personPosition(0), (CPoint{int(0.5f * 332.0f + 4.0f), int(0.75f * 264.0f + 4.0f)}));
    plugin.setParameter(parPopulationIndex, 1.0f);
    EXPECT_EQ(crowd->personCount(), 59);
    // The axis menu chooses the fields: time horizontally in the third mode.
    plugin.setParameter(personIndex(0, slotDelayTime), 1.0f);
    editor.axisMenu()->setValue(2.0f / 3.0f);
    EXPECT_EQ(crowd->axisMode(), 2);
    EXPECT_EQ(crowd->personPosition(0).x, 336);
}

TEST_F(CrowdDisplayTest, AClickPicksTheNearestLowestIndexAndSnapsItsValues) {
    plugin.setParameter(parPopulationIndex, 2.0f / 60.0f);
    place(0, 0.1f, 0.1f);
    place(1, 0.5f, 0.5f);
    place(2, 0.5f, 0.5f);  // on top of person 1
    open();
    CPoint at = crowd->personPosition(1);
    calls.clear();
    screen->click(onScreen({at.x + 1, at.y}));
    EXPECT_EQ(plugin.getParameter(parPersonSelectedIndex), 1.0f / 60.0f);
    EXPECT_EQ(count(audioMasterAutomate, parPersonSelectedIndex), 0);  // selecting is not automation
    EXPECT_EQ(editor.selectedMenu()->getCurrentIndex(), 1);
    // The click rewrote both values from the figure's pixel position, as automation.
    float u = (float(at.x) - 4.0f) / 332.0f;
    float v = 1.0f - (float(at.y) - 4.0f) / 264.0f;
    EXPECT_EQ(plugin.getParameter(personIndex(1, slotPan)), u);
    EXPECT_EQ(plugin.getParameter(personIndex(1, slotPitchShift)), v);
    EXPECT_EQ(automated(personIndex(1, slotPan)), u);
    EXPECT_EQ(automated(personIndex(1, slotPitchShift)), v);
    EXPECT_EQ(plugin.getParameter(personIndex(2, slotPan)), 0.5f);  // the other one stays
    // The gesture is announced for the two automated values, not the display's tag.
    for (int index : {personIndex(1, slotPan), personIndex(1, slotPitchShift)}) {
        EXPECT_EQ(count(audioMasterBeginEdit, index), 1) << index;
        EXPECT_EQ(count(audioMasterEndEdit, index), 1) << index;
    }
    EXPECT_EQ(count(audioMasterBeginEdit, kCmdCrowd), 0);
    EXPECT_EQ(editor.controlByParameter(20 + slotPan)->getValue(), u);
}

TEST_F(CrowdDisplayTest, AClickTooFarAwayPicksNothingAndDragsNothing) {
    plugin.setParameter(parPopulationIndex, 0.0f);
    place(0, 0.3f, 0.3f);  // not on the pixel grid, so a hit changes them
    open();
    CPoint at = crowd->personPosition(0);
    calls.clear();
    screen->drag(onScreen({at.x + 12, at.y + 6}), onScreen({at.x + 60, at.y + 60}));  // 144 + 36 = 180
    EXPECT_EQ(crowd->draggedPerson(), -1);
    EXPECT_EQ(plugin.getParameter(personIndex(0, slotPan)), 0.3f);
    EXPECT_EQ(count(audioMasterAutomate, personIndex(0, slotPan)), 0);
    screen->click(onScreen({at.x + 12, at.y + 5}));  // 169: a hit
    EXPECT_EQ(plugin.getParameter(personIndex(0, slotPan)), (float(at.x) - 4.0f) / 332.0f);
    EXPECT_NE(plugin.getParameter(personIndex(0, slotPan)), 0.3f);
}

TEST_F(CrowdDisplayTest, DraggingFollowsThePointerAndClampsAtTheEdges) {
    plugin.setParameter(parPopulationIndex, 0.0f);
    place(0, 0.5f, 0.5f);
    open();
    CPoint at = crowd->personPosition(0);
    screen->mouseDown(onScreen({at.x + 3, at.y + 2}));
    EXPECT_EQ(crowd->draggedPerson(), 0);
    // The grab offset keeps the figure where it was taken.
    screen->mouseMove(onScreen({3 + 100 + 4, 2 + 4 + 66}));
    EXPECT_EQ(plugin.getParameter(personIndex(0, slotPan)), 100.0f / 332.0f);
    EXPECT_EQ(plugin.getParameter(personIndex(0, slotPitchShift)), 1.0f - 66.0f / 264.0f);
    screen->mouseMove({-500, -500});
    EXPECT_EQ(plugin.getParameter(personIndex(0, slotPan)), 0.0f);
    EXPECT_EQ(plugin.getParameter(personIndex(0, slotPitchShift)), 1.0f);
    screen->mouseMove({2000, 2000});
    EXPECT_EQ(plugin.getParameter(personIndex(0, slotPan)), 1.0f);
    EXPECT_EQ(plugin.getParameter(personIndex(0, slotPitchShift)), 0.0f);
    screen->mouseUp({2000, 2000});
    EXPECT_EQ(crowd->draggedPerson(), -1);
    EXPECT_EQ(crowd->personPosition(0), (CPoint{336, 268}));
}

TEST_F(CrowdDisplayTest, TheSelectedPersonIsRingedAndAnimatedOnTopOfOthers) {
    plugin.setParameter(parPopulationIndex, 1.0f / 60.0f);
    place(0, 0.5f, 0.5f);
    place(1, 0.5f, 0.5f);  // covers person 0 in the cached picture
    open();
    const CBitmap& picture = screen->captureAll();
    CPoint at = crowd->personPosition(0);
    auto ring = editor.skin(kSkinRing);
    // The ring's top lies above the figures and is drawn over the display, in orange.
    int row = 0;
    for (int y = 0; y < 10; ++y)
        if ((ring->pixel(18, y) >> 24) > (ring->pixel(18, row) >> 24))
            row = y;
    int ringPixels = 0;
    for (int x = 0; x < 36; ++x) {
        if ((ring->pixel(x, row) >> 24) < 250)
            continue;
        CColor c = picture.color(2 + at.x - 17 + x, 2 + at.y - 18 + row);
        ringPixels += c.red > 150 && c.blue < 100;
    }
    EXPECT_GT(ringPixels, 3);
    // Animation: the phase moves on every second redraw.
    int phase = crowd->animationPhase();
    for (int i = 0; i < 4; ++i) screen->captureAll();
    EXPECT_EQ(crowd->animationPhase(), (phase + 2) & 31);
}

}  // namespace
