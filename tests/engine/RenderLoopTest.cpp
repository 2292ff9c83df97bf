// The render loop driven directly: fades, mapping, clip flag, input copies, robustness.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "engine/CrowdEngine.h"
#include "engine/GuardedBlock.h"
#include "plugin/EffectVST.h"

namespace {

// A plug-in without editor or host, rendering blocks of constant input.
struct Rig {
    EffectVST plugin{nullptr, nullptr};
    CrowdEngine& engine = *plugin.engine();
    std::vector<float> in[2];
    std::vector<float> out[2];

    void render(int frames, float left, float right, int inputs = 2, int outputs = 2) {
        for (int c = 0; c < 2; ++c) {
            in[c].assign(static_cast<std::size_t>(frames), c == 0 ? left : right);
            out[c].assign(static_cast<std::size_t>(frames), -7.0f);
        }
        float* ins[2] = {in[0].data(), in[1].data()};
        float* outs[2] = {out[0].data(), out[1].data()};
        engine.process(ins, outs, inputs, outputs, frames);
    }

    // Only the dry path: no crowd, no reverb.
    void dryOnly(float dry) {
        plugin.setParameter(parGlobalWetIndex, 0.0f);
        plugin.setParameter(parReverbWetIndex, 0.0f);
        plugin.setParameter(parGlobalDryIndex, dry);
    }

