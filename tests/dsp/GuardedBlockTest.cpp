#include <gtest/gtest.h>

#include <cstdint>

#include "engine/GuardedBlock.h"
#include "platform/testing/RecordingMessageService.h"

namespace {

// Overwrites the first byte after a block's usable samples, as an over-run would.
void overrun(GuardedBlock& block) {
    reinterpret_cast<unsigned char*>(block.data() + block.samples())[0] = 0;
}

void repair(GuardedBlock& block) {
    reinterpret_cast<unsigned char*>(block.data() + block.samples())[0] = 'O';
}

}  // namespace

TEST(GuardedBlock, AlignedAndRegistered) {
    const std::size_t before = BlockRegistry::entryCount();
    {
        GuardedBlock a("first", 7);
        GuardedBlock b("second", 1);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(a.data()) % 16, 0u);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b.data()) % 16, 0u);
        EXPECT_EQ(BlockRegistry::entryCount(), before + 2);
        a.allocate("first", 9);  // replaced, not added
        EXPECT_EQ(BlockRegistry::entryCount(), before + 2);
    }
    EXPECT_EQ(BlockRegistry::entryCount(), before);
}

TEST(GuardedBlock, OverrunIsReportedAtTheNextReleaseAnywhere) {
    platform::RecordingMessageService messages;
    GuardedBlock victim("victim", 5);
    overrun(victim);
    { GuardedBlock bystander("bystander", 3); }
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "victim");
    EXPECT_EQ(messages.messages[0].caption, "Memory block over run!");

    // Once per broken block: later releases, its own included, say nothing more.
    GuardedBlock other("other", 3);
    other.release();
    victim.release();
    GuardedBlock after("after", 3);
    after.release();
    EXPECT_EQ(messages.messages.size(), 1u);
    EXPECT_TRUE(messages.exitCodes.empty());
}

TEST(GuardedBlock, OnlyTheFirstBrokenBlockInRegistryOrderIsReported) {
    platform::RecordingMessageService messages;
    GuardedBlock older("older", 4);
    GuardedBlock newer("newer", 4);
    overrun(newer);
    overrun(older);
    { GuardedBlock probe("probe", 1); }
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "older");
    // The next release reports the next broken block, in registry order.
    { GuardedBlock probe("probe", 1); }
    ASSERT_EQ(messages.messages.size(), 2u);
    EXPECT_EQ(messages.messages[1].text, "newer");
    repair(older);
    repair(newer);
}
