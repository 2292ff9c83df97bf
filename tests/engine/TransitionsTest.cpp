// The transitions on their own: the dip and its bottom, the hold after a bottom, the Active
// cross-fade and the level glides, frame by frame as the render loop steps them.
#include <gtest/gtest.h>

#include "engine/Transitions.h"

namespace {

// Steps the dip until something other than a running frame comes back; returns the frames.
int framesUntilBottom(Transitions& t, bool first, Transitions::Dip& result) {
    for (int frame = 1; frame <= 100000; ++frame) {
        result = t.stepDip(first);
        if (result != Transitions::Dip::kRunning) {
            return frame;
        }
    }
    return -1;
}

TEST(Transitions, DipFallsToItsBottomThenRisesAndStops) {
    Transitions t;
    EXPECT_TRUE(t.steady());
    t.startDip();
    EXPECT_FALSE(t.steady());
    Transitions::Dip result{};
    EXPECT_NEAR(framesUntilBottom(t, true, result), kFadeFrames, 2);  // float steps round
    EXPECT_EQ(result, Transitions::Dip::kBottom);
    EXPECT_EQ(t.dipValue(), 0.0f);
    EXPECT_EQ(t.dipStep(), Transitions::kDipStep);  // on its way back up
    int frames = 0;
    while (t.dipping() && frames < 100000) {
        EXPECT_EQ(t.stepDip(false), Transitions::Dip::kRunning);
        ++frames;
    }
    EXPECT_NEAR(frames, kFadeFrames, 2);
    EXPECT_EQ(t.dipValue(), 1.0f);
    EXPECT_TRUE(t.steady());
}

TEST(Transitions, BottomInsideASegmentWaitsForTheNextOne) {
    Transitions t;
    t.startDip();
    Transitions::Dip result{};
    framesUntilBottom(t, false, result);
    EXPECT_EQ(result, Transitions::Dip::kNewSegment);
    EXPECT_EQ(t.dipStep(), -Transitions::kDipStep);  // nothing reset yet
    EXPECT_EQ(t.stepDip(true), Transitions::Dip::kBottom);
}

TEST(Transitions, ChangesRightAfterABottomHoldTheSilenceForAFadeLength) {
    Transitions t;
    t.startDip();
    Transitions::Dip result{};
    framesUntilBottom(t, true, result);
    ASSERT_EQ(result, Transitions::Dip::kBottom);
    // A new change at once: down again from the bottom, which holds instead of resetting.
    t.startDip();
    for (int frame = 1; frame < kFadeFrames; ++frame) {
        ASSERT_EQ(t.stepDip(true), Transitions::Dip::kRunning) << frame;
        ASSERT_EQ(t.dipValue(), 0.0f);
    }
    EXPECT_EQ(t.stepDip(true), Transitions::Dip::kBottom);

    // Steady frames count towards the hold as well.
    t.startDip();
    t.countSteadyFrames(kFadeFrames - 2);
    EXPECT_EQ(t.stepDip(true), Transitions::Dip::kRunning);
    EXPECT_EQ(t.stepDip(true), Transitions::Dip::kBottom);
}

TEST(Transitions, CrossFadeRunsToEitherEndAndSettlesOnlyWhereNeeded) {
    Transitions t;
    t.startCrossFade(false);
    int frames = 0;
    while (t.crossFading() && frames < 100000) {
        t.stepFrame();
        ++frames;
    }
    EXPECT_NEAR(frames, 10000, 2);
    EXPECT_EQ(t.crossFadeValue(), 0.0f);
    t.settleCrossFade(true);  // already bypassed
    EXPECT_FALSE(t.crossFading());
    t.settleCrossFade(false);
    EXPECT_EQ(t.crossFadeStep(), Transitions::kCrossFadeStep);
}

TEST(Transitions, LevelsGlideOverThePassAndLandExactly) {
    Transitions t;
    t.setWet(0.2f);
    t.setDry(0.5f);
    t.setWet(0.7f);  // applied: the glide starts from the value held before
    t.glideLevels(0.2f, 0.5f, 3);
    EXPECT_TRUE(t.gliding());
    EXPECT_FALSE(t.steady());
    EXPECT_EQ(t.wet(), 0.2f);
    EXPECT_EQ(t.dry(), 0.5f);  // unchanged: no glide
    t.stepFrame();
    EXPECT_GT(t.wet(), 0.2f);
    EXPECT_LT(t.wet(), 0.7f);
    EXPECT_EQ(t.dry(), 0.5f);
    t.stepFrame();
    t.stepFrame();
    t.finishGlides();
    EXPECT_EQ(t.wet(), 0.7f);
    EXPECT_FALSE(t.gliding());
    // A bottom drops a glide where it stands.
    t.setWet(0.1f);
    t.glideLevels(0.7f, 0.5f, 4);
    t.stepFrame();
    const float partWay = t.wet();
    t.cancelGlides();
    t.stepFrame();
    EXPECT_EQ(t.wet(), partWay);
}

}  // namespace