    void settle() {
        for (int i = 0; i < 40; ++i) {
            render(512, 0.0f, 0.0f);
        }
    }
};

TEST(RenderLoop, ClipFlagIsSetAtPlusOneOnly) {
    Rig rig;
    rig.dryOnly(0.5f);  // dry gain exactly 1
    rig.settle();
    rig.engine.clearClip();

    rig.render(64, -1.0f, -1.5f);
    EXPECT_FLOAT_EQ(rig.out[0][10], -1.0f);
    EXPECT_FALSE(rig.engine.clipped());

    rig.render(64, 0.999f, 0.5f);
    EXPECT_FALSE(rig.engine.clipped());

    rig.render(64, 1.0f, 0.0f);
    EXPECT_FLOAT_EQ(rig.out[0][10], 1.0f);
    EXPECT_TRUE(rig.engine.clipped());
    rig.engine.clearClip();
    EXPECT_FALSE(rig.engine.clipped());
}

TEST(RenderLoop, ChannelMapping) {
    Rig rig;
    rig.dryOnly(0.5f);
    rig.settle();

    // One input feeds both outputs.
    rig.render(32, 0.25f, 0.75f, 1, 2);
    EXPECT_FLOAT_EQ(rig.out[0][5], 0.25f);
    EXPECT_FLOAT_EQ(rig.out[1][5], 0.25f);

    // Two inputs into one output: the second input is ignored, the second output untouched.
    rig.render(32, 0.25f, 0.75f, 2, 1);
    EXPECT_FLOAT_EQ(rig.out[0][5], 0.25f);
    EXPECT_FLOAT_EQ(rig.out[1][5], -7.0f);

    rig.render(32, 0.25f, 0.75f, 2, 2);
    EXPECT_FLOAT_EQ(rig.out[1][5], 0.75f);
}

// A host exceeding its declared block size: the block is rendered in passes of the prepared
// length, with the output of an engine prepared for the whole block.
TEST(RenderLoop, BlocksLongerThanPreparedAreRenderedInPasses) {
    auto render = [](int prepared) {
        std::vector<float> output;
        std::thread([&] {
            CrowdEngine engine;
            engine.prepare(44100.0f, prepared);
            engine.markParameter(parReverbWetIndex, 0.6f);
            const std::size_t blocks = BlockRegistry::entryCount();
            std::vector<float> io[2] = {std::vector<float>(6000), std::vector<float>(6000)};
            for (int block = 0; block < 8; ++block) {
                for (int l = 0; l < 6000; ++l) {
                    io[0][l] = std::sin(0.01f * static_cast<float>(block * 6000 + l));
                    io[1][l] = 0.5f * io[0][l];
                }
                float* p[2] = {io[0].data(), io[1].data()};
                engine.process(p, p, 2, 2, 6000);
                if (block >= 3) {  // after the fade that opens the program
                    output.insert(output.end(), io[0].begin(), io[0].end());
                    output.insert(output.end(), io[1].begin(), io[1].end());
                }
            }
            EXPECT_EQ(engine.inputCopyCapacity(), prepared < 2048 ? 2048 : prepared);
            EXPECT_EQ(BlockRegistry::entryCount(), blocks);
        }).join();
        return output;
    };
    const std::vector<float> passes = render(512);
    const std::vector<float> whole = render(6000);
    ASSERT_EQ(passes.size(), whole.size());
    double largest = 0.0;
    for (std::size_t i = 0; i < passes.size(); ++i) {
        largest = std::max(largest, std::fabs(double(passes[i]) - whole[i]));
    }
    EXPECT_LT(largest, 1e-5);
}

TEST(RenderLoop, NegativeFrameCountTouchesNothing) {
    Rig rig;
    rig.render(100, 0.5f, 0.5f);
    const int position = rig.engine.writePosition();
    const float fade = rig.engine.globalFadeValue();
    rig.plugin.setParameter(parGlobalDryIndex, 0.3f);

    float* ins[2] = {rig.in[0].data(), rig.in[1].data()};
    float* outs[2] = {rig.out[0].data(), rig.out[1].data()};
    rig.out[0].assign(100, -7.0f);
    rig.engine.process(ins, outs, 2, 2, -5);
    EXPECT_EQ(rig.engine.writePosition(), position);
    EXPECT_EQ(rig.engine.globalFadeValue(), fade);
    EXPECT_TRUE(rig.engine.pending(parGlobalDryIndex));
    EXPECT_EQ(rig.out[0][0], -7.0f);
}

// A host re-sending the values it already sent starts no dip, no glide and no reset.
TEST(RenderLoop, ResentValuesStartNothing) {
    Rig rig;
    rig.settle();
    ASSERT_EQ(rig.engine.globalFadeStep(), 0.0f);
    for (int index : {int{parPopulationIndex}, int{parSoloIndex}, int{parAllpassSpreadIndex},
                      int{parActiveIndex}, int{parGlobalWetIndex}, personIndex(3, slotDelayTime)}) {
        rig.plugin.setParameter(index, rig.plugin.getParameter(index));
        EXPECT_EQ(rig.engine.globalFadeStep(), 0.0f) << index;
        EXPECT_EQ(rig.engine.activeFadeStep(), 0.0f) << index;
        EXPECT_FALSE(rig.engine.pending(index)) << index;
    }
    // A changed value does.
    rig.plugin.setParameter(parSoloIndex, rig.plugin.getParameter(parSoloIndex) > 0.5f ? 0.0f : 1.0f);
    EXPECT_LT(rig.engine.globalFadeStep(), 0.0f);
}

// A program stored with the switch off bypasses once selected, and one stored with it on
// brings the crowd back, though the switch value is never sent on its own.
TEST(RenderLoop, ProgramSwitchFollowsTheStoredActiveSwitch) {
    Rig rig;
    rig.engine.bank().programs[5].value(parActiveIndex) = 0.0f;
    rig.engine.bank().programs[5].value(parGlobalDryIndex) = 0.25f;
    rig.plugin.setProgram(5);
    for (int block = 0; block < 50; ++block) {
        rig.render(512, 0.3f, -0.2f);
    }
    EXPECT_EQ(rig.out[0][511], 0.3f);
    EXPECT_EQ(rig.out[1][511], -0.2f);
    rig.plugin.setProgram(0);
    for (int block = 0; block < 50; ++block) {
        rig.render(512, 0.3f, -0.2f);
    }
    EXPECT_EQ(rig.engine.activeFadeValue(), 1.0f);
    EXPECT_NE(rig.out[0][511], 0.3f);
}

TEST(RenderLoop, GlobalFadeDipsAndReturns) {
    Rig rig;
    rig.dryOnly(0.5f);
    rig.settle();
    ASSERT_EQ(rig.engine.globalFadeValue(), 1.0f);

    rig.plugin.setParameter(parPopulationIndex, 0.2f);
    std::vector<float> envelope;
    for (int block = 0; block < 24; ++block) {
        rig.render(500, 1.0f, 1.0f);
        envelope.insert(envelope.end(), rig.out[0].begin(), rig.out[0].end());
    }
    // 5000 frames down to silence, 5000 back up, continuous on the way.
    EXPECT_NEAR(envelope[2499], 0.5f, 1e-3f);
    EXPECT_NEAR(envelope[4999], 0.0f, 1e-3f);
    EXPECT_NEAR(envelope[7499], 0.5f, 1e-3f);
    EXPECT_FLOAT_EQ(envelope[10500], 1.0f);
    for (std::size_t i = 1; i < envelope.size(); ++i) {
        ASSERT_LE(std::fabs(envelope[i] - envelope[i - 1]), 0.00021f) << "step at frame " << i;
    }
    EXPECT_EQ(rig.engine.population(), 13);
}

TEST(RenderLoop, TriggerDuringFadeInReversesWithoutJump) {
    Rig rig;
    rig.dryOnly(0.5f);
    rig.settle();
    rig.plugin.setParameter(parSoloIndex, 1.0f);
    rig.render(7000, 1.0f, 1.0f);  // bottom at 5000, rising since
    const float before = rig.engine.globalFadeValue();
    EXPECT_GT(rig.engine.globalFadeStep(), 0.0f);
    rig.plugin.setParameter(parSoloIndex, 0.0f);
    rig.render(1, 1.0f, 1.0f);
    EXPECT_NEAR(rig.engine.globalFadeValue(), before - 0.0002f, 1e-6f);
}

// Values reach the engine unconverted; whatever a host sends, counts and indices stay in range.
TEST(RenderLoop, WildGlobalValuesKeepCountsInRange) {
    const float wild[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                          -std::numeric_limits<float>::infinity(), 1e9f, -1e9f};
    for (int index = 0; index < kFirstPersonIndex; ++index) {
        for (float value : wild) {
            Rig rig;
            rig.plugin.setParameter(index, value);
            rig.plugin.setParameter(parPersonSelectedIndex, value);
            for (int block = 0; block < 25; ++block) {
                rig.render(512, 0.1f, -0.1f);
            }
            EXPECT_GE(rig.engine.population(), 1) << index << " = " << value;
            EXPECT_LE(rig.engine.population(), 59) << index << " = " << value;
            EXPECT_GE(rig.engine.selectedPerson(), 0) << index << " = " << value;
            EXPECT_LT(rig.engine.selectedPerson(), rig.engine.population()) << index << " = " << value;
            EXPECT_GE(rig.engine.currentProgram(), 0);
            EXPECT_LT(rig.engine.currentProgram(), kNumPrograms);
            // The stored value is kept exactly as given.
            const float stored = rig.engine.program().value(parPersonSelectedIndex);
            EXPECT_TRUE(std::isnan(value) ? std::isnan(stored) : stored == value);
        }
    }
}

TEST(RenderLoop, WildPersonValuesDoNotReadOutsideTheRings) {
    Rig rig;
    const float wild[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                          1e9f, -1e9f};
    int person = 0;
    for (float value : wild) {
        for (int slot = 0; slot < 8; ++slot) {
            rig.plugin.setParameter(personIndex(person, slot), value);
        }
        ++person;
    }
    for (int block = 0; block < 30; ++block) {
        rig.render(512, 0.1f, -0.1f);
    }
    for (int v = 0; v < 4; ++v) {
        EXPECT_GE(rig.engine.voice(v).readIndex, 0);
        EXPECT_LT(rig.engine.voice(v).readIndex, 32768);
    }
}

TEST(RenderLoop, GuardSamplesFollowRingStartAtWrap) {
    Rig rig;
    rig.dryOnly(0.5f);
    const int toWrap = 32768 - rig.engine.writePosition();
    rig.render(toWrap, 0.3f, -0.2f);
    ASSERT_EQ(rig.engine.writePosition(), 0);
    rig.render(1, 0.3f, -0.2f);
    for (int c = 0; c < 2; ++c) {
        for (int part = 0; part < 2; ++part) {
            EXPECT_EQ(rig.engine.ringSample(c, part, 32768), rig.engine.ringSample(c, part, 0));
            EXPECT_NE(rig.engine.ringSample(c, part, 0), 0.0f);
        }
    }
}

}  // namespace
