// Every skin image linked into the module, read back through the resource lookup.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "resources/ResourceTable.h"
#include "toolkit/CBitmap.h"

namespace {

struct Skin {
    int number;
    int width;
    int height;
    int frames;  // equal frames stacked vertically
};

const Skin kSkins[] = {
    {118, 620, 432, 1},  {129, 340, 272, 1},  {130, 23, 76, 4},    {131, 36, 36, 1}, {135, 13, 50, 1},
    {136, 15, 76, 1},    {137, 42, 13, 1},    {134, 50, 13, 1},    {145, 17, 29, 1}, {144, 17, 29, 1},
    {119, 36, 2340, 65}, {147, 34, 2210, 65}, {126, 28, 1820, 65}, {120, 25, 34, 2}, {121, 25, 34, 2},
    {127, 72, 34, 2},    {128, 62, 34, 2},    {125, 33, 34, 2},    {123, 23, 32, 2}, {141, 56, 34, 2},
    {6, 17, 34, 2},      {132, 17, 34, 2},    {146, 12, 12, 1},
};

bool framesDiffer(const CBitmap& b, int frameHeight, int a, int c) {
    for (int y = 0; y < frameHeight; ++y)
        for (int x = 0; x < b.getWidth(); ++x)
            if (b.pixel(x, a * frameHeight + y) != b.pixel(x, c * frameHeight + y))
                return true;
    return false;
}

TEST(SkinResources, EveryImageHasItsSizeAndDistinctFrames) {
    for (const Skin& s : kSkins) {
        SCOPED_TRACE(s.number);
        auto b = CBitmap::fromResource(s.number);
        ASSERT_TRUE(b);
        EXPECT_EQ(b->getWidth(), s.width);
        ASSERT_EQ(b->getHeight(), s.height);
        ASSERT_EQ(s.height % s.frames, 0);
        int frameHeight = s.height / s.frames;
        // Each frame shows something of its own: knob positions, pressed states, figure poses.
        for (int f = 1; f < s.frames; ++f)
            EXPECT_TRUE(framesDiffer(*b, frameHeight, f - 1, f)) << "frame " << f;
        // Nothing is an empty picture.
        int opaque = 0;
        for (int y = 0; y < b->getHeight(); ++y)
            for (int x = 0; x < b->getWidth(); ++x) opaque += (b->pixel(x, y) >> 24) > 128;
        EXPECT_GT(opaque, b->getWidth() * b->getHeight() / 20);
    }
}

TEST(SkinResources, BackgroundAndDisplayAreOpaqueAndNothingElseIsLinkedAsPng) {
    for (int number : {118, 129}) {
        auto b = CBitmap::fromResource(number);
        ASSERT_TRUE(b);
        for (int y = 0; y < b->getHeight(); ++y)
            for (int x = 0; x < b->getWidth(); ++x)
                ASSERT_EQ(b->pixel(x, y) >> 24, 255u) << number << " " << x << "," << y;
    }
    int found = 0;
    for (int number = 0; number < 1000; ++number) {
        const unsigned char* data = nullptr;
        std::size_t size = 0;
        found += findResource(number, "PNG", &data, &size);
    }
    EXPECT_EQ(found, int(std::size(kSkins)));
}

// Mean channel difference between frame `bigFrame` of `big` averaged down over k x k pixels and
// frame `oneFrame` of `one`.
double frameDistance(const CBitmap& big, int bigFrame, const CBitmap& one, int oneFrame, int frameHeight, int k) {
    double sum = 0.0;
    for (int y = 0; y < frameHeight; ++y)
        for (int x = 0; x < one.getWidth(); ++x)
            for (int shift = 0; shift < 32; shift += 8) {
                int total = 0;
                for (int dy = 0; dy < k; ++dy)
                    for (int dx = 0; dx < k; ++dx)
                        total += (big.pixel(x * k + dx, (bigFrame * frameHeight + y) * k + dy) >> shift) & 255;
                sum += std::abs(double(total) / (k * k) -
                                double((one.pixel(x, oneFrame * frameHeight + y) >> shift) & 255));
            }
    return sum / (one.getWidth() * frameHeight * 4.0);
}

// The 2x and 3x renditions are the same drawings with the same frames: averaged down, each frame
// is its 1x frame (give or take anti-aliasing and the hinting of small text), and nearer to it
// than to the frame at the other end of the strip.
TEST(SkinResources, EveryImageHasRenditionsAtTwoAndThreeTimesWithTheSameFrames) {
    for (int k : {2, 3}) {
        int found = 0;
        for (int number = 0; number < 1000; ++number) {
            const unsigned char* data = nullptr;
            std::size_t size = 0;
            found += findResource(number, k == 2 ? "PNG2X" : "PNG3X", &data, &size);
        }
        EXPECT_EQ(found, int(std::size(kSkins)));
        for (const Skin& s : kSkins) {
            SCOPED_TRACE(std::to_string(s.number) + " at " + std::to_string(k));
            auto one = CBitmap::fromResource(s.number);
            auto big = CBitmap::renditionFromResource(s.number, k);
            ASSERT_TRUE(one && big);
            ASSERT_EQ(big->getWidth(), s.width * k);
            ASSERT_EQ(big->getHeight(), s.height * k);
            const int h = s.height / s.frames, last = s.frames - 1;
            for (int f : {0, last}) {
                double same = frameDistance(*big, f, *one, f, h, k);
                EXPECT_LT(same, 20.0) << "frame " << f;
                if (s.frames > 1) {
                    EXPECT_LT(same, frameDistance(*big, f, *one, last - f, h, k)) << "frame " << f;
                }
            }
        }
    }
}

TEST(SkinResources, UserGuideIsTextWithCrLfLinesAndHeadings) {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    ASSERT_TRUE(findResource(142, "txt", &data, &size));
    EXPECT_FALSE(findResource(142, "TXT", &data, &size));  // the type is matched exactly
    ASSERT_TRUE(findResource(142, "txt", &data, &size));
    std::string text(reinterpret_cast<const char*>(data), size);
    EXPECT_EQ(text.find_first_not_of('='), text.find("\r\n"));  // first line is a row of "="
    EXPECT_GT(text.find("\r\n"), 10u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_NE(text.find("\r\n#\r\n"), std::string::npos);
    // Every line feed follows a carriage return.
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ASSERT_EQ(text[i - 1], '\r') << i;
        }
    }
}

TEST(SkinResources, DecodedSkinsAreSharedWhileHeldAndReleasedAfter) {
    std::shared_ptr<CBitmap> first = CBitmap::fromResource(118);
    std::shared_ptr<CBitmap> second = CBitmap::fromResource(118);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->pixels(), second->pixels());
    EXPECT_NE(CBitmap::fromResource(129)->pixels(), first->pixels());
    EXPECT_EQ(CBitmap::fromResource(9999), nullptr);
    // Nothing keeps the pixels once the last holder lets go.
    std::weak_ptr<CBitmap> watch = first;
    first.reset();
    EXPECT_FALSE(watch.expired());
    second.reset();
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(CBitmap::fromResource(118)->getWidth(), 620);
}

}  // namespace
