#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "toolkit/Controls.h"
#include "toolkit/frame/OffscreenFrame.h"

// Records what controls and the frame report, in order.
struct Recorder : CControlListener, CEditorHooks {
    struct Report {
        CControl* control;
        float value;
    };
    std::vector<Report> reports;
    std::vector<std::pair<char, int>> edits;  // 'b' or 'e' with the tag
    int knobMode = kLinearMode;

    void valueChanged(CControl* c) override { reports.push_back({c, c->getValue()}); }
    void beginEdit(int tag) override { edits.push_back({'b', tag}); }
    void endEdit(int tag) override { edits.push_back({'e', tag}); }
    int getKnobMode() const override { return knobMode; }
};

struct OffscreenTest : ::testing::Test {
    Recorder rec;
    CFrame* frame = new CFrame(CRect(0, 0, 200, 100), &rec);
    COffscreenFrame* screen = COffscreenFrame::attach(frame);
    ~OffscreenTest() override { delete frame; }

    // A film strip whose frame i is filled with grey level i.
    static std::shared_ptr<CBitmap> strip(int w, int h, int frames) {
        auto b = std::make_shared<CBitmap>(w, h * frames);
        for (int f = 0; f < frames; ++f)
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    b->pixels()[(f * h + y) * w + x] =
                        premultiply({std::uint8_t(f), std::uint8_t(f), std::uint8_t(f), 255});
        return b;
    }
};
