// Behaviour of the controls on the off-screen frame.
#include <limits>

#include "ToolkitFixture.h"

namespace {

using KnobTest = OffscreenTest;

TEST_F(KnobTest, DragMovesOneRangePer450PixelsAndFourTimesFinerWithTheModifier) {
    auto* knob = new CAnimKnob(CRect(10, 10, 46, 46), &rec, 20, 65, 36, strip(36, 36, 65));
    frame->addView(knob);
    knob->setValue(0.5f);

    // Right 45 px and up 45 px: 90 px of 450 is a fifth of the range.
    screen->mouseDown({20, 20});
    screen->mouseMove({65, -25});
    EXPECT_FLOAT_EQ(knob->getValue(), 0.5f + 90.0f / 450.0f);
    // Down-left undoes it; left alone decreases.
    screen->mouseMove({20, 20});
    EXPECT_FLOAT_EQ(knob->getValue(), 0.5f);
    screen->mouseMove({11, 20});
    EXPECT_FLOAT_EQ(knob->getValue(), 0.5f - 9.0f / 450.0f);
    screen->mouseUp({11, 20});

    knob->setValue(0.5f);
    rec.reports.clear();
    screen->mouseDown({20, 20}, kLButton | kShift);
    screen->mouseMove({200, 20}, kLButton | kShift);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.5f + 180.0f / 1800.0f);
    // Letting go of the modifier continues at full speed from the current value.
    screen->mouseMove({245, 20}, kLButton);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.6f + 45.0f / 450.0f);
    screen->mouseUp({245, 20});
    EXPECT_EQ(rec.reports.size(), 2u);

    // Clamped at both ends, and no report when the value stays put.
    knob->setValue(1.0f);
    rec.reports.clear();
    screen->drag({20, 20}, {100, 20});
    EXPECT_FLOAT_EQ(knob->getValue(), 1.0f);
    EXPECT_TRUE(rec.reports.empty());
    screen->drag({20, 20}, {20, 900});
    EXPECT_FLOAT_EQ(knob->getValue(), 0.0f);
    EXPECT_EQ(rec.reports.size(), 1u);
}

TEST_F(KnobTest, ShowsFrameTruncatedValueTimes64AndAnnouncesTheGesture) {
    auto* knob = new CAnimKnob(CRect(10, 10, 20, 20), &rec, 23, 65, 10, strip(10, 10, 65));
    frame->addView(knob);
    for (float v : {0.0f, 0.5f, 0.999f, 1.0f, 0.0157f}) {
        knob->setValue(v);
        EXPECT_EQ(knob->frameIndex(), int(v * 64.0f));
        const CBitmap& img = screen->captureAll();
        EXPECT_EQ(img.color(15, 15).red, int(v * 64.0f)) << v;
    }
    screen->drag({12, 12}, {30, 12});
    ASSERT_EQ(rec.edits.size(), 2u);
    EXPECT_EQ(rec.edits[0], std::make_pair('b', 23));
    EXPECT_EQ(rec.edits[1], std::make_pair('e', 23));
}

TEST_F(KnobTest, ValuesOutOfRangeShowAnEndFrameAndDragFromThere) {
    auto* knob = new CAnimKnob(CRect(10, 10, 20, 20), &rec, 13, 65, 10, strip(10, 10, 65));
    frame->addView(knob);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        float value;
        int frame;
    } cases[] = {{nan, 0}, {-inf, 0}, {-1e30f, 0}, {inf, 64}, {1e30f, 64}, {1.5f, 64}};
    for (const auto& c : cases) {
        knob->setValue(c.value);
        EXPECT_EQ(knob->frameIndex(), c.frame) << c.value;
        EXPECT_EQ(screen->captureAll().color(15, 15).red, c.frame) << c.value;
    }
    // A drag from NaN starts at the frame shown and reports only numbers in range.
    knob->setValue(nan);
    rec.reports.clear();
    screen->drag({12, 12}, {12 + 45, 12});
    ASSERT_FALSE(rec.reports.empty());
    EXPECT_FLOAT_EQ(rec.reports.back().value, 0.1f);
    knob->setValue(1e30f);
    screen->drag({12, 12}, {12 - 45, 12});
    EXPECT_FLOAT_EQ(rec.reports.back().value, 0.9f);
}

TEST_F(OffscreenTest, MenuValuesOutOfRangeAreIgnored) {
    auto* menu = new COptionMenu(CRect(0, 0, 50, 20), &rec, 0);
    frame->addView(menu);
    for (const char* e : {"a", "b", "c"}) menu->addEntry(e);
    menu->setValue(0.5f);
    for (float v : {std::numeric_limits<float>::quiet_NaN(), 1e30f, -1e-30f, 1.0001f}) menu->setValue(v);
    EXPECT_EQ(menu->getCurrentIndex(), 1);
    menu->setValue(1.0f);
    EXPECT_EQ(menu->getCurrentIndex(), 2);
}

