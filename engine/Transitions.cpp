#include "engine/Transitions.h"

Transitions::Dip Transitions::stepDip(bool firstOfSegment) {
    const float step = dipStep_.load(std::memory_order_relaxed);
    if (framesSinceBottom_ < kFadeFrames) {
        ++framesSinceBottom_;
    }
    if (step == 0.0f) {
        return Dip::kRunning;
    }
    const float value = dipValue_ + step;
    if (value > 0.0f && value >= 1.0f) {
        dipValue_ = 1.0f;
        dipStep_.store(0.0f, std::memory_order_relaxed);
    } else if (value <= 0.0f) {
        dipValue_ = 0.0f;
        if (framesSinceBottom_ < kFadeFrames) {
            return Dip::kRunning;
        }
        if (!firstOfSegment) {
            return Dip::kNewSegment;
        }
        dipStep_.store(kDipStep, std::memory_order_relaxed);
        framesSinceBottom_ = 0;
        return Dip::kBottom;
    } else {
        dipValue_ = value;
    }
    return Dip::kRunning;
}

void Transitions::countSteadyFrames(int frames) {
    framesSinceBottom_ =
        framesSinceBottom_ + frames < kFadeFrames ? framesSinceBottom_ + frames : kFadeFrames;
}

void Transitions::stepFrame() {
    if (gliding_) {
        wet_.value = wet_.value + wet_.step;
        dry_.value = dry_.value + dry_.step;
    }
    const float step = crossFadeStep_.load(std::memory_order_relaxed);
    if (step == 0.0f) {
        return;
    }
    crossFadeValue_ += step;
    if (crossFadeValue_ > 0.0f && crossFadeValue_ >= 1.0f) {
        crossFadeValue_ = 1.0f;
        crossFadeStep_.store(0.0f, std::memory_order_relaxed);
    } else if (crossFadeValue_ <= 0.0f) {
        crossFadeValue_ = 0.0f;
        crossFadeStep_.store(0.0f, std::memory_order_relaxed);
    }
}

void Transitions::settleCrossFade(bool bypassed) {
    if (crossFadeValue_ != (bypassed ? 0.0f : 1.0f)) {
        startCrossFade(!bypassed);
    }
}

// Holds the level at `from` and lets it step towards the value just set over `frames`.
bool Transitions::glide(Level& level, float from, int frames) {
    level.target = level.value;
    if (level.target == from) {
        level.step = 0.0f;
        return false;
    }
    level.step = (level.target - from) / static_cast<float>(frames);
    level.value = from;
    return true;
}

void Transitions::glideLevels(float wetBefore, float dryBefore, int frames) {
    gliding_ |= glide(wet_, wetBefore, frames);
    gliding_ |= glide(dry_, dryBefore, frames);
}

void Transitions::finishGlides() {
    wet_.value = wet_.target;
    dry_.value = dry_.target;
    cancelGlides();
}

void Transitions::cancelGlides() {
    gliding_ = false;
    wet_.step = 0.0f;
    dry_.step = 0.0f;
}
