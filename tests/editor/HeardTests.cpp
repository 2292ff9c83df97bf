// Every editor control that changes the sound, operated on the off-screen editor and checked
// through what the engine applies at the next blocks (or through the rendered output), not only
// through the value the plug-in stores.
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "EditorFixture.h"
#include "editor/PanelCrowd.h"
#include "editor/PresetFiles.h"
#include "editor/PresetPanel.h"
#include "engine/CrowdEngine.h"
#include "model/ParameterTable.h"
#include "platform/testing/RecordingDesktopService.h"
#include "presets/FactoryBank.h"
#include "toolkit/frame/OffscreenFrame.h"

namespace {

constexpr int kBlock = 512;

struct HeardTest : EditorTest {
    CrowdEngine& engine = *plugin.engine();
    COffscreenFrame* screen = editor.openOffscreen();
    std::vector<float> left, right;
    double phase = 0.0;
    double toneHertz = 0.0;  // 0: silence

    // Runs `frames` of the input through the plug-in; the output of the last call stays in
    // left/right.
    void run(int frames) {
        left.assign(kBlock, 0.0f);
        right.assign(kBlock, 0.0f);
        std::vector<float> in(kBlock);
        for (int done = 0; done < frames; done += kBlock) {
            for (float& s : in) {
                s = toneHertz > 0.0 ? float(0.25 * std::sin(phase)) : 0.0f;
                phase += 2.0 * M_PI * toneHertz / 44100.0;
            }
            float* inputs[2] = {in.data(), in.data()};
            float* outputs[2] = {left.data(), right.data()};
            plugin.processReplacing(inputs, outputs, kBlock);
        }
    }
    // Past every fade a change can start (a dip is 5000 frames down and 5000 up).
    void settle() { run(12 * 1024); }
    float applied(int index) { return engine.appliedProgram().value(index); }

    // The stored value has changed from `before` and is the one the engine plays.
    void expectHeard(int index, float before) {
        const float stored = plugin.getParameter(index);
        EXPECT_NE(stored, before) << "index " << index << ": the control changed nothing";
        settle();
        EXPECT_EQ(applied(index), stored) << "index " << index << " is stored but not heard";
    }

    CControl* byTag(int tag) {
        for (int i = 0; i < editor.frame()->getNbViews(); ++i) {
            auto* control = dynamic_cast<CControl*>(editor.frame()->getView(i));
            if (control && control->getTag() == tag)
                return control;
        }
        ADD_FAILURE() << "no control with tag " << tag;
        return nullptr;
    }
    static CPoint centre(const CRect& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }
    void clickTag(int tag) { screen->click(centre(byTag(tag)->getViewSize())); }
    // A dial turned a quarter turn up (or down from the top half).
    void turn(int tag) {
        CControl* dial = byTag(tag);
        const CPoint from = centre(dial->getViewSize());
        const int step = dial->getValue() < 0.5f ? 60 : -60;
        screen->drag(from, {from.x + step, from.y - step});
    }
    void pickAction(int entry) {
        screen->setPopupAnswer([entry](COptionMenu& m) { return CPopupPick{&m, entry}; });
        clickTag(parPresetActionIndex);
    }

    // Frequency of the left output over one second, by its rising zero crossings.
    double measuredHertz() {
        int crossings = 0;
        float last = 0.0f;
        for (int block = 0; block < 44100 / kBlock; ++block) {
            run(kBlock);
            for (float s : left) {
                crossings += last < 0.0f && s >= 0.0f;
                last = s;
            }
        }
        return crossings * 44100.0 / double((44100 / kBlock) * kBlock);
    }