TEST_F(OffscreenTest, KickButtonReportsOnReleaseOnly) {
    auto* kick = new CKickButton(CRect(10, 10, 35, 27), &rec, 742, strip(25, 17, 2));
    frame->addView(kick);

    screen->mouseDown({12, 12});
    EXPECT_TRUE(rec.reports.empty());
    EXPECT_TRUE(kick->isPressed());
    EXPECT_EQ(screen->captureAll().color(20, 20).red, 1);  // pressed frame
    screen->mouseUp({12, 12});
    ASSERT_EQ(rec.reports.size(), 2u);
    EXPECT_EQ(rec.reports[0].value, 1.0f);
    EXPECT_EQ(rec.reports[1].value, 0.0f);
    EXPECT_EQ(kick->getValue(), 0.0f);
    EXPECT_EQ(screen->captureAll().color(20, 20).red, 0);

    // Leaving shows the up frame; releasing outside reports once, with 0.
    rec.reports.clear();
    screen->mouseDown({12, 12});
    screen->mouseMove({100, 80});
    EXPECT_FALSE(kick->isPressed());
    screen->mouseUp({100, 80});
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(rec.reports[0].value, 0.0f);
}

TEST_F(OffscreenTest, InvisibleKickButtonDrawsNothingButTakesClicks) {
    auto background = std::make_shared<CBitmap>(200, 100);
    background->fill({10, 20, 30, 255});
    frame->setBackground(background);
    auto* kick = new CKickButton(CRect(100, 50, 150, 60), &rec, 750);
    frame->addView(kick);
    EXPECT_EQ(screen->captureAll().color(120, 55), (CColor{10, 20, 30, 255}));
    screen->click({149, 59});
    ASSERT_EQ(rec.reports.size(), 2u);
    EXPECT_EQ(rec.reports[0].control, kick);
    screen->click({150, 59});  // right edge is outside
    EXPECT_EQ(rec.reports.size(), 2u);
}

TEST_F(OffscreenTest, OnOffButtonTogglesOncePerClick) {
    auto* button = new COnOffButton(CRect(0, 0, 33, 17), &rec, 6, strip(33, 17, 2));
    frame->addView(button);
    screen->click({5, 5});
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(rec.reports[0].value, 1.0f);
    EXPECT_EQ(screen->captureAll().color(5, 5).red, 1);
    screen->click({5, 5});
    ASSERT_EQ(rec.reports.size(), 2u);
    EXPECT_EQ(rec.reports[1].value, 0.0f);
    // Other buttons than the left one do nothing.
    screen->click({5, 5}, kRButton);
    EXPECT_EQ(rec.reports.size(), 2u);
}

TEST_F(OffscreenTest, TopMostControlTakesThePressAndOverlapsDrawInOrder) {
    auto* below = new COptionMenu(CRect(10, 10, 60, 30), &rec, 8, COptionMenu::kNoDrawStyle);
    auto* above = new COptionMenu(CRect(10, 10, 60, 30), &rec, 7, COptionMenu::kNoDrawStyle);
    below->addEntry("a");
    above->addEntry("Load");
    above->addEntry(below, "Presets");
    frame->addView(below);
    frame->addView(above);
    screen->click({20, 20});
    ASSERT_EQ(screen->popupsOpened().size(), 1u);
    EXPECT_EQ(screen->popupsOpened()[0], above);
    EXPECT_EQ(frame->viewAt({20, 20}), above);
    // Views that do not take the mouse are passed over.
    above->setMouseEnabled(false);
    EXPECT_EQ(frame->viewAt({20, 20}), below);
}

TEST_F(OffscreenTest, OptionMenuMapsValuesToEntriesAndPicksToValues) {
    auto* menu = new COptionMenu(CRect(0, 0, 50, 20), &rec, 746, COptionMenu::kCheckStyle);
    frame->addView(menu);
    for (int i = 0; i < 10; ++i) menu->addEntry(std::to_string(i));

    menu->setValue(0.35f);
    EXPECT_EQ(menu->getCurrentIndex(), 3);
    menu->setValue(1.0f);
    EXPECT_EQ(menu->getCurrentIndex(), 9);  // limited to n - 1
    menu->setValue(1.5f);                   // ignored
    menu->setValue(-0.1f);
    EXPECT_EQ(menu->getCurrentIndex(), 9);
    EXPECT_EQ(menu->getValue(), 1.0f);
    EXPECT_TRUE(rec.reports.empty());  // setting does not report

    screen->setPopupAnswer([&](COptionMenu& m) { return CPopupPick{&m, 4}; });
    screen->click({5, 5});
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(rec.reports[0].value, 4.0f / 10.0f);
    EXPECT_EQ(menu->getCurrentIndex(), 4);
    EXPECT_FALSE(menu->isPopupOpen());
    // A dismissed list changes nothing but still ends the gesture.
    screen->setPopupAnswer([](COptionMenu&) { return std::nullopt; });
    screen->click({5, 5});
    EXPECT_EQ(rec.reports.size(), 1u);
    ASSERT_EQ(rec.edits.size(), 4u);
    EXPECT_EQ(rec.edits[3], std::make_pair('e', 746));

    menu->setEntry(4, "--");
    EXPECT_EQ(menu->getEntry(4), "--");
    menu->removeEntry(9);
    EXPECT_EQ(menu->getNbEntries(), 9);
    EXPECT_EQ(menu->getEntry(8), "8");
}

