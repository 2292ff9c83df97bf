// The X11 frame in a real window of a private X server, driven with synthetic input.
#include <dirent.h>
#include <gtest/gtest.h>
#include <malloc.h>

#include <chrono>
#include <functional>
#include <thread>

#include "ToolkitFixture.h"
#include "XvfbServer.h"
#include "toolkit/frame/X11Frame.h"

// Last: Xlib's macros clash with names in the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

int openFileCount() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

struct X11FrameTest : ::testing::Test {
    static inline XvfbServer* server = nullptr;
    static void SetUpTestSuite() {
        server = new XvfbServer;
        if (!server->start()) {
            delete server;
            server = nullptr;
        }
    }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }

    Display* display = nullptr;  // the test's own connection, standing in for the host's
    Window parent = 0;
    Recorder rec;
    static constexpr int kLeft = 30, kTop = 20;

    void SetUp() override {
        if (!server)
            GTEST_SKIP() << "no Xvfb";
        display = XOpenDisplay(server->display.c_str());
        ASSERT_TRUE(display);
        parent = mappedHostWindow(display, kLeft, kTop, 620, 432);
    }
    void TearDown() override {
        if (!display)
            return;
        XDestroyWindow(display, parent);
        XCloseDisplay(display);
    }

    // The frame the tests open: the skin background, a switch and a menu.
    CFrame* makeFrame(CEditorHooks* hooks) {
        auto* frame = new CFrame(CRect(0, 0, 620, 432), hooks);
        frame->setBackground(CBitmap::fromResource(118));
        frame->addView(new COnOffButton(CRect(387, 40, 420, 57), &rec, 6, CBitmap::fromResource(125)));
        auto* menu = new COptionMenu(CRect(20, 369, 168, 384), &rec, 746, COptionMenu::kCheckStyle);
        for (const char* s : {"everything", "-", "pan", "gain"}) menu->addEntry(s);
        menu->setFontColor({194, 224, 226, 255});
        menu->setTransparency(true);
        frame->addView(menu);
        frame->addView(new CTextEdit(CRect(122, 405, 278, 420), &rec, 11, "Name"));
        return frame;
    }

    // Runs the frame's idle until `done` or `ms` milliseconds pass.
    bool idleUntil(CFrame* frame, const std::function<bool()>& done, int ms = 2000) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            XSync(display, False);
            frame->idle();
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    void click(int x, int y) {  // screen coordinates
        XTestFakeMotionEvent(display, 0, x, y, CurrentTime);
        XTestFakeButtonEvent(display, 1, True, CurrentTime);
        XTestFakeButtonEvent(display, 1, False, CurrentTime);
        XSync(display, False);
    }

    std::vector<Window> children() {
        Window root = 0, up = 0, *list = nullptr;
        unsigned int n = 0;
        XQueryTree(display, parent, &root, &up, &list, &n);
        std::vector<Window> out(list, list + n);
        if (list)
            XFree(list);
        return out;
    }
};

TEST_F(X11FrameTest, ChildWindowShowsTheSamePixelsAsTheOffscreenFrame) {
    CFrame* frame = makeFrame(&rec);
    CX11Frame* x11 = CX11Frame::attach(frame, parent);
    ASSERT_TRUE(x11);
    auto kids = children();
    ASSERT_EQ(kids.size(), 1u);
    EXPECT_EQ(kids[0], x11->getWindow());
    XWindowAttributes a{};
    XGetWindowAttributes(display, kids[0], &a);
    EXPECT_EQ(a.width, 620);
    EXPECT_EQ(a.height, 432);
    EXPECT_EQ(a.map_state, IsViewable);

    CFrame* reference = makeFrame(&rec);
    COffscreenFrame* offscreen = COffscreenFrame::attach(reference);
    const CBitmap& expected = offscreen->captureAll();

    idleUntil(
        frame, [] { return false; }, 200);  // let the exposure be answered
    XImage* shown = XGetImage(display, kids[0], 0, 0, 620, 432, AllPlanes, ZPixmap);
    ASSERT_TRUE(shown);
    int differing = 0;
    for (int y = 0; y < 432; ++y)
        for (int x = 0; x < 620; ++x)
            differing += (XGetPixel(shown, x, y) & 0xFFFFFF) != (expected.pixel(x, y) & 0xFFFFFF);
    XDestroyImage(shown);
    EXPECT_EQ(differing, 0);
    delete reference;
    delete frame;
    EXPECT_TRUE(children().empty());
}

