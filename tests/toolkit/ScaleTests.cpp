// Frames at a scale: device pixels in, layout pixels for the views, renditions for the skins.
#include <cmath>
#include <cstdlib>
#include <memory>

#include "ToolkitFixture.h"
#include "toolkit/frame/SystemScale.h"

namespace {

constexpr double kScales[] = {1.0, 1.25, 1.5, 2.0, 3.0};

TEST(ScaleGeometry, DevicePixelsMapBackToTheLayoutPixelTheyLieIn) {
    EXPECT_EQ(clampScale(std::nan("")), 1.0);
    EXPECT_EQ(clampScale(0.5), 1.0);
    EXPECT_EQ(clampScale(4.0), 3.0);
    EXPECT_EQ(deviceRect(CRect(0, 0, 620, 432), 1.1), CRect(0, 0, 682, 476));  // no stray pixel
    EXPECT_EQ(deviceRect(CRect(387, 40, 420, 57), 1.5), CRect(580, 60, 630, 86));
    EXPECT_EQ(layoutRect(CRect(580, 60, 630, 86), 1.5), CRect(386, 40, 420, 58));
    for (double s : kScales) {
        for (int x = 0; x < 620; ++x) {
            // Pixels wholly inside layout pixel x, and those shared with a neighbour.
            double left = x * s, right = (x + 1) * s;
            for (int d = int(std::floor(left)); d < int(std::ceil(right)); ++d) {
                int back = layoutPoint({d, 0}, s).x;
                if (d >= left && d + 1 <= right)
                    ASSERT_EQ(back, x) << s << " " << d;
                else
                    ASSERT_TRUE(back == x || back == x - 1 || back == x + 1) << s << " " << d;
            }
        }
    }
}

TEST(ScaleGeometry, SystemSettingsAreReadAsFactors) {
    EXPECT_EQ(scaleFromXResources("Xcursor.size:\t24\nXft.dpi:\t192\nXft.hinting:\t1\n"), 2.0);
    EXPECT_EQ(scaleFromXResources("Xft.dpi: 144"), 1.5);
    EXPECT_EQ(scaleFromXResources("Xft.dpi:\t960\n"), 3.0);
    EXPECT_EQ(scaleFromXResources("Xft.dpi:\t72\n"), 1.0);
    EXPECT_FALSE(scaleFromXResources("Xft.antialias:\t1\n"));
    EXPECT_FALSE(scaleFromXResources("Xft.dpi:\tlots\n"));
    EXPECT_FALSE(scaleFromXResources(nullptr));
    EXPECT_EQ(scaleFromText("1.5"), 1.5);
    EXPECT_EQ(scaleFromText("2\n"), 2.0);
    EXPECT_EQ(scaleFromText("5"), 3.0);
    for (const char* junk : {"", "abc", "2x", "nan", "inf", "0", "-1"}) EXPECT_FALSE(scaleFromText(junk)) << junk;
}

// The editor's layout in a frame whose picture and input are in device pixels.
struct ScaledFrameTest : ::testing::Test {
    Recorder rec;
    CFrame* frame = new CFrame(CRect(0, 0, 620, 432), &rec);
    COffscreenFrame* screen = nullptr;
    CAnimKnob* knob = nullptr;
    COnOffButton* solo = nullptr;
    CKickButton* minus = nullptr;

    void SetUp() override {
        frame->setBackground(CBitmap::fromResource(118));
        knob = new CAnimKnob(CRect(367, 84, 403, 120), &rec, 20, 65, 36, CBitmap::fromResource(119));
        solo = new COnOffButton(CRect(387, 40, 420, 57), &rec, 6, CBitmap::fromResource(125));
        minus = new CKickButton(CRect(35, 297, 60, 314), &rec, 741, CBitmap::fromResource(121));
        for (CView* v : {static_cast<CView*>(knob), static_cast<CView*>(solo), static_cast<CView*>(minus)})
            frame->addView(v);
        screen = COffscreenFrame::attach(frame);
    }
    ~ScaledFrameTest() override { delete frame; }