TEST_F(OffscreenTest, SeparatorsCountAsEntriesAndSubmenusReportThemselves) {
    auto* sub = new COptionMenu(CRect(0, 0, 50, 20), &rec, 8, COptionMenu::kNoDrawStyle);
    auto* menu =
        new COptionMenu(CRect(0, 0, 50, 20), &rec, 7, COptionMenu::kNoDrawStyle | COptionMenu::kPopupTopLeft);
    for (const char* name : {"one", "-", "three", "four"}) sub->addEntry(name);
    for (const char* name : {"Load preset", "Save preset", "Reset current", "-"}) menu->addEntry(name);
    menu->addEntry(sub, "Presets");
    frame->addView(sub);
    frame->addView(menu);

    EXPECT_TRUE(sub->isSeparator(1));
    EXPECT_TRUE(menu->isSeparator(3));
    EXPECT_FALSE(menu->isSeparator(4));
    EXPECT_EQ(menu->getSubMenu(4), sub);
    EXPECT_EQ(menu->popupPosition(), (CPoint{0, 0}));

    // Separators and submenu entries cannot be picked.
    menu->pick(3);
    menu->pick(4);
    sub->pick(1);
    EXPECT_TRUE(rec.reports.empty());

    screen->setPopupAnswer([&](COptionMenu&) { return CPopupPick{sub, 3}; });
    screen->click({5, 5});
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(rec.reports[0].control, sub);
    EXPECT_EQ(rec.reports[0].value, 3.0f / 4.0f);
    EXPECT_EQ(menu->getCurrentIndex(), 0);

    COptionMenu below(CRect(5, 6, 30, 20), nullptr, 0);
    EXPECT_EQ(below.popupPosition(), (CPoint{5, 20}));
}

TEST_F(OffscreenTest, TextEditCommitsOnReturnOrClickElsewhereAndCancelsOnEscape) {
    auto* edit = new CTextEdit(CRect(0, 0, 150, 15), &rec, 11, "Old name");
    frame->addView(edit);
    screen->click({5, 5});
    ASSERT_TRUE(edit->isEditingText());
    for (int i = 0; i < 4; ++i) screen->keyDown({0, kVKeyBack, 0});
    screen->type("tune 1");
    EXPECT_EQ(edit->getText(), "Old name");
    EXPECT_TRUE(rec.reports.empty());
    EXPECT_EQ(screen->keyDown({0, kVKeyReturn, 0}), 1);
    EXPECT_FALSE(edit->isEditingText());
    EXPECT_EQ(edit->getText(), "Old tune 1");
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(rec.reports[0].control, edit);

    screen->click({5, 5});
    screen->keyDown({0, kVKeyHome, 0});
    screen->type("X");
    screen->keyDown({0, kVKeyEscape, 0});
    EXPECT_EQ(edit->getText(), "Old tune 1");
    EXPECT_EQ(rec.reports.size(), 1u);

    // At most 255 characters; a click outside commits.
    screen->click({5, 5});
    screen->type(std::string(300, 'a'));
    EXPECT_EQ(edit->getEditText().size(), CTextEdit::kMaxLength);
    screen->click({190, 90});
    EXPECT_FALSE(edit->isEditingText());
    EXPECT_EQ(edit->getText().size(), 255u);
    EXPECT_EQ(rec.reports.size(), 2u);
    // Keys go nowhere when nothing is being edited.
    EXPECT_EQ(screen->keyDown({'a', 0, 0}), -1);
}

struct TimerTarget : CView {
    int fired = 0;
    TimerTarget() : CView(CRect(0, 0, 1, 1)) {}
    int notify(CView*, const char* message) override {
        if (std::string(message) == kMsgTimer)
            ++fired;
        return 1;
    }
};

TEST_F(OffscreenTest, TimersFireFromIdleWhenDue) {
    auto* target = new TimerTarget;
    frame->addView(target);
    CTimer timer(target, 25);
    timer.start();
    screen->advanceTime(24);
    frame->idle();
    EXPECT_EQ(target->fired, 0);
    screen->advanceTime(1);
    frame->idle();
    EXPECT_EQ(target->fired, 1);
    timer.stop();
    screen->advanceTime(100);
    frame->idle();
    EXPECT_EQ(target->fired, 1);
}

TEST_F(OffscreenTest, DirtyControlsRepaintAtIdle) {
    auto* button = new COnOffButton(CRect(0, 0, 33, 17), &rec, 6, strip(33, 17, 2));
    frame->addView(button);
    EXPECT_EQ(screen->capture().color(5, 5).red, 0);
    button->setValue(1.0f);
    button->setDirty();
    EXPECT_EQ(screen->capture().color(5, 5).red, 0);  // not yet
    frame->idle();
    EXPECT_EQ(screen->capture().color(5, 5).red, 1);
    EXPECT_FALSE(button->isDirty());
}

}  // namespace