TEST_F(X11FrameTest, SyntheticClicksReachControlsAndPopupLists) {
    CFrame* frame = makeFrame(&rec);
    CX11Frame* x11 = CX11Frame::attach(frame, parent);
    ASSERT_TRUE(x11);
    auto* button = static_cast<COnOffButton*>(frame->getView(0));
    auto* menu = static_cast<COptionMenu*>(frame->getView(1));

    click(kLeft + 400, kTop + 48);
    ASSERT_TRUE(idleUntil(frame, [&] { return button->getValue() == 1.0f; }));
    ASSERT_EQ(rec.reports.size(), 1u);
    // The pressed frame is on screen.
    idleUntil(
        frame, [] { return false; }, 200);
    XImage* shown = XGetImage(display, x11->getWindow(), 387, 40, 33, 17, AllPlanes, ZPixmap);
    auto bitmap = CBitmap::fromResource(125);
    int matching = 0;
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 33; ++x)
            matching += (XGetPixel(shown, x, y) & 0xFFFFFF) == (bitmap->pixel(x, 17 + y) & 0xFFFFFF);
    XDestroyImage(shown);
    EXPECT_GT(matching, 33 * 17 * 9 / 10);

    // The menu's list opens below it; a click on its third row (after the separator) picks "pan".
    click(kLeft + 30, kTop + 375);
    ASSERT_TRUE(idleUntil(frame, [&] { return x11->getPopupWindow(0) != 0; }));
    XWindowAttributes a{};
    XGetWindowAttributes(display, x11->getPopupWindow(0), &a);
    EXPECT_EQ(a.x, kLeft + 20);
    EXPECT_EQ(a.y, kTop + 384);
    int rowY = a.y + 2 + CPopupList::kRowHeight + CPopupList::kSeparatorHeight + 5;
    click(a.x + 20, rowY);
    ASSERT_TRUE(idleUntil(frame, [&] { return rec.reports.size() == 2; }));
    EXPECT_EQ(rec.reports[1].control, menu);
    EXPECT_EQ(menu->getCurrentIndex(), 2);
    EXPECT_FLOAT_EQ(menu->getValue(), 0.5f);
    EXPECT_EQ(x11->getPopupWindow(0), 0u);

    // A click outside the list closes it without a pick.
    click(kLeft + 30, kTop + 375);
    ASSERT_TRUE(idleUntil(frame, [&] { return x11->getPopupWindow(0) != 0; }));
    click(kLeft + 600, kTop + 10);
    ASSERT_TRUE(idleUntil(frame, [&] { return x11->getPopupWindow(0) == 0; }));
    EXPECT_EQ(rec.reports.size(), 2u);
    EXPECT_FALSE(menu->isPopupOpen());
    delete frame;
}

