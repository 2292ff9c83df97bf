// The control side's inbox on its own: which marked values reach the applied program, and when.
#include <gtest/gtest.h>

#include <memory>

#include "engine/ControlInbox.h"

namespace {

constexpr int kIndex = 2;  // any stored global value

struct Inbox {
    std::unique_ptr<Program> initial = std::make_unique<Program>();
    std::unique_ptr<ControlInbox> inbox = std::make_unique<ControlInbox>(*initial);
};

TEST(ControlInbox, AMarkForThePlayingProgramIsTakenOnce) {
    Inbox box;
    ControlInbox& inbox = *box.inbox;
    EXPECT_FALSE(inbox.takeAnyMarked());
    inbox.mark(kIndex, inbox.serial(), 0, 0.75f);
    EXPECT_TRUE(inbox.pending(kIndex));
    EXPECT_TRUE(inbox.takeAnyMarked());
    EXPECT_FALSE(inbox.takeAnyMarked());  // the flag is spent; the mark itself stays
    EXPECT_TRUE(inbox.take(kIndex));
    EXPECT_EQ(inbox.applied().value(kIndex), 0.75f);
    EXPECT_FALSE(inbox.pending(kIndex));
    EXPECT_FALSE(inbox.take(kIndex));
}

TEST(ControlInbox, AMarkForAnotherProgramIsDropped) {
    Inbox box;
    ControlInbox& inbox = *box.inbox;
    const float before = inbox.applied().value(kIndex);
    inbox.mark(kIndex, inbox.serial(), 3, 0.5f);
    EXPECT_FALSE(inbox.take(kIndex));
    EXPECT_FALSE(inbox.pending(kIndex));
    EXPECT_EQ(inbox.applied().value(kIndex), before);
}

TEST(ControlInbox, AMarkAfterAStagingWaitsForTheStagedCopy) {
    Inbox box;
    ControlInbox& inbox = *box.inbox;
    inbox.mark(kIndex, inbox.serial(), 0, 0.1f);
    auto staged = std::make_unique<Program>();
    staged->value(kIndex) = 0.2f;
    const std::uint32_t serial = inbox.beginStaging();
    EXPECT_FALSE(inbox.pending(kIndex));  // in the copy, or of another program
    inbox.publish(*staged, 5, serial);
    inbox.mark(kIndex, serial, 5, 0.3f);  // stored into the staged program after staging it

    // Not yet taken: the value waits, marked again, instead of landing in the old program.
    EXPECT_FALSE(inbox.take(kIndex));
    EXPECT_TRUE(inbox.pending(kIndex));
    EXPECT_TRUE(inbox.takeAnyMarked());

    ASSERT_TRUE(inbox.takeStaged());
    EXPECT_EQ(inbox.applied().value(kIndex), 0.2f);
    EXPECT_TRUE(inbox.take(kIndex));
    EXPECT_EQ(inbox.applied().value(kIndex), 0.3f);
    EXPECT_FALSE(inbox.takeStaged());  // nothing newer
}

TEST(ControlInbox, FoldingTakesEveryMarkOfTheAppliedProgram) {
    Inbox box;
    ControlInbox& inbox = *box.inbox;
    inbox.mark(0, inbox.serial(), 0, 0.25f);
    inbox.mark(kIndex, inbox.serial(), 0, 0.5f);
    inbox.mark(kIndex + 1, inbox.serial(), 1, 0.9f);
    inbox.foldIntoApplied();
    EXPECT_EQ(inbox.applied().value(0), 0.25f);
    EXPECT_EQ(inbox.applied().value(kIndex), 0.5f);
    EXPECT_NE(inbox.applied().value(kIndex + 1), 0.9f);
    for (int index : {0, kIndex, kIndex + 1}) {
        EXPECT_FALSE(inbox.pending(index)) << index;
    }
}

}  // namespace
