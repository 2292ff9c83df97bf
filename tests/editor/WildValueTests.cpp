// Values no host should send (NaN, infinities, huge numbers, the top of every range) reaching
// the open editor: nothing out of range is shown, stored or reported.
#include <cmath>
#include <limits>
#include <thread>

#include "EditorFixture.h"
#include "editor/PanelCrowd.h"
#include "editor/Randomiser.h"
#include "engine/CrowdEngine.h"
#include "model/RuntimeRandom.h"
#include "toolkit/frame/OffscreenFrame.h"

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kWild[] = {kNaN, kInf, -kInf, 1e30f, -1e30f, 2.0f, 1.0f, -0.5f};

struct WildValueTest : EditorTest {
    COffscreenFrame* screen = editor.openOffscreen();

    // The person the engine plays once it has taken the stored values (as a block would).
    int engineSelected() {
        plugin.engine()->applyAllParameters();
        return plugin.engine()->selectedPerson();
    }

    // A person number stored by the editor: k / 60 for a k the engine can play.
    static void expectPersonValue(float v, int last) {
        ASSERT_TRUE(std::isfinite(v)) << v;
        const int k = int(std::lround(v * 60.0f));
        EXPECT_EQ(v, float(k) * (1.0f / 60.0f)) << v;
        EXPECT_GE(k, 0);
        EXPECT_LE(k, last);
    }
};

TEST_F(WildValueTest, PopulationValuesKeepTheSelectionAndTheMenusInRange) {
    for (float population : kWild) {
        SCOPED_TRACE(population);
        plugin.setParameter(parPersonSelectedIndex, 3.0f / 60.0f);
        plugin.setParameter(parPopulationIndex, population);
        expectPersonValue(plugin.getParameter(parPersonSelectedIndex), 58);
        EXPECT_EQ(editor.selectedPerson(), engineSelected());
        // The low end for NaN and below: one person, numbered.
        EXPECT_EQ(editor.selectedMenu()->getEntry(0), "1");
        const bool low = !(population > 0.0f);
        EXPECT_EQ(editor.selectedMenu()->getEntry(1), low ? "--" : "2");
        EXPECT_EQ(editor.crowd()->personCount(), low ? 1 : 59);
        screen->captureAll();
    }
}

TEST_F(WildValueTest, SelectedValuesShowThePersonTheEngineUses) {
    plugin.setParameter(parPopulationIndex, 4.0f / 60.0f);
    for (int k = 0; k < 8; ++k) plugin.setParameter(personIndex(4, k), 0.125f * float(k));
    for (float selected : kWild) {
        SCOPED_TRACE(selected);
        plugin.setParameter(parPersonSelectedIndex, selected);
        const int s = editor.selectedPerson();
        EXPECT_EQ(s, engineSelected());
        EXPECT_EQ(s, selected > 0.0f ? 4 : 0);
        EXPECT_EQ(editor.selectedMenu()->getCurrentIndex(), s);
        for (int k = 0; k < 8; ++k)
            EXPECT_EQ(editor.controlByParameter(kFirstPersonIndex + k)->getValue(),
                      plugin.getParameter(personIndex(s, k)));
        screen->captureAll();
    }
}

TEST_F(WildValueTest, OpeningWithTheSelectionBeyondThePopulationShowsTheLastPersonHeard) {
    editor.close();
    plugin.setParameter(parPopulationIndex, 2.0f / 60.0f);       // three people
    plugin.setParameter(parPersonSelectedIndex, 10.0f / 60.0f);  // stored while closed
    plugin.setParameter(personIndex(2, slotGain), 0.75f);
    plugin.setParameter(personIndex(10, slotGain), 0.25f);
    screen = editor.openOffscreen();
    EXPECT_EQ(editor.selectedPerson(), 2);
    EXPECT_EQ(engineSelected(), 2);
    EXPECT_EQ(editor.selectedMenu()->getCurrentIndex(), 2);
    EXPECT_EQ(editor.controlByParameter(kFirstPersonIndex + slotGain)->getValue(), 0.75f);
    // The ring is drawn around person 2, not at person 10's place.
    EXPECT_EQ(editor.crowd()->personPosition(editor.selectedPerson()), editor.crowd()->personPosition(2));
}

TEST_F(WildValueTest, DialsAtTheTopOfBothRangesAutomateOnlyExistingParameters) {
    // Host sliders at their maxima: everyone, and the selection at 60 of 60.
    plugin.setParameter(parPopulationIndex, 1.0f);
    plugin.setParameter(parPersonSelectedIndex, 1.0f);
    editor.close();
    screen = editor.openOffscreen();
    calls.clear();
    screen->drag({381, 238}, {381 + 45, 238});  // the pan dial
    const int pan = personIndex(58, slotPan);   // the last person heard
    EXPECT_GE(count(audioMasterAutomate, pan), 1);
    EXPECT_EQ(count(audioMasterBeginEdit, pan), 1);
    EXPECT_EQ(count(audioMasterEndEdit, pan), 1);
    for (const Call& c : calls) {
        if (c.opcode == audioMasterAutomate || c.opcode == audioMasterBeginEdit ||
            c.opcode == audioMasterEndEdit) {
            EXPECT_LT(c.index, kNumParams) << c.opcode;
        }
    }
}

TEST_F(WildValueTest, CommandsAnnounceNoGesture) {
    calls.clear();
    screen->click({70, 305});   // population plus
    screen->click({480, 48});   // selected plus
    screen->click({120, 353});  // randomise
    screen->click({300, 410});  // help
    for (const Call& c : calls) {
        EXPECT_NE(c.opcode, audioMasterBeginEdit) << c.index;
        EXPECT_NE(c.opcode, audioMasterEndEdit) << c.index;
    }
}

TEST_F(WildValueTest, TheRandomiserStopsAtTheLastPersonForAHugePopulation) {
    // The sequence is per thread and starts afresh on a new one, so the draws of one run can
    // be counted: 60 people of 8 slots each.
    auto nextAfter = [](int draws) {
        int value = 0;
        std::thread([&] {
            for (int i = 0; i < draws; ++i) RuntimeRandom::next();
            value = RuntimeRandom::next();
        }).join();
        return value;
    };
    const int after480 = nextAfter(480);
    ASSERT_NE(after480, nextAfter(968));
    for (float population : {2.0f, 1e30f, kInf}) {
        SCOPED_TRACE(population);
        plugin.setParameter(parPopulationIndex, population);
        int next = 0;
        std::thread([&] {
            Randomiser(&editor).randomise();
            next = RuntimeRandom::next();
        }).join();
        EXPECT_EQ(next, after480);
    }
}

TEST_F(WildValueTest, WildPositionsStayOnTheCrowdDisplay) {
    plugin.setParameter(parPopulationIndex, 0.0f);
    // Pan sets x, shift sets y (larger values higher); the field is x 4..336, y 4..268.
    const struct {
        float value;
        CPoint at;
    } cases[] = {{kNaN, {4, 4}},   {-kInf, {4, 268}}, {-1e30f, {4, 268}},
                 {kInf, {336, 4}}, {1e30f, {336, 4}}, {0.5f, {170, 136}}};
    for (const auto& c : cases) {
        plugin.setParameter(personIndex(0, slotPan), c.value);
        plugin.setParameter(personIndex(0, slotPitchShift), c.value);
        EXPECT_EQ(editor.crowd()->personPosition(0), c.at) << c.value;
        screen->captureAll();
    }
}

}  // namespace