TEST_F(X11FrameTest, SubmenusOpenOnHoverAndReportTheirOwnPick) {
    CFrame* frame = makeFrame(&rec);
    auto* sub = new COptionMenu(CRect(11, 404, 76, 421), &rec, 8,
                                COptionMenu::kNoDrawStyle | COptionMenu::kPopupTopLeft);
    for (const char* s : {"Alpha", "Beta", "Gamma"}) sub->addEntry(s);
    auto* action = new COptionMenu(CRect(11, 404, 76, 421), &rec, 7,
                                   COptionMenu::kNoDrawStyle | COptionMenu::kPopupTopLeft);
    for (const char* s : {"Load preset", "Save preset", "Reset current", "-"}) action->addEntry(s);
    action->addEntry(sub, "Presets");
    frame->addView(sub);
    frame->addView(action);
    CX11Frame* x11 = CX11Frame::attach(frame, parent);
    ASSERT_TRUE(x11);
    click(kLeft + 30, kTop + 410);
    ASSERT_TRUE(idleUntil(frame, [&] { return x11->getPopupWindow(0) != 0; }));
    XWindowAttributes a{};
    XGetWindowAttributes(display, x11->getPopupWindow(0), &a);
    EXPECT_EQ(a.x, kLeft + 11);  // at the top-left corner of the control
    EXPECT_EQ(a.y, kTop + 404);
    // Hovering the fifth row (after three rows and a separator) opens the submenu beside it.
    int presetsRow = a.y + 2 + 3 * CPopupList::kRowHeight + CPopupList::kSeparatorHeight + 5;
    XTestFakeMotionEvent(display, 0, a.x + 20, presetsRow, CurrentTime);
    XSync(display, False);
    ASSERT_TRUE(idleUntil(frame, [&] { return x11->getPopupWindow(1) != 0; }));
    XWindowAttributes b{};
    XGetWindowAttributes(display, x11->getPopupWindow(1), &b);
    EXPECT_EQ(b.x, a.x + a.width - 2);
    click(b.x + 20, b.y + 2 + CPopupList::kRowHeight + 5);  // "Beta"
    ASSERT_TRUE(idleUntil(frame, [&] { return !rec.reports.empty(); }));
    ASSERT_EQ(rec.reports.size(), 1u);
    EXPECT_EQ(rec.reports[0].control, sub);
    EXPECT_FLOAT_EQ(rec.reports[0].value, 1.0f / 3.0f);
    EXPECT_EQ(x11->getPopupWindow(0), 0u);
    EXPECT_EQ(x11->getPopupWindow(1), 0u);
    EXPECT_FALSE(action->isPopupOpen());
    delete frame;
}

TEST_F(X11FrameTest, TextEditTakesTypedKeys) {
    CFrame* frame = makeFrame(&rec);
    ASSERT_TRUE(CX11Frame::attach(frame, parent));
    auto* edit = static_cast<CTextEdit*>(frame->getView(2));
    click(kLeft + 200, kTop + 412);
    ASSERT_TRUE(idleUntil(frame, [&] { return edit->isEditingText(); }));
    for (KeySym k : {XK_BackSpace, XK_BackSpace, XK_BackSpace, XK_BackSpace, XK_x, XK_y, XK_Return}) {
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, k), True, CurrentTime);
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, k), False, CurrentTime);
    }
    XSync(display, False);
    ASSERT_TRUE(idleUntil(frame, [&] { return !edit->isEditingText(); }));
    EXPECT_EQ(edit->getText(), "xy");
    ASSERT_EQ(rec.reports.size(), 1u);
    delete frame;
}

TEST_F(X11FrameTest, OpeningAndClosingAHundredTimesLeavesNothingBehind) {
    // The first round loads fonts and libraries that stay; count from after it.
    delete makeFrame(&rec);
    {
        CFrame* frame = makeFrame(&rec);
        ASSERT_TRUE(CX11Frame::attach(frame, parent));
        delete frame;
    }
    int files = openFileCount();
    std::size_t heap = mallinfo2().uordblks;
    for (int i = 0; i < 100; ++i) {
        CFrame* frame = makeFrame(&rec);
        ASSERT_TRUE(CX11Frame::attach(frame, parent));
        frame->idle();
        delete frame;
    }
    EXPECT_EQ(openFileCount(), files);
    // Each round allocates a back buffer of a megabyte; what stays behind is far less than one.
    std::size_t grown = mallinfo2().uordblks - std::min(heap, mallinfo2().uordblks);
    EXPECT_LT(grown, 256u * 1024u) << grown;
    XSync(display, False);
    EXPECT_TRUE(children().empty());
    // The server holds no connection of ours beyond the test's own.
    int clients = 0;
    Window root = 0, up = 0, *list = nullptr;
    unsigned int n = 0;
    XQueryTree(display, DefaultRootWindow(display), &root, &up, &list, &n);
    clients = int(n);
    if (list)
        XFree(list);
    EXPECT_EQ(clients, 1);  // only the test's parent window
}

TEST_F(X11FrameTest, WithoutAParentWindowNothingOpens) {
    CFrame* frame = makeFrame(&rec);
    EXPECT_EQ(CX11Frame::attach(frame, 0), nullptr);
    // An id that is no window: the failed requests neither end the process nor open anything.
    EXPECT_EQ(CX11Frame::attach(frame, parent + 0x12345), nullptr);
    EXPECT_EQ(frame->getPlatform(), nullptr);
    delete frame;
}

