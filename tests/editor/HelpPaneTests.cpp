// The user guide shown in the crowd display's place.
#include <string>

#include "EditorFixture.h"
#include "editor/HelpPane.h"
#include "editor/PanelCrowd.h"
#include "toolkit/frame/OffscreenFrame.h"

namespace {

struct HelpPaneTest : EditorTest {
    COffscreenFrame* screen = nullptr;
    HelpPane* pane = nullptr;

    void openHelp() {
        screen = editor.openOffscreen();
        screen->click({300, 410});  // the help switch
        ASSERT_EQ(editor.crowd()->mode, PanelCrowd::kHelpMode);
        pane = editor.crowd()->helpPane();
    }
    // `lines` CR LF lines; the last counted character is the final carriage return.
    void useText(const std::string& lines) {
        pane->setText(lines.data(), lines.size() - 1);
        screen->captureAll();
    }
    // Pane-local point to screen point.
    static CPoint onScreen(int x, int y) { return {x + 2, y + 2}; }
    void tick() {
        screen->advanceTime(HelpPane::kTimerPeriod);
        editor.frame()->idle();
    }
};

std::string numbered(int count) {
    std::string s = "==========\r\n";
    for (int i = 1; i < count; ++i) s += "line " + std::to_string(i) + "\r\n";
    return s;
}

TEST_F(HelpPaneTest, TheGuideIsLaidOutAtTheFirstDrawAndDrawnOverTheBackground) {
    openHelp();
    EXPECT_FALSE(pane->isLaidOut());
    const CBitmap& picture = screen->captureAll();
    ASSERT_TRUE(pane->isLaidOut());
    EXPECT_GT(pane->lastLine(), 30);
    EXPECT_EQ(pane->line(0).find_first_not_of('='), std::string::npos);
    for (int i = 0; i <= pane->lastLine(); ++i) {
        EXPECT_EQ(pane->line(i).find_first_of("\r\n"), std::string::npos) << i;
        EXPECT_LE(pane->line(i).size(), 79u);
    }
    EXPECT_EQ(pane->line(pane->lastLine()).find("Hold Shift"), std::string::npos);  // wrapped before the end
    // Track, thumb at the top, arrows; no figures.
    EXPECT_EQ(picture.color(2 + 340 - 10, 2 + 100), (CColor{49, 82, 112, 255}));
    EXPECT_EQ(picture.color(2 + 340 - 10, 2 + 52), (CColor{153, 179, 212, 255}));
    auto up = editor.skin(kSkinArrowUp);
    EXPECT_EQ(picture.pixel(2 + 321 + 8, 2 + 20 + 14), up->pixel(8, 14));
}

TEST_F(HelpPaneTest, HeadingsAreUnderlinedAndLinesBreakBetweenWords) {
    openHelp();
    std::string paragraph;
    for (int i = 0; i < 40; ++i) paragraph += "word" + std::to_string(i) + " ";
    paragraph += "end";
    useText("==========\r\nHeading:\r\nPlain heading\r\n#\r\n" + paragraph + "\r\n" +
            numbered(20).substr(12));
    // The underline: from x 6 to the heading's width plus 2, two pixels below the band's top.
    int headingWidth = 0;
    {
        CBitmap scratch(1, 1);
        auto context = createBitmapContext(scratch);
        context->setFont({"Arial", 10, true});
        headingWidth = context->getStringWidth("Plain heading");
    }
    const CBitmap& picture = screen->captureAll();
    int y = 8 + 12 * 3 + 2;
    for (int x = 6; x <= headingWidth + 2; ++x)
        EXPECT_EQ(picture.color(2 + x, 2 + y), (CColor{215, 255, 255, 255})) << x;
    EXPECT_NE(picture.color(2 + headingWidth + 5, 2 + y), (CColor{215, 255, 255, 255}));
    // The paragraph wraps at spaces: lines end with one, and together they are the paragraph.
    std::string joined;
    int end = 4;
    while (end <= pane->lastLine() && pane->line(end).rfind("line ", 0) != 0) ++end;
    EXPECT_GT(end, 5);  // it did wrap
    for (int i = 4; i < end; ++i) {
        if (i + 1 < end) {
            EXPECT_EQ(pane->line(i).back(), ' ') << pane->line(i);
        }
        joined += pane->line(i);
    }
    EXPECT_EQ(joined, paragraph);
    EXPECT_EQ(pane->line(1), "Heading:");
}

TEST_F(HelpPaneTest, ArrowsScrollALineThenRepeatAfterAPauseAndStopAtTheEnds) {
    openHelp();
    useText(numbered(40));  // lines 0..39
    ASSERT_EQ(pane->lastLine(), 39);
    const int M = 12 * (39 - 12);
    // Up at the top does nothing, however long it is held.
    screen->mouseDown(onScreen(330, 30));
    for (int i = 0; i < 20; ++i) tick();
    screen->mouseUp(onScreen(330, 30));
    EXPECT_EQ(pane->scrollOffset(), 0);
    EXPECT_FALSE(pane->timerRunning());

    screen->mouseDown(onScreen(330, 272 - 20));
    EXPECT_EQ(pane->scrollOffset(), 12);
    for (int i = 0; i < 8; ++i) tick();
    EXPECT_EQ(pane->scrollOffset(), 12);  // 200 ms pause
    tick();
    EXPECT_EQ(pane->scrollOffset(), 14);
    for (int i = 0; i < 400; ++i) tick();
    EXPECT_EQ(pane->scrollOffset(), M);
    EXPECT_EQ(pane->thumbPosition(), pane->thumbTravel());
    screen->mouseUp(onScreen(330, 252));
    // The last line sits in the thirteenth row.
    EXPECT_EQ(pane->lastLine() - pane->scrollOffset() / 12, 12);
}

TEST_F(HelpPaneTest, TrackPagesAndSmallOffsetsSnapBackToTheTop) {
    openHelp();
    useText(numbered(100));
    screen->mouseDown(onScreen(330, 200));  // the track below the thumb
    EXPECT_EQ(pane->scrollOffset(), 144);
    for (int i = 0; i < 8; ++i) tick();
    EXPECT_EQ(pane->scrollOffset(), 144);
    tick();
    EXPECT_EQ(pane->scrollOffset(), 288);
    screen->mouseUp(onScreen(330, 200));

    // Back to the top with the thumb; a one-pixel drag moves less than a line and snaps back.
    // Paging stops once the thumb has passed the pointer, and stays stopped at every tick.
    screen->mouseDown(onScreen(330, 49 + pane->thumbPosition() - 5));
    EXPECT_EQ(pane->pressedZone(), HelpPane::kTrack);
    EXPECT_EQ(pane->scrollOffset(), 144);
    for (int i = 0; i < 21; ++i) {
        tick();
        ASSERT_EQ(pane->scrollOffset(), 144) << "tick " << i;
    }
    screen->mouseUp(onScreen(330, 60));
    screen->mouseDown(onScreen(330, 50));
    for (int i = 0; i < 20; ++i) tick();
    screen->mouseUp(onScreen(330, 50));
    ASSERT_EQ(pane->thumbPosition(), 0);
    screen->mouseDown(onScreen(330, 52));
    EXPECT_EQ(pane->pressedZone(), HelpPane::kThumb);
    screen->mouseMove(onScreen(330, 53));
    EXPECT_EQ(pane->scrollOffset(), 0);  // 87 * 1 * 12 / 176 = 5 pixels: snapped
    EXPECT_EQ(pane->thumbPosition(), 0);
    // The snap reset the thumb, so it moves by what the pointer moved since.
    screen->mouseMove(onScreen(330, 53 + 49));
    EXPECT_EQ(pane->thumbPosition(), 49);
    EXPECT_EQ(pane->scrollOffset(), (99 - 12) * 49 * 12 / 176);
    screen->mouseUp(onScreen(330, 102));
}

TEST_F(HelpPaneTest, TrackHeldJustBeyondTheThumbStopsWhereTheThumbReachesThePointer) {
    openHelp();
    useText(numbered(100));
    // Just below the thumb: one page down takes the thumb past the pointer, and there it stays.
    const int below = 56 + pane->thumbPosition() + 3;
    screen->mouseDown(onScreen(330, below));
    EXPECT_EQ(pane->scrollOffset(), 144);
    ASSERT_GT(49 + pane->thumbPosition(), below);
    for (int i = 0; i < 15; ++i) {
        tick();
        ASSERT_EQ(pane->scrollOffset(), 144) << "tick " << i;
    }
    screen->mouseUp(onScreen(330, below));
    // Further down, it pages until the thumb covers the pointer, then stops.
    screen->mouseDown(onScreen(330, 200));
    for (int i = 0; i < 60; ++i) tick();
    const int stopped = pane->scrollOffset();
    EXPECT_LE(200, 56 + pane->thumbPosition());  // the pointer is no longer below the thumb
    tick();
    EXPECT_EQ(pane->scrollOffset(), stopped);
    screen->mouseUp(onScreen(330, 200));
}

TEST_F(HelpPaneTest, WithoutTextTheScrollBarStaysAtTheTop) {
    openHelp();
    pane->setText(nullptr, 0);
    const CBitmap& picture = screen->captureAll();
    EXPECT_FALSE(pane->isLaidOut());
    // The message is drawn in yellow somewhere in the middle.
    int yellow = 0;
    for (int y = 120; y < 160; ++y)
        for (int x = 100; x < 240; ++x) {
            CColor c = picture.color(x, y);
            yellow += c.red > 200 && c.green > 200 && c.blue < 190;
        }
    EXPECT_GT(yellow, 30);
    for (CPoint p : {CPoint{330, 30}, CPoint{330, 250}, CPoint{330, 52}, CPoint{330, 150}}) {
        screen->mouseDown(onScreen(p.x, p.y));
        tick();
        screen->mouseMove(onScreen(p.x, p.y + 40));
        screen->mouseUp(onScreen(p.x, p.y + 40));
        EXPECT_EQ(pane->scrollOffset(), 0);
        EXPECT_EQ(pane->thumbPosition(), 0);
    }
}

}  // namespace

namespace {

TEST_F(HelpPaneTest, AWordWiderThanTheLineIsBrokenAtTheLimit) {
    openHelp();
    useText(std::string(120, '=') + "\r\n" + numbered(20).substr(12));
    // Not one character per line: the run fills whole lines.
    EXPECT_GT(pane->line(0).size(), 30u);
    EXPECT_EQ(pane->line(0).size() + pane->line(1).size() +
                  (pane->line(2).rfind("line", 0) == 0 ? 0 : pane->line(2).size()),
              120u);
}

}  // namespace