    // A figure of the crowd display dragged by (dx, dy) pixels.
    void dragPerson(int person, int dx, int dy) {
        const CPoint at = editor.crowd()->personPosition(person);
        const CPoint from{at.x + 2, at.y + 2};  // the panel sits at (2, 2)
        screen->drag(from, {from.x + dx, from.y + dy});
    }
};

// One person on a 1 kHz tone, nothing else: what is heard is exactly that person's shift.
TEST_F(HeardTest, DraggingAFigureUpTheSpectraAxisShiftsTheToneAtTheNextBlock) {
    const std::pair<int, float> settings[] = {{parPopulationIndex, 0.0f}, {parGlobalDryIndex, 0.0f},
                                              {parGlobalWetIndex, 0.5f},  {parAllpassSpreadIndex, 0.0f},
                                              {parReverbWetIndex, 0.0f},  {parPitchAllIndex, 0.5f},
                                              {parSoloIndex, 0.0f},       {parPersonSelectedIndex, 0.0f}};
    for (auto [index, value] : settings) plugin.setParameter(index, value);
    const float person[8] = {0.6f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.5f, 1.0f};
    for (int slot = 0; slot < 8; ++slot) plugin.setParameter(personIndex(0, slot), person[slot]);
    toneHertz = 1000.0;
    settle();
    EXPECT_NEAR(measuredHertz(), 1016.0, 2.0);

    dragPerson(0, 0, -61);  // up the vertical (spectra) axis
    const float shift = plugin.getParameter(personIndex(0, slotPitchShift));
    ASSERT_NEAR(shift, 0.83f, 0.01f);
    // The block after the drag already plays it; a second later the tone is where the host's
    // own value would put it.
    run(kBlock);
    EXPECT_EQ(applied(personIndex(0, slotPitchShift)), shift);
    const double expected = 1000.0 + 160.0 * (double(shift) - 0.5);
    EXPECT_NEAR(measuredHertz(), expected, 2.0);
    EXPECT_GE(count(audioMasterAutomate, personIndex(0, slotPitchShift)), 1);
}

TEST_F(HeardTest, DragsOnEveryAxisPairAreHeard) {
    plugin.setParameter(parPopulationIndex, param::personValue(2));
    const int pairs[3][2] = {
        {slotPan, slotPitchShift}, {slotPan, slotDelayTime}, {slotDelayTime, slotPitchShift}};
    for (int mode = 0; mode < 3; ++mode) {
        for (int slot : pairs[mode]) plugin.setParameter(personIndex(1, slot), 0.4f);
        editor.axisMenu()->setValue(float(mode) / 3.0f);
        editor.crowd()->rebuild = 1.0f;
        settle();
        dragPerson(1, 30, -30);
        for (int slot : pairs[mode]) {
            SCOPED_TRACE("axis mode " + std::to_string(mode) + ", slot " + std::to_string(slot));
            expectHeard(personIndex(1, slot), 0.4f);
        }
        // The drag selected the person it moved, and that is heard too.
        EXPECT_EQ(applied(parPersonSelectedIndex), param::personValue(1));
    }
}

TEST_F(HeardTest, EveryPersonDialIsHeardForTheSelectedPerson) {
    plugin.setParameter(parPopulationIndex, param::personValue(9));
    plugin.setParameter(parPersonSelectedIndex, param::personValue(4));
    settle();
    for (int slot = 0; slot < param::kNamedSlots; ++slot) {
        SCOPED_TRACE("slot " + std::to_string(slot));
        const int index = personIndex(4, slot);
        const float before = plugin.getParameter(index);
        turn(kFirstPersonIndex + slot);
        expectHeard(index, before);
    }
}

TEST_F(HeardTest, EveryGlobalDialIsHeard) {
    for (int index : {parAllpassSpreadIndex, parPitchAllIndex, parGlobalWetIndex, parGlobalDryIndex,
                      parReverbWetIndex, parReverbSizeIndex, parReverbHighCutIndex, parReverbLowCutIndex}) {
        SCOPED_TRACE(index);
        const float before = plugin.getParameter(index);
        turn(index);
        expectHeard(index, before);
    }
}

TEST_F(HeardTest, SwitchesAndPeopleButtonsAreHeard) {
    plugin.setParameter(parPopulationIndex, param::personValue(5));
    plugin.setParameter(parSoloIndex, 0.0f);
    settle();
    clickTag(parSoloIndex);
    expectHeard(parSoloIndex, 0.0f);
    EXPECT_TRUE(engine.solo());

    clickTag(kCmdPopulationUp);
    expectHeard(parPopulationIndex, param::personValue(5));
    EXPECT_EQ(engine.population(), 7);
    clickTag(kCmdPopulationDown);
    clickTag(kCmdPopulationDown);
    expectHeard(parPopulationIndex, param::personValue(6));
    EXPECT_EQ(engine.population(), 5);

    clickTag(kCmdSelectedUp);
    expectHeard(parPersonSelectedIndex, 0.0f);
    EXPECT_EQ(engine.selectedPerson(), 1);

    // A click on another figure selects it.
    const float selected = plugin.getParameter(parPersonSelectedIndex);
    plugin.setParameter(personIndex(3, slotPan), 0.9f);  // apart from the others
    plugin.setParameter(personIndex(3, slotPitchShift), 0.9f);
    const CPoint moved = editor.crowd()->personPosition(3);
    screen->click({moved.x + 2, moved.y + 2});
    expectHeard(parPersonSelectedIndex, selected);
    EXPECT_EQ(engine.selectedPerson(), 3);

    clickTag(parActiveIndex);
    expectHeard(parActiveIndex, 1.0f);
    EXPECT_EQ(engine.activeFadeValue(), 0.0f);  // passing the input through
}

TEST_F(HeardTest, RandomiseAndResetAreHeard) {
    plugin.setParameter(parPersonSelectedIndex, 0.0f);
    settle();
    float before[param::kNamedSlots];
    for (int slot = 0; slot < param::kNamedSlots; ++slot)
        before[slot] = plugin.getParameter(personIndex(0, slot));
    clickTag(kCmdRandomise);
    settle();
    int changed = 0;
    for (int slot = 0; slot < param::kNamedSlots; ++slot) {
        const int index = personIndex(0, slot);
        changed += plugin.getParameter(index) != before[slot];
        EXPECT_EQ(applied(index), plugin.getParameter(index)) << "slot " << slot;
    }
    EXPECT_GE(changed, 6);

    // Reset brings back the factory values, and they are what plays.
    pickAction(PresetPanel::kResetCurrent);
    settle();
    auto factory = std::make_unique<ProgramBank>();
    loadFactoryBank(*factory);
    for (int slot = 0; slot < param::kNamedSlots; ++slot) {
        const int index = personIndex(0, slot);
        EXPECT_EQ(applied(index), factory->programs[0].value(index)) << "slot " << slot;
    }
}

TEST_F(HeardTest, ProgramStepsAndPresetFilesAreHeard) {
    clickTag(parPresetNextIndex);
    settle();
    EXPECT_EQ(engine.currentProgram(), 1);
    const Program& program1 = engine.bank().programs[1];
    for (int index = 0; index < kNumParams; ++index) {
        if (ParameterTable::row(index).change != ParamChange::kCommand) {
            ASSERT_EQ(applied(index), program1.value(index)) << "index " << index;
        }
    }

    // A file holding program 1 with a new shift for person 2 loads over program 1.
    char pattern[] = "/tmp/zb-heard-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    Program file = plugin.currentProgramRecord();
    const int index = personIndex(2, slotPitchShift);
    file.value(index) = file.value(index) < 0.5f ? 0.9f : 0.1f;
    ASSERT_TRUE(writePresetFile(dir + "/shift.fxp", file));
    platform::RecordingDesktopService desktop;
    desktop.accept(dir + "/shift.fxp");
    const float before = plugin.getParameter(index);
    pickAction(PresetPanel::kLoadPreset);
    expectHeard(index, before);
    EXPECT_EQ(plugin.getParameter(index), file.value(index));
    std::system(("rm -rf " + dir).c_str());
}

}  // namespace
