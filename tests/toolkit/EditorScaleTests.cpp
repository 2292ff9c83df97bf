// The built module's editor drawn off-screen at the scales a host can ask for.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "ScaleImages.h"
#include "editor/EffectEditor.h"
#include "plugin/FaceHost.h"
#include "tests/blackbox/BlackBox.h"
#include "toolkit/CBitmap.h"
#include "vst/ZornbeckExtensions.h"

namespace {

using namespace scale_test;

struct EditorScaleTest : ::testing::Test {
    std::unique_ptr<zb::PluginLoader> plugin;

    void SetUp() override {
        // The tests say the factor themselves; neither the user's override nor a display counts.
        unsetenv("ZORNBECK_SCALE");
        unsetenv("DISPLAY");
        plugin = bb::loadModule();
        ASSERT_TRUE(plugin);
    }

    VstIntPtr setScale(float factor) {
        return plugin->dispatch(effVendorSpecific, kVendorScaleIndex, kVendorScaleValue, nullptr, factor);
    }
    std::pair<int, int> size() {
        ERect* rect = nullptr;
        plugin->dispatch(effEditGetRect, 0, 0, &rect);
        return rect ? std::make_pair(rect->right - rect->left, rect->bottom - rect->top) : std::make_pair(0, 0);
    }
    // The editor's picture at its size now.
    CBitmap picture() {
        auto [w, h] = size();
        CBitmap b(w, h);
        ZornbeckScreenshot shot{w, h, w * 4, b.pixels()};
        EXPECT_EQ(plugin->dispatch(effVendorSpecific, kZornbeckVendorTag, kZornbeckScreenshot, &shot), 1);
        return b;
    }
    static std::vector<std::uint32_t> region(const CBitmap& b, int l, int t, int r, int bottom) {
        std::vector<std::uint32_t> out;
        for (int y = t; y < bottom; ++y)
            for (int x = l; x < r; ++x) out.push_back(b.pixel(x, y));
        return out;
    }
};

TEST_F(EditorScaleTest, AtOneTimesThePictureIsTheCommittedOnePixelForPixel) {
    EXPECT_EQ(plugin->canDo("supportsViewDpiScaling"), 1);
    ASSERT_EQ(setScale(1.0f), 1);
    auto reference = CBitmap::fromPngFile(std::string(ZB_SOURCE_DIR) + "/docs/editor.png");
    ASSERT_TRUE(reference);
    CBitmap shot = picture();
    ASSERT_EQ(shot.getWidth(), reference->getWidth());
    ASSERT_EQ(shot.getHeight(), reference->getHeight());
    int differing = 0;
    for (int y = 0; y < shot.getHeight(); ++y)
        for (int x = 0; x < shot.getWidth(); ++x) differing += shot.pixel(x, y) != reference->pixel(x, y);
    EXPECT_EQ(differing, 0);
}

TEST_F(EditorScaleTest, TheHostsFactorSetsTheSizeClampedAndNaNIgnored) {
    EXPECT_EQ(size(), std::make_pair(620, 432));
    setScale(2.0f);
    EXPECT_EQ(size(), std::make_pair(1240, 864));
    setScale(1.5f);
    EXPECT_EQ(size(), std::make_pair(930, 648));
    setScale(1.25f);
    EXPECT_EQ(size(), std::make_pair(775, 540));
    setScale(7.0f);
    EXPECT_EQ(size(), std::make_pair(1860, 1296));
    EXPECT_EQ(setScale(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(size(), std::make_pair(1860, 1296));
    setScale(0.25f);
    EXPECT_EQ(size(), std::make_pair(620, 432));
    setScale(-std::numeric_limits<float>::infinity());
    EXPECT_EQ(size(), std::make_pair(620, 432));
    // The user's override beats the host.
    setenv("ZORNBECK_SCALE", "2", 1);
    setScale(1.0f);
    EXPECT_EQ(size(), std::make_pair(1240, 864));
    unsetenv("ZORNBECK_SCALE");
    setScale(1.0f);
    EXPECT_EQ(size(), std::make_pair(620, 432));
}

// At 2x and 3x, the parts of the picture that are skin images alone are those images' renditions
// at that factor: the background's captions and the dials over their wells.
TEST_F(EditorScaleTest, AtTwoAndThreeTimesThePictureIsTheArtworkDrawnAtThatFactor) {
    for (int k : {2, 3}) {
        SCOPED_TRACE(k);
        setScale(float(k));
        CBitmap shot = picture();
        ASSERT_EQ(shot.getWidth(), 620 * k);
        ASSERT_EQ(shot.getHeight(), 432 * k);
        auto background = CBitmap::renditionFromResource(118, k);
        ASSERT_TRUE(background);
        ASSERT_EQ(background->getWidth(), 620 * k);
        // Captions, labels and the product name, where no control lies.
        const CRect plain[] = {{350, 4, 510, 36}, {520, 4, 616, 44}, {296, 280, 420, 318},
                               {378, 404, 505, 424}, {4, 326, 290, 342}};
        for (const CRect& r : plain) {
            Difference d = difference(region(shot, r.left * k, r.top * k, r.right * k, r.bottom * k),
                                      region(*background, r.left * k, r.top * k, r.right * k, r.bottom * k));
            EXPECT_LE(d.largest, 16) << r.left << "," << r.top;
            EXPECT_LE(d.mean, 1.0) << r.left << "," << r.top;
        }
        // Dials: the strip's frame for the value, over the background.
        struct Dial {
            int index, image, x, y, side;
        };
        const Dial dials[] = {{14, 147, 529, 45, 34}, {3, 147, 565, 319, 34}, {12, 119, 308, 319, 36},
                              {13, 119, 375, 319, 36}};
        for (const Dial& dial : dials) {
            auto strip = CBitmap::renditionFromResource(dial.image, k);
            ASSERT_TRUE(strip);
            ASSERT_EQ(strip->getHeight(), 65 * dial.side * k);  // the frames keep their geometry
            int frame = std::min(int(plugin->getParameter(dial.index) * 64.0f), 64);
            std::vector<std::uint32_t> expected;
            for (int y = 0; y < dial.side * k; ++y)
                for (int x = 0; x < dial.side * k; ++x)
                    expected.push_back(over(strip->pixel(x, frame * dial.side * k + y),
                                            background->pixel(dial.x * k + x, dial.y * k + y)));
            Difference d = difference(region(shot, dial.x * k, dial.y * k, (dial.x + dial.side) * k,
                                             (dial.y + dial.side) * k),
                                      expected);
            EXPECT_LE(d.largest, 16) << "dial " << dial.index;
            EXPECT_LE(d.mean, 1.0) << "dial " << dial.index;
        }
    }
}

TEST_F(EditorScaleTest, TheScaledPictureIsSharperThanTheOneTimesPictureStretched) {
    setScale(1.0f);
    CBitmap small = picture();
    for (int k : {2, 3}) {
        setScale(float(k));
        CBitmap sharp = picture();
        CBitmap blurred = stretched(small, k);
        ASSERT_EQ(sharp.getWidth(), blurred.getWidth());
        double ratio = edgeEnergy(sharp) / edgeEnergy(blurred);
        std::printf("edge energy at %dx: %.1f drawn, %.1f stretched from 1x (ratio %.2f)\n", k, edgeEnergy(sharp),
                    edgeEnergy(blurred), ratio);
        EXPECT_GT(ratio, 1.3) << k;
        // The crowd display too, which draws from a picture of its own.
        auto crop = [](const CBitmap& b, int f) {
            CBitmap out(340 * f, 272 * f);
            for (int y = 0; y < out.getHeight(); ++y)
                for (int x = 0; x < out.getWidth(); ++x)
                    out.pixels()[std::size_t(y) * out.getWidth() + x] = b.pixel(2 * f + x, 2 * f + y);
            return out;
        };
        double display = edgeEnergy(crop(sharp, k)) / edgeEnergy(crop(blurred, k));
        std::printf("crowd display at %dx: ratio %.2f\n", k, display);
        EXPECT_GT(display, 1.3) << k;
    }
}

TEST_F(EditorScaleTest, BetweenRenditionsThePictureIsTheNextLargerFilteredDown) {
    setScale(2.0f);
    CBitmap two = picture();
    setScale(1.5f);
    CBitmap between = picture();
    ASSERT_EQ(between.getWidth(), 930);
    ASSERT_EQ(between.getHeight(), 648);
    // The plain caption area of the individual panel: the 2x picture sampled at 3/4 is the
    // 1.5x one, give or take filtering.
    std::vector<std::uint32_t> got, expected;
    for (int y = 10; y < 50; ++y)
        for (int x = 530; x < 760; ++x) {
            got.push_back(between.pixel(x, y));
            std::uint32_t p = 0;
            double sx = (x + 0.5) * 4.0 / 3.0 - 0.5, sy = (y + 0.5) * 4.0 / 3.0 - 0.5;
            int x0 = int(sx), y0 = int(sy);
            double fx = sx - x0, fy = sy - y0;
            for (int shift = 0; shift < 32; shift += 8) {
                auto c = [&](int xx, int yy) { return double((two.pixel(xx, yy) >> shift) & 255); };
                double v = (c(x0, y0) * (1 - fx) + c(x0 + 1, y0) * fx) * (1 - fy) +
                           (c(x0, y0 + 1) * (1 - fx) + c(x0 + 1, y0 + 1) * fx) * fy;
                p |= std::uint32_t(std::lround(v)) << shift;
            }
            expected.push_back(p);
        }
    Difference d = difference(got, expected);
    EXPECT_LE(d.mean, 6.0);
}

// The entry point the other formats' faces call with their host's factor.
TEST(FaceHostScale, TheHostsFactorSetsTheEditorsSize) {
    unsetenv("ZORNBECK_SCALE");
    unsetenv("DISPLAY");
    FaceHost host(nullptr, &EffectEditor::create);
    int w = 0, h = 0;
    host.editorSize(w, h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(620, 432));
    host.setEditorScale(2.0);
    host.editorSize(w, h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(1240, 864));
    host.setEditorScale(std::nan(""));
    host.editorSize(w, h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(1240, 864));
    host.setEditorScale(1.5);
    host.editorSize(w, h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(930, 648));
}

// zornbeck screenshot --scale, as a user runs it.
TEST(ScreenshotCommand, WritesThePictureAtTheScaleAskedAndRefusesOthers) {
    unsetenv("ZORNBECK_SCALE");
    const std::string build = bb::buildDir();
    const std::string out = testing::TempDir() + "zornbeck-scale-2.png";
    auto run = [&](const std::string& scale) {
        std::string command = "'" + build + "/zornbeck' screenshot '" + out + "' --program 3 --scale " + scale +
                              " --module '" + build + "/Zornbeck.so' >/dev/null 2>&1";
        int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    ASSERT_EQ(run("2"), 0);
    auto picture = CBitmap::fromPngFile(out);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->getWidth(), 1240);
    EXPECT_EQ(picture->getHeight(), 864);
    ASSERT_EQ(run("1.5"), 0);
    picture = CBitmap::fromPngFile(out);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->getWidth(), 930);
    for (const char* bad : {"0.5", "4", "nan", "two"}) EXPECT_EQ(run(bad), 2) << bad;
    std::remove(out.c_str());
}

// What the Win32 frame does when its window moves to a monitor of another density, on the
// off-screen frame: the editor takes the new size and asks the host for the room, unless the
// host's own factor (or the user's) outranks the system's.
TEST(FaceHostScale, ADensityChangeFromTheWindowSystemResizesUnlessTheHostSaidOtherwise) {
    unsetenv("ZORNBECK_SCALE");
    unsetenv("DISPLAY");
    struct Sizes : FaceHost::Listener {
        std::vector<std::pair<int, int>> asked;
        void parameterEdited(int, float) override {}
        bool resizeEditor(int w, int h) override {
            asked.push_back({w, h});
            return true;
        }
    } sizes;
    FaceHost host(&sizes, &EffectEditor::create);
    auto* editor = static_cast<EffectEditor*>(host.effect().getEditor());
    ASSERT_TRUE(editor->openOffscreen());
    editor->frame()->setScale(2.0);
    int w = 0, h = 0;
    host.editorSize(w, h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(1240, 864));
    ASSERT_EQ(sizes.asked.size(), 1u);
    EXPECT_EQ(sizes.asked[0], std::make_pair(1240, 864));

    host.setEditorScale(1.5);
    EXPECT_EQ(editor->frame()->getScale(), 1.5);
    sizes.asked.clear();
    editor->frame()->setScale(3.0);
    EXPECT_EQ(editor->frame()->getScale(), 1.5);
    host.editorSize(w, h);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(930, 648));
    EXPECT_TRUE(sizes.asked.empty());
    editor->close();
}

}  // namespace