    static CPoint centre(const CRect& r, double s) {
        return {int(std::lround((r.left + r.right) / 2.0 * s)), int(std::lround((r.top + r.bottom) / 2.0 * s))};
    }
};

TEST_F(ScaledFrameTest, ClicksAndDragsAtDeviceCoordinatesDoTheSameAtEveryScale) {
    for (double s : kScales) {
        SCOPED_TRACE(s);
        frame->setScale(s);
        const CBitmap& picture = screen->captureAll();
        ASSERT_EQ(picture.getWidth(), deviceRect(frame->getViewSize(), s).width());
        EXPECT_EQ(picture.getWidth(), int(std::ceil(620 * s - 1e-6)));
        rec.reports.clear();

        solo->setValue(0.0f);
        screen->click(centre(solo->getViewSize(), s));
        ASSERT_EQ(rec.reports.size(), 1u);
        EXPECT_EQ(rec.reports[0].control, solo);
        EXPECT_EQ(rec.reports[0].value, 1.0f);

        // The device pixels just inside and just outside the switch's left edge.
        int inside = int(std::ceil(387 * s)), outside = int(std::floor(387 * s)) - 1;
        screen->click({inside, int(std::lround(48 * s))});
        EXPECT_EQ(solo->getValue(), 0.0f);
        screen->click({outside, int(std::lround(48 * s))});
        EXPECT_EQ(solo->getValue(), 0.0f);
        EXPECT_EQ(rec.reports.size(), 2u);

        rec.reports.clear();
        screen->click(centre(minus->getViewSize(), s));
        ASSERT_EQ(rec.reports.size(), 2u);
        EXPECT_EQ(rec.reports[0].control, minus);
        EXPECT_EQ(rec.reports[0].value, 1.0f);

        // 45 layout pixels right, as the device pixels of this scale: a tenth of the range. Where
        // that is no whole number of device pixels the value may differ by one layout pixel's worth.
        const float step = s == std::floor(s) ? 1e-6f : 1.0f / 450.0f + 1e-6f;
        knob->setValue(0.5f);
        CPoint from = centre(knob->getViewSize(), s);
        screen->drag(from, {from.x + int(std::lround(45 * s)), from.y});
        EXPECT_NEAR(knob->getValue(), 0.6f, step);
        screen->drag(from, {from.x, from.y + int(std::lround(90 * s))});
        EXPECT_NEAR(knob->getValue(), 0.4f, step);
    }
}

TEST_F(ScaledFrameTest, RenditionsAreDecodedOnlyAboveOneTimesAndGoWithTheFrame) {
    screen->captureAll();
    EXPECT_EQ(frame->getRenditions().held(), 0);
    frame->setScale(2.0);
    screen->captureAll();
    EXPECT_EQ(frame->getRenditions().held(), 4);  // background, dial, switch, button
    std::weak_ptr<CBitmap> background = CBitmap::renditionFromResource(118, 2);
    EXPECT_FALSE(background.expired());
    frame->setScale(3.0);
    screen->captureAll();
    EXPECT_TRUE(background.expired());  // the 2x ones went when the factor changed
    std::weak_ptr<CBitmap> large = CBitmap::renditionFromResource(118, 3);
    EXPECT_FALSE(large.expired());
    delete frame;
    frame = nullptr;
    EXPECT_TRUE(large.expired());
}

// A plain patch of colour.
struct Patch : CView {
    CColor colour;
    Patch(const CRect& r, CColor c) : CView(r), colour(c) {}
    void draw(CDrawContext* context) override {
        context->setFillColor(colour);
        context->fillRect(size);
        setDirty(false);
    }
};

TEST_F(ScaledFrameTest, PartialRepaintsAtFractionalScalesLeaveTheWholePictureAsAFullOne) {
    // Two patches side by side: at these scales they share a column of device pixels, and
    // repainting the right one must not lose the left one's share of it.
    auto* left = new Patch(CRect(100, 200, 121, 220), {220, 0, 0, 255});
    auto* right = new Patch(CRect(121, 200, 140, 220), {0, 200, 0, 255});
    frame->addView(left);
    frame->addView(right);
    for (double s : {1.25, 1.5, 2.5}) {
        SCOPED_TRACE(s);
        frame->setScale(s);
        screen->captureAll();
        right->colour = {0, 0, 240, 255};
        right->invalid();
        knob->setValue(0.8f);
        knob->invalid();
        CBitmap partial = screen->capture();
        const CBitmap& full = screen->captureAll();
        // Filtering may round a level differently with another clip; a lost share of a pixel
        // differs by far more.
        int largest = 0;
        for (int y = 0; y < full.getHeight(); ++y)
            for (int x = 0; x < full.getWidth(); ++x)
                for (int shift = 0; shift < 32; shift += 8)
                    largest = std::max(largest, std::abs(int((partial.pixel(x, y) >> shift) & 255) -
                                                         int((full.pixel(x, y) >> shift) & 255)));
        EXPECT_LE(largest, 2);
        right->colour = {0, 200, 0, 255};
        knob->setValue(0.1f);
    }
}

TEST(ScaledDrawing, FilmStripFramesDoNotBleedIntoEachOtherAtAnyScale) {
    auto strip = OffscreenTest::strip(36, 36, 65);
    for (double s : {1.25, 1.5, 2.0, 2.5, 3.0}) {
        CBitmap target(200, 200);
        auto context = createBitmapContext(target, s);
        context->drawBitmap(*strip, CRect(10, 10, 46, 46), {0, 36 * 10});
        context.reset();
        CRect device = deviceRect(CRect(10, 10, 46, 46), s);
        // All but the edge pixels, which the destination covers only partly.
        for (int y = device.top + 1; y < device.bottom - 1; ++y)
            for (int x = device.left + 1; x < device.right - 1; ++x)
                ASSERT_EQ(target.color(x, y), (CColor{10, 10, 10, 255})) << s << " " << x << "," << y;
    }
}

TEST(ScaledDrawing, APictureCachedAtTheScaleIsDrawnBackPixelForPixel) {
    CBitmap cache(30, 30);  // 20 x 20 layout pixels at 1.5
    cache.setDensity(1.5);
    for (int i = 0; i < 900; ++i)
        cache.pixels()[i] = premultiply({std::uint8_t(i * 7), std::uint8_t(i / 30 * 8), std::uint8_t(i % 30 * 8), 255});
    CBitmap target(40, 40);
    auto context = createBitmapContext(target, 1.5);
    context->drawBitmap(cache, CRect(2, 2, 22, 22));
    context.reset();
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) ASSERT_EQ(target.pixel(3 + x, 3 + y), cache.pixel(x, y)) << x << "," << y;
}

