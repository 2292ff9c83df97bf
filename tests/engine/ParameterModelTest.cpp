// The parameter model as the editor and the engine see it: notifications, command indices,
// pending marks and program re-application.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "engine/CrowdEngine.h"
#include "plugin/EffectVST.h"

namespace {

struct Notifications {
    std::vector<std::pair<int, float>> editor;
    std::vector<int> hostOpcodes;
};
Notifications* current = nullptr;

class RecordingEditor : public AEffGUIEditor {
public:
    using AEffGUIEditor::AEffGUIEditor;
    bool getRect(ERect**) override { return false; }
    void setParameter(VstInt32 index, float value) override { current->editor.emplace_back(index, value); }
};

VstIntPtr recordingHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    current->hostOpcodes.push_back(opcode);
    return 0;
}

struct Rig {
    Notifications seen;
    EffectVST plugin;

    Rig() : plugin((current = &seen, recordingHost), [](EffectVST* e) -> AEffGUIEditor* { return new RecordingEditor(e); }) {
        seen = {};
    }
    ~Rig() { current = nullptr; }
    int program() { return plugin.engine()->currentProgram(); }
};

TEST(ParameterModel, StepCommandsWrapAndTellTheEditorTheNewProgram) {
    Rig rig;
    rig.plugin.setProgram(23);
    rig.seen = {};
    rig.plugin.setParameter(parPresetNextIndex, 1.0f);
    EXPECT_EQ(rig.program(), 23) << "only a value of exactly 0 steps";
    rig.plugin.setParameter(parPresetNextIndex, 0.0f);
    EXPECT_EQ(rig.program(), 0);
    EXPECT_EQ(rig.plugin.getProgram(), 0);
    ASSERT_FALSE(rig.seen.editor.empty());
    EXPECT_EQ(rig.seen.editor.back(), std::make_pair(int{parPresetNameIndex}, 0.0f));

    rig.plugin.setParameter(parPresetPrevIndex, 0.0f);
    EXPECT_EQ(rig.program(), 23);
    rig.plugin.setParameter(parPresetSelectIndex, 0.5f);
    EXPECT_EQ(rig.program(), 12);
    rig.plugin.setParameter(parPresetSelectIndex, 1.0f);
    EXPECT_EQ(rig.program(), 12) << "trunc(24.5) names no program";
}

TEST(ParameterModel, ReloadReappliesWithoutTellingTheEditor) {
    Rig rig;
    rig.plugin.setProgram(5);
    rig.seen = {};
    rig.plugin.setParameter(parPresetReloadIndex, 0.3f);
    EXPECT_EQ(rig.program(), 5);
    for (const auto& [index, value] : rig.seen.editor) {
        EXPECT_NE(index, parPresetReloadIndex);
        EXPECT_NE(index, parPresetActionIndex);
    }
    // Every value but the commands is shown to the editor; the engine re-applies them all at the
    // bottom of the fade the reload starts, so none needs a mark of its own.
    EXPECT_EQ(rig.seen.editor.size(), static_cast<std::size_t>(kNumParams - 5));
    EXPECT_LT(rig.plugin.engine()->globalFadeStep(), 0.0f);
    EXPECT_FALSE(rig.plugin.engine()->pending(parPopulationIndex));
    EXPECT_FALSE(rig.plugin.engine()->pending(738));
}

TEST(ParameterModel, ProgramSwitchReadsTheNewProgramAndRefreshesTheHostOnce) {
    Rig rig;
    rig.plugin.setProgram(7);
    const Program& stored = rig.plugin.engine()->bank().programs[7];
    for (int index = 0; index < kNumParams; ++index) {
        const float expected = (index >= 29 && index <= 31) ? 0.0f : stored.value(index);
        ASSERT_EQ(rig.plugin.getParameter(index), expected) << index;
    }
    rig.seen = {};
    rig.plugin.setProgram(24);
    rig.plugin.setProgram(-1);
    EXPECT_EQ(rig.program(), 7);
    EXPECT_TRUE(rig.seen.hostOpcodes.empty());
    rig.plugin.setProgram(2);
    EXPECT_EQ(std::count(rig.seen.hostOpcodes.begin(), rig.seen.hostOpcodes.end(), audioMasterUpdateDisplay), 1);
}

TEST(ParameterModel, ReservedSlotsAreStoredButReadAsZero) {
    Rig rig;
    rig.plugin.setParameter(29, 0.7f);
    EXPECT_EQ(rig.plugin.getParameter(29), 0.0f);
    EXPECT_EQ(rig.plugin.engine()->program().value(29), 0.7f);
    rig.plugin.setParameter(41, 0.7f);
    EXPECT_EQ(rig.plugin.getParameter(41), 0.7f);
    const float last = rig.plugin.engine()->program().value(739);
    rig.plugin.setParameter(739, 0.25f);
    EXPECT_EQ(rig.plugin.engine()->program().value(739), last);
    EXPECT_EQ(rig.plugin.getParameter(739), 0.0f);
}

TEST(ParameterModel, ActionIndexIsStoredSilently) {
    Rig rig;
    rig.seen = {};
    rig.plugin.setParameter(parPresetActionIndex, 0.4f);
    EXPECT_TRUE(rig.seen.editor.empty());
    EXPECT_EQ(rig.plugin.getParameter(parPresetActionIndex), 0.4f);
}

TEST(ParameterModel, ActiveSwitchStartsThePassThroughFade) {
    Rig rig;
    rig.plugin.setParameter(parActiveIndex, 0.0f);
    EXPECT_EQ(rig.plugin.engine()->activeFadeStep(), -0.0001f);
    rig.plugin.setParameter(parActiveIndex, 0.5f);
    EXPECT_EQ(rig.plugin.engine()->activeFadeStep(), 0.0001f);
}

}  // namespace
