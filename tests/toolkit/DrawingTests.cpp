// The Cairo backend, bitmaps and fonts.
#include <gtest/gtest.h>

#include <cstdlib>

#include "resources/ResourceTable.h"
#include "toolkit/CDrawContext.h"

namespace {

TEST(Bitmap, PngRoundTripKeepsStraightColoursAndPremultipliesInMemory) {
    CBitmap image(3, 2);
    image.pixels()[0] = premultiply({255, 0, 0, 255});
    image.pixels()[1] = premultiply({0, 255, 0, 128});
    image.pixels()[2] = 0;
    auto bytes = image.encodePng();
    ASSERT_FALSE(bytes.empty());
    auto back = CBitmap::fromPng(bytes.data(), bytes.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->getWidth(), 3);
    EXPECT_EQ(back->getHeight(), 2);
    EXPECT_EQ(back->pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(back->pixel(1, 0), 0x80008000u);  // premultiplied: 255 * 128 / 255
    EXPECT_EQ(back->color(1, 0), (CColor{0, 255, 0, 128}));
    EXPECT_EQ(back->pixel(2, 0), 0u);
    const unsigned char junk[] = {1, 2, 3, 4};
    EXPECT_FALSE(CBitmap::fromPng(junk, sizeof junk));
    EXPECT_FALSE(CBitmap::fromResource(99999));
}

TEST(Drawing, BitmapsDrawFromASourceOffsetAtAGivenOpacity) {
    CBitmap strip(2, 4);  // two frames of 2 x 2
    for (int i = 0; i < 4; ++i) strip.pixels()[i] = premultiply({200, 0, 0, 255});
    for (int i = 4; i < 8; ++i) strip.pixels()[i] = premultiply({0, 0, 200, 255});
    CBitmap target(10, 10);
    target.fill({0, 0, 0, 255});
    auto context = createBitmapContext(target);
    context->drawBitmap(strip, CRect(1, 1, 3, 3), {0, 2});
    context->drawBitmap(strip, CRect(5, 5, 7, 7), {0, 0}, 128);
    context.reset();
    EXPECT_EQ(target.color(1, 1), (CColor{0, 0, 200, 255}));
    EXPECT_EQ(target.color(3, 3), (CColor{0, 0, 0, 255}));  // outside the destination
    EXPECT_NEAR(target.color(6, 6).red, 100, 1);
}

TEST(Drawing, ClipLimitsFillsAndGlobalAlphaScalesThem) {
    CBitmap target(10, 10);
    auto context = createBitmapContext(target);
    context->setClipRect(CRect(0, 0, 5, 10));
    context->setFillColor({255, 255, 255, 255});
    context->fillRect(CRect(0, 0, 10, 10));
    context->resetClipRect();
    context->setGlobalAlpha(0.5f);
    context->setFillColor({0, 0, 255, 255});
    context->fillRect(CRect(8, 0, 10, 1));
    context.reset();
    EXPECT_EQ(target.pixel(4, 4), 0xFFFFFFFFu);
    EXPECT_EQ(target.pixel(5, 4), 0u);
    EXPECT_NEAR(target.pixel(9, 0) >> 24, 128, 1);
}

TEST(Drawing, TextUsesTheLinkedFaceWithArialMetrics) {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    ASSERT_TRUE(findResource(kResourceFontRegular, "TTF", &data, &size));
    ASSERT_TRUE(findResource(kResourceFontBold, "TTF", &data, &size));
    EXPECT_GT(size, 100000u);

    CBitmap target(200, 20);
    auto context = createBitmapContext(target);
    context->setFont({"Arial", 11, false});
    int regular = context->getStringWidth("Population");
    context->setFont({"Arial", 10, true});
    int bold = context->getStringWidth("Population");
    // Arial's advance widths, each rounded to whole pixels: 7+6+6+6+2+6+3+2+6+6 and
    // 7+6+6+6+3+6+3+3+6+6.
    EXPECT_NEAR(regular, 50, 1);
    EXPECT_NEAR(bold, 52, 1);
    EXPECT_EQ(context->getStringWidth(""), 0);

    context->setFontColor({194, 224, 226, 255});
    context->drawString("Population", CRect(0, 0, 200, 20), kLeftText);
    // Bytes that are not UTF-8 still draw, and drawing goes on working afterwards.
    context->drawString("\xE9t\xE9", CRect(100, 0, 200, 20), kLeftText);
    context->setFillColor({255, 0, 0, 255});
    context->fillRect(CRect(199, 19, 200, 20));
    context.reset();
    int inked = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 100; ++x) inked += target.pixel(x, y) != 0;
    EXPECT_GT(inked, 60);
    for (int y = 0; y < 20; ++y) EXPECT_EQ(target.pixel(regular + 2, y), 0u);  // nothing past the advance
    EXPECT_EQ(target.pixel(199, 19), 0xFFFF0000u);
}

}  // namespace
