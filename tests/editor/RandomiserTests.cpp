// The randomiser through the execute button.
#include <thread>

#include "EditorFixture.h"
#include "editor/PanelCrowd.h"
#include "editor/Randomiser.h"
#include "model/RuntimeRandom.h"
#include "toolkit/frame/OffscreenFrame.h"

namespace {

struct RandomiserTest : EditorTest {
    COffscreenFrame* screen = nullptr;
    std::vector<float> before;

    void openWith(int populationIndex, int selected, float lower, float upper) {
        plugin.setParameter(parPopulationIndex, float(populationIndex) * (1.0f / 60.0f));
        plugin.setParameter(parPersonSelectedIndex, float(selected) * (1.0f / 60.0f));
        plugin.setParameter(parRandLowerIndex, lower);
        plugin.setParameter(parRandUpperIndex, upper);
        screen = editor.openOffscreen();
        for (int i = 0; i < kNumParams; ++i) before.push_back(plugin.getParameter(i));
    }
    void execute() { screen->click({130, 352}); }
    void pickGroup(int g) {
        screen->setPopupAnswer([g](COptionMenu& m) { return CPopupPick{&m, g}; });
        screen->click({90, 376});
    }
    std::vector<int> changed() {
        std::vector<int> out;
        for (int i = 0; i < kNumParams; ++i)
            if (plugin.getParameter(i) != before[std::size_t(i)])
                out.push_back(i);
        return out;
    }
};

TEST_F(RandomiserTest, EqualBoundsGiveExactlyThatValueToEverySlotOfThePopulation) {
    openWith(2, 0, 0.5f, 0.5f);
    execute();
    for (int n = 0; n < 60; ++n)
        for (int k = 0; k < 12 && personIndex(n, k) < kNumParams; ++k) {
            float v = plugin.getParameter(personIndex(n, k));
            if (n <= 2 && k < 8) {
                EXPECT_EQ(v, 0.5f) << n << " " << k;
            } else {
                EXPECT_EQ(v, before[std::size_t(personIndex(n, k))]) << n << " " << k;
            }
        }
    EXPECT_EQ(count(audioMasterAutomate, personIndex(0, 0)), 0);  // plain changes
    EXPECT_EQ(editor.crowd()->rebuild, 1.0f);
}

TEST_F(RandomiserTest, ValuesFollowTheSequenceBetweenTheDialPositions) {
    openWith(1, 0, 0.25f, 0.75f);
    // On a fresh thread the sequence starts from state 1, so every value is known.
    std::thread([&] { Randomiser(&editor).randomise(); }).join();
    std::uint32_t x = 1;
    for (int n = 0; n <= 1; ++n) {
        for (int k = 0; k < 8; ++k) {
            x = x * 214013u + 2531011u;
            float r = float((x >> 16) & 0x7FFF) * (1.0f / 32768.0f);
            EXPECT_EQ(plugin.getParameter(personIndex(n, k)), (0.75f - 0.25f) * r + 0.25f) << n << " " << k;
        }
    }
    EXPECT_EQ(plugin.getParameter(personIndex(0, 0)), 0.5f * (41.0f / 32768.0f) + 0.25f);
    EXPECT_EQ(plugin.getParameter(personIndex(2, 0)), before[std::size_t(personIndex(2, 0))]);

    // Upper below lower (set while open): still between the two, never reaching the far end.
    plugin.setParameter(parRandLowerIndex, 0.8f);
    plugin.setParameter(parRandUpperIndex, 0.2f);
    execute();
    for (int k = 0; k < 8; ++k) {
        float v = plugin.getParameter(personIndex(0, k));
        EXPECT_GT(v, 0.2f);
        EXPECT_LE(v, 0.8f);
    }
}

TEST_F(RandomiserTest, IndividualScopeAndSingleGroups) {
    openWith(59, 4, 0.0f, 1.0f);
    screen->click({30, 350});  // individual
    execute();
    std::vector<int> c = changed();
    for (int i : c) {
        EXPECT_GE(i, 68);
        EXPECT_LE(i, 75);
    }
    EXPECT_GE(c.size(), 7u);  // a draw may repeat a value, but not most of them
    // The dials show the selected person's new values.
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(editor.controlByParameter(20 + k)->getValue(), plugin.getParameter(68 + k));

    before.clear();
    for (int i = 0; i < kNumParams; ++i) before.push_back(plugin.getParameter(i));
    pickGroup(8);  // pan
    execute();
    c = changed();
    ASSERT_LE(c.size(), 1u);
    if (!c.empty()) {
        EXPECT_EQ(c[0], 68 + slotPan);
    }
}

TEST_F(RandomiserTest, EverythingButGainLeavesGainsAlone) {
    openWith(59, 0, 0.0f, 1.0f);
    pickGroup(1);
    execute();
    std::vector<int> c = changed();
    EXPECT_GT(c.size(), 300u);
    for (int i : c) EXPECT_NE((i - 20) % 12, slotGain) << i;
}

TEST_F(RandomiserTest, APressReleasedOutsideRunsNothing) {
    openWith(10, 0, 0.0f, 1.0f);
    screen->mouseDown({130, 352});
    screen->mouseUp({300, 200});
    EXPECT_TRUE(changed().empty());
}

TEST(RandomiserGroups, SlotsOfEachGroup) {
    int count = 0;
    EXPECT_EQ(Randomiser::groupSlots(0, count)[7], 7);
    EXPECT_EQ(count, 8);
    Randomiser::groupSlots(1, count);
    EXPECT_EQ(count, 7);
    for (int g = 2; g <= 9; ++g) {
        EXPECT_EQ(Randomiser::groupSlots(g, count)[0], g - 2);
        EXPECT_EQ(count, 1);
    }
    EXPECT_EQ(Randomiser::groupSlots(10, count), nullptr);
    EXPECT_EQ(count, 0);
}

}  // namespace