TEST(ScaledDrawing, TextIsLaidOutAlikeAtEveryScale) {
    for (const char* text : {"display  X: pan    Y: spectra", "everything - not gain", "Many Monks", "60"}) {
        int widths[2] = {};
        for (bool bold : {false, true}) {
            CBitmap one(10, 10);
            auto reference = createBitmapContext(one);
            reference->setFont({"Arial", bold ? 10 : 11, bold});
            widths[bold] = reference->getStringWidth(text);
            for (double s : kScales) {
                CBitmap target(10, 10);
                auto context = createBitmapContext(target, s);
                context->setFont({"Arial", bold ? 10 : 11, bold});
                EXPECT_EQ(context->getStringWidth(text), widths[bold]) << text << " at " << s;
            }
        }
    }
}

TEST(ScaledDrawing, LinesAndTextAreDrawnAtDeviceResolution) {
    // A one-pixel line at 3x covers three device pixels fully, not one pixel smeared over three.
    CBitmap target(60, 60);
    target.fill(kBlackCColor);
    auto context = createBitmapContext(target, 3.0);
    context->setFrameColor(kWhiteCColor);
    context->drawLine({2, 5}, {15, 5});
    context->setFontColor(kWhiteCColor);
    context->setFont({"Arial", 11, false});
    context->drawString("W", CRect(0, 8, 20, 20), kLeftText);
    context.reset();
    for (int y = 15; y < 18; ++y) EXPECT_EQ(target.color(20, y), kWhiteCColor) << y;
    EXPECT_EQ(target.color(20, 14), kBlackCColor);
    EXPECT_EQ(target.color(20, 18), kBlackCColor);
    // The glyph has fully lit device pixels, as only text drawn at that size has.
    int lit = 0;
    for (int y = 24; y < 60; ++y)
        for (int x = 0; x < 60; ++x) lit += target.color(x, y).red == 255;
    EXPECT_GT(lit, 40);
}

}  // namespace
