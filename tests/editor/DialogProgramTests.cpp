// Dialog programs run beside the host: started, polled and ended without waiting for them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/Desktop.h"
#include "platform/linux/Spawn.h"

namespace {

using Clock = std::chrono::steady_clock;
using platform::DialogAnswer;

DialogAnswer waitForEnd(platform::Dialog& dialog) {
    const auto limit = Clock::now() + std::chrono::seconds(10);
    DialogAnswer answer = dialog.poll();
    while (answer.status == DialogAnswer::kRunning && Clock::now() < limit) {
        usleep(5000);
        answer = dialog.poll();
    }
    return answer;
}

TEST(DialogProgram, IsPolledWhileItRunsAndAnswersWhatItPrints) {
    const auto start = Clock::now();
    auto dialog = platform::startDialogProgram({"/bin/sh", "-c", "sleep 0.3; printf '/tmp/a b.fxp\\n'"});
    EXPECT_EQ(dialog->poll().status, DialogAnswer::kRunning);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(200));
    const DialogAnswer answer = waitForEnd(*dialog);
    EXPECT_EQ(answer.status, DialogAnswer::kAccepted);
    EXPECT_EQ(answer.path, "/tmp/a b.fxp");
    // The answer stays once given.
    EXPECT_EQ(dialog->poll().path, "/tmp/a b.fxp");
}

TEST(DialogProgram, ANonZeroExitIsACancelAndAMissingProgramIsReported) {
    auto cancelled = platform::startDialogProgram({"/bin/sh", "-c", "echo /tmp/x; exit 1"});
    EXPECT_EQ(waitForEnd(*cancelled).status, DialogAnswer::kCancelled);
    auto missing = platform::startDialogProgram({"/nonexistent/zb-dialog"});
    const DialogAnswer answer = waitForEnd(*missing);
    EXPECT_EQ(answer.status, DialogAnswer::kUnavailable);
    EXPECT_FALSE(answer.problem.empty());
}

TEST(DialogProgram, ADialogStillShowingIsEndedWithItsHandle) {
    auto dialog = platform::startDialogProgram({"/bin/sleep", "30"});
    ASSERT_EQ(dialog->poll().status, DialogAnswer::kRunning);
    const auto start = Clock::now();
    dialog.reset();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
}

TEST(DialogProgram, WithoutADisplayTheServiceSaysSo) {
    const char* display = std::getenv("DISPLAY");
    const std::string saved = display ? display : "";
    unsetenv("DISPLAY");
    auto dialog = platform::systemDesktopService().startFileDialog({false, "t", "VST FXP", "FXP"});
    const DialogAnswer answer = dialog->poll();
    if (display)
        setenv("DISPLAY", saved.c_str(), 1);
    EXPECT_EQ(answer.status, DialogAnswer::kUnavailable);
    EXPECT_NE(answer.problem.find("display"), std::string::npos) << answer.problem;
}

}  // namespace