// Toolkits often give a plug-in a parent of another visual than the screen's (a 32-bit one with
// alpha): the editor's window must open inside it all the same.
TEST_F(X11FrameTest, OpensInAParentOfAnotherVisual) {
    XVisualInfo info{};
    if (!XMatchVisualInfo(display, DefaultScreen(display), 32, TrueColor, &info))
        GTEST_SKIP() << "no 32-bit visual on this server";
    XSetWindowAttributes attributes{};
    attributes.colormap = XCreateColormap(display, DefaultRootWindow(display), info.visual, AllocNone);
    attributes.border_pixel = 0;
    const Window argb = XCreateWindow(display, parent, 0, 0, 620, 432, 0, 32, InputOutput, info.visual,
                                      CWColormap | CWBorderPixel, &attributes);
    XMapWindow(display, argb);
    XSync(display, False);
    CFrame* frame = makeFrame(&rec);
    ASSERT_NE(CX11Frame::attach(frame, argb), nullptr);
    auto* platform = static_cast<CX11Frame*>(frame->getPlatform());
    XWindowAttributes shown{};
    ASSERT_TRUE(XGetWindowAttributes(display, platform->getWindow(), &shown));
    EXPECT_EQ(shown.width, 620);
    delete frame;
    XDestroyWindow(display, argb);
    XFreeColormap(display, attributes.colormap);
}

TEST_F(X11FrameTest, HostDestroyingItsWindowFirstIsSurvived) {
    CFrame* frame = makeFrame(&rec);
    ASSERT_TRUE(CX11Frame::attach(frame, parent));
    XDestroyWindow(display, parent);
    XSync(display, False);
    parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 10, 10, 0, 0, 0);
    // Drawing into and closing the vanished window must not reach Xlib's default error
    // handler, which would end this process.
    frame->invalidRect(frame->getViewSize());
    frame->idle();
    static_cast<COnOffButton*>(frame->getView(0))->setDirty();
    frame->idle();
    delete frame;
    // Errors on the host's own connection still reach the host's handler.
    static int hostErrors = 0;
    XErrorHandler before = XSetErrorHandler([](Display*, XErrorEvent*) { return ++hostErrors, 0; });
    XMapWindow(display, parent + 0x12345);
    XSync(display, False);
    XSetErrorHandler(before);
    EXPECT_EQ(hostErrors, 1);
}

TEST_F(X11FrameTest, AtTwiceTheScaleThePopupListIsTwiceAsLargeAndPicksByDevicePixels) {
    XResizeWindow(display, parent, 1240, 864);
    CFrame* frame = makeFrame(&rec);
    auto* menu = new COptionMenu(CRect(20, 100, 168, 115), &rec, 748, COptionMenu::kCheckStyle);
    for (const char* s : {"everything", "-", "pan", "gain"}) menu->addEntry(s);
    frame->addView(menu);
    frame->setScale(2.0);
    CX11Frame* x11 = CX11Frame::attach(frame, parent);
    ASSERT_TRUE(x11);
    XWindowAttributes w{};
    XGetWindowAttributes(display, x11->getWindow(), &w);
    EXPECT_EQ(w.width, 1240);
    EXPECT_EQ(w.height, 864);
    click(kLeft + 60, kTop + 214);  // inside the menu, in device pixels
    ASSERT_TRUE(idleUntil(frame, [&] { return x11->getPopupWindow(0) != 0; }));
    XWindowAttributes a{};
    XGetWindowAttributes(display, x11->getPopupWindow(0), &a);
    EXPECT_EQ(a.x, kLeft + 40);
    EXPECT_EQ(a.y, kTop + 230);
    // As tall as the 1x list twice over: borders, three rows and a separator.
    EXPECT_EQ(a.height, 2 * (4 + 3 * CPopupList::kRowHeight + CPopupList::kSeparatorHeight));
    // The third row ("pan"), in the device pixels of the list.
    int rowY = a.y + 2 * (2 + CPopupList::kRowHeight + CPopupList::kSeparatorHeight + 5);
    click(a.x + 40, rowY);
    ASSERT_TRUE(idleUntil(frame, [&] { return !rec.reports.empty(); }));
    EXPECT_EQ(rec.reports.back().control, menu);
    EXPECT_EQ(menu->getCurrentIndex(), 2);
    delete frame;
}

}  // namespace
