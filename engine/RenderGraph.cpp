#include "engine/RenderGraph.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/ChamberReverb.h"
#include "engine/Numeric.h"
#include "engine/Spread.h"

namespace {

int ringSizeFor(float sampleRate) {
    // The longest delay (a third of a second), the widest swing with its rounding, one run ahead
    // and the interpolation's second frame.
    constexpr int kWidestSwing = static_cast<int>(param::kDelayModDepthSamples) + 6;
    const int reach = static_cast<int>(sampleRate / 3.0f) + kWidestSwing + VoiceLanes::kMaxFrames + 4;
    int size = RenderGraph::kMinRingSize;
    while (size < reach) {
        size *= 2;
    }
    return size;
}

}  // namespace

RenderGraph::RenderGraph(const Mix& mix, Transitions& transitions, Owner& owner)
    : mix_(mix), transitions_(transitions), owner_(owner), reverb_(std::make_unique<ChamberReverb>()) {}

RenderGraph::~RenderGraph() = default;

void RenderGraph::prepare(float sampleRate, int maxFrames) {
    // Absurd host values must not become absurd allocations.
    if (sampleRate > 0.0f && std::isfinite(sampleRate)) {
        sampleRate_ = sampleRate < 1000.0f ? 1000.0f : (sampleRate > 768000.0f ? 768000.0f : sampleRate);
    }
    const int frames = maxFrames < kInitialCopyCapacity
                           ? kInitialCopyCapacity
                           : (maxFrames > kMaxCopyCapacity ? kMaxCopyCapacity : maxFrames);
    const int size = ringSizeFor(sampleRate_);
    if (size != ringSize_) {
        ring_ = std::make_unique<float[]>(static_cast<std::size_t>(size + 2) * kRingFrame);  // zeroed
        ringSize_ = size;
        ringMask_ = size - 1;
        writePosition_ &= ringMask_;
    }
    if (frames != copyCapacity_) {
        copyCapacity_ = frames;
        for (GuardedBlock& copy : inputCopies_) {
            copy.allocate("inCopySize", copyCapacity_);
            std::memset(copy.data(), 0, sizeof(float) * static_cast<std::size_t>(copyCapacity_));
        }
        dipValues_ = std::make_unique<float[]>(static_cast<std::size_t>(copyCapacity_));
        crossFadeValues_ = std::make_unique<float[]>(static_cast<std::size_t>(copyCapacity_));
    }
    for (QuadratureAllpass& analyser : analysers_) {
        analyser.setSampleRate(sampleRate_);
    }
    reserveSpread(spreadChains_, spreadRandom_, sampleRate_);
    spread_ = -1.0f;  // the lines were cleared: rebuild at the next apply
}

// The render loop keeps the voices in lanes_ from block to block; the records catch up only
// when something outside the loop reads or changes them.
VoiceState* RenderGraph::editVoices() {
    if (lanesAhead_) {
        lanes_.store(voices_, kNumPeople);
        lanesAhead_ = false;
    }
    lanesStale_ = true;
    return voices_;
}

const VoiceState& RenderGraph::voice(int v) {
    if (lanesAhead_) {
        lanes_.store(voices_, kNumPeople);
        lanesAhead_ = false;
    }
    return voices_[v];
}

void RenderGraph::restartVoices() {
    editVoices();
    for (VoiceState& voice : voices_) {
        voice.reset();
    }
}

void RenderGraph::finishVoiceGlides() {
    editVoices();
    for (VoiceState& voice : voices_) {
        voice.gain = voice.gainTarget;
        voice.panGain[0] = voice.panTarget[0];
        voice.panGain[1] = voice.panTarget[1];
        voice.delayModDepth = voice.delayModDepthTarget;
    }
}

void RenderGraph::cancelVoiceGlides() {
    editVoices();
    for (VoiceState& voice : voices_) {
        voice.gainStep = 0.0f;
        voice.panStep[0] = 0.0f;
        voice.panStep[1] = 0.0f;
        voice.delayModDepthStep = 0.0f;
    }
}

void RenderGraph::clearSignal() {
    std::memset(ring_.get(), 0, sizeof(float) * static_cast<std::size_t>(ringSize_ + 2) * kRingFrame);
    for (auto& chain : spreadChains_) {
        for (DelayAllpass& section : chain) {
            section.clear();
        }
    }
    for (QuadratureAllpass& analyser : analysers_) {
        analyser.reset();
    }
}

void RenderGraph::setSpread(float amount) {
    if (amount != spread_) {
        spread_ = amount;
        rebuildSpread(spreadChains_, spreadRandom_, amount, sampleRate_);
    }
}

// A non-finite sample from the host enters as silence, so it cannot poison rings and lines.
void RenderGraph::copyInputs(float** inputs, int inputCount, int frames) {
    for (int i = 0; i < inputCount; ++i) {
        const float* in = inputs[i];
        float* copy = inputCopies_[i].data();
        for (int l = 0; l < frames; ++l) {
            const float x = in[l];
            copy[l] = x - x == 0.0f ? x : 0.0f;
        }
    }
}

// Segments end where a dip reaches its bottom, so the reverb is reset at that very frame.
void RenderGraph::renderPass(float** inputs, float** outputs, int nIn, int nOut, int frames,
                             float reverbLevel) {
    copyInputs(inputs, nIn, frames);
    int start = 0;
    while (start < frames) {
        dipMoved_ = false;
        bypassed_ = false;
        const int n = frameByFrame_ ? renderFrameByFrame(outputs, nIn, nOut, start, frames - start)
                                    : renderSubBlocks(nIn, nOut, outputs, start, frames - start);
        float* segment[2] = {outputs[0] + start, outputs[nOut - 1] + start};
        if (frameByFrame_) {
            reverb_->processFrameByFrame(segment, segment, n, reverbLevel, nOut);
        } else {
            reverb_->process(segment, segment, n, reverbLevel, nOut);
        }
        finishSegment(nIn, nOut, outputs, start, n);
        start += n;
    }
}

// The dip covers the reverb too, so a reset at the bottom is never heard; the bypass
// cross-fade follows frame by frame.
void RenderGraph::finishSegment(int nIn, int nOut, float** outputs, int start, int frames) {
    const float* dips = dipValues_.get() + start;
    if (dipMoved_) {
        for (int c = 0; c < nOut; ++c) {
            float* out = outputs[c] + start;
            for (int l = 0; l < frames; ++l) {
                out[l] = out[l] * dips[l];
            }
        }
    }
    const float* active = crossFadeValues_.get() + start;
    if (bypassed_) {
        for (int c = 0; c < nOut; ++c) {
            const float* copy = inputCopies_[c < nIn ? c : nIn - 1].data() + start;
            float* out = outputs[c] + start;
            for (int l = 0; l < frames; ++l) {
                const float f = active[l];
                out[l] = (1.0f - f) * copy[l] + f * out[l];
            }
        }
    }
}

// One frame of the dip; false if its bottom must open a new segment.
bool RenderGraph::stepDip(bool firstOfSegment) {
    switch (transitions_.stepDip(firstOfSegment)) {
        case Transitions::Dip::kNewSegment:
            return false;
        case Transitions::Dip::kBottom:
            owner_.resetAtBottom();
            return true;
        default:
            return true;
    }
}

// Records frame `at`'s dip and cross-fade values for the segment's end.
void RenderGraph::noteFrame(int at) {
    dipValues_[at] = transitions_.dipValue();
    crossFadeValues_[at] = transitions_.crossFadeValue();
    dipMoved_ |= transitions_.dipValue() != 1.0f;
    bypassed_ |= transitions_.crossFadeValue() < 1.0f;
}

// The plain version of the loop, one frame and one voice at a time: the reference the fast one
// is measured against.
int RenderGraph::renderFrameByFrame(float** outputs, int nIn, int nOut, int start, int frames) {
    editVoices();
    const int end = start + frames;
    for (int l = start; l < end; ++l) {
        if (!stepDip(l == start)) {
            return l - start;
        }
        transitions_.stepFrame();
        noteFrame(l);
        frameByFrameStages(outputs, nIn, nOut, l);
        writePosition_ = (writePosition_ + 1) & ringMask_;
    }
    return frames;
}

void RenderGraph::frameByFrameStages(float** outputs, int nIn, int nOut, int l) {
    const float level = mix_.levelScale * transitions_.wet() * kWetLevel;
    float dry[2];
    for (int i = 0; i < nIn; ++i) {
        dry[i] = inputCopies_[i][l];
    }
    for (int c = 0; c < nOut; ++c) {
        float x = dry[c < nIn ? c : nIn - 1];
        if (spread_ > 0.0f) {
            for (DelayAllpass& section : spreadChains_[c]) {
                x = section.step(x);
            }
        }
        outputs[c][l] = x;
    }
    for (int c = 0; c < nOut; ++c) {
        float re = 0.0f;
        float im = 0.0f;
        analysers_[c].step(outputs[c][l] + zb::kAntiDenormal, re, im);
        ring_[kRingFrame * writePosition_ + 2 * c] = re;
        ring_[kRingFrame * writePosition_ + 2 * c + 1] = im;
    }
    if (writePosition_ == 0) {
        for (int c = 0; c < nOut; ++c) {
            ring_[kRingFrame * ringSize_ + 2 * c] = ring_[2 * c];
            ring_[kRingFrame * ringSize_ + 2 * c + 1] = ring_[2 * c + 1];
        }
    }
    const int population = mix_.population;
    for (int v = 0; v < population; ++v) {
        if (transitions_.gliding()) {
            voices_[v].stepRamp();
        }
        voices_[v].stepModulation(writePosition_, ringMask_);
    }
    float sum[2] = {0.0f, 0.0f};
    for (int v = 0; v < population; ++v) {
        if (!mix_.solo || v == mix_.selected) {
            voices_[v].readout(ring_.get(), mix_.shiftAll, sum, nOut);
            voices_[v].stepFade();
        }
    }
    for (int c = 0; c < nOut; ++c) {
        const float out = transitions_.dry() * dry[c < nIn ? c : nIn - 1] + level * sum[c];
        outputs[c][l] = out;
        if (!(out * transitions_.dipValue() < 1.0f)) {
            clip_.store(1, std::memory_order_relaxed);
        }
    }
}

// How many frames the voices may run ahead of the ring: no read of a frame in the run may land
// on a ring position that a later frame of the same run has already overwritten. Read from the
// lanes, which hold the voices while the loop renders; `frames` ahead covers the glides.
int RenderGraph::longestSafeRun(int frames) const {
    float longest = 0.0f;
    const bool gliding = transitions_.gliding();
    for (int v = 0; v < mix_.population; ++v) {
        const int current = lanes_.currentDelay[v];
        const int pending = lanes_.pendingDelay[v];
        const int delay = current > pending ? current : pending;
        const float depth =
            std::fabs(lanes_.delayModDepth[v]) +
            (gliding ? std::fabs(lanes_.delayModDepthStep[v]) * static_cast<float>(frames) : 0.0f);
        const float reach = static_cast<float>(delay) + depth * 1.01f + 2.0f;
        longest = reach > longest ? reach : longest;
    }
    const float room = static_cast<float>(ringSize_) - longest;
    if (!(room >= 1.0f)) {
        return 1;
    }
    return room < static_cast<float>(VoiceLanes::kMaxFrames) ? static_cast<int>(room)
                                                             : VoiceLanes::kMaxFrames;
}

// The segment in runs of at most 64 frames. A run ends at the ring's end and at the segment end;
// the segment ends before a dip's bottom that is not its first frame. Within a run each stage
// runs over all its frames before the next one starts. Returns the frames rendered.
int RenderGraph::renderSubBlocks(int nIn, int nOut, float** outputs, int first, int frames) {
    // The first frame's dip step while the voices are in their records: a bottom resets them.
    stepDip(true);
    if (lanesStale_) {
        lanes_.load(voices_, kNumPeople);
        lanesStale_ = false;
        safeRun_ = 0;
    }
    lanesAhead_ = true;
    // Delays change only at a bottom, which reloads the lanes, and depths only by their glides,
    // so a steady crowd's reach holds from block to block.
    if (safeRun_ == 0 || safeRunPopulation_ != mix_.population || transitions_.gliding()) {
        safeRun_ = longestSafeRun(frames);
        safeRunPopulation_ = mix_.population;
    }
    const int safe = safeRun_;
    if (transitions_.gliding()) {
        safeRun_ = 0;  // the depths moved: measure again
    }
    float dryGains[VoiceLanes::kMaxFrames];
    float levels[VoiceLanes::kMaxFrames];
    const int end = first + frames;
    int start = first;
    bool bottom = false;
    while (start < end && !bottom) {
        int n = end - start;
        n = n < VoiceLanes::kMaxFrames ? n : VoiceLanes::kMaxFrames;
        n = n < ringSize_ - writePosition_ ? n : ringSize_ - writePosition_;
        n = n < safe ? n : safe;
        if (transitions_.steady()) {
            // Nothing moves: no frame needs its own step.
            transitions_.countSteadyFrames(start == first ? n - 1 : n);
            std::fill_n(dipValues_.get() + start, n, transitions_.dipValue());
            std::fill_n(crossFadeValues_.get() + start, n, transitions_.crossFadeValue());
            dipMoved_ |= transitions_.dipValue() != 1.0f;
            bypassed_ |= transitions_.crossFadeValue() < 1.0f;
            runSubBlock(nIn, nOut, outputs, start, n, nullptr, nullptr);
            start += n;
            continue;
        }
        int j = 0;
        for (; j < n; ++j) {
            if (start + j != first && !stepDip(false)) {
                bottom = true;  // the bottom frame opens the next segment
                break;
            }
            transitions_.stepFrame();
            noteFrame(start + j);
            dryGains[j] = transitions_.dry();
            levels[j] = mix_.levelScale * transitions_.wet() * kWetLevel;
        }
        if (j > 0) {
            runSubBlock(nIn, nOut, outputs, start, j, dryGains, levels);
        }
        start += j;
    }
    return start - first;
}

void RenderGraph::runSubBlock(int nIn, int nOut, float** outputs, int start, int n, const float* dryGains,
                              const float* levels) {
    const int w = writePosition_;
    feedRing(nIn, nOut, start, n);
    renderVoiceLanes(lanes_, mix_.population, mix_.solo, mix_.selected, ring_.get(), ringMask_, w, n,
                     mix_.shiftAll, transitions_.gliding() ? n : 0);
    mixRun(nIn, nOut, outputs, start, n, dryGains, levels);
    writePosition_ = (w + n) & ringMask_;
}

// The spread chains, then the analytic signal of each channel into the ring.
void RenderGraph::feedRing(int nIn, int nOut, int start, int n) {
    const int w = writePosition_;
    for (int c = 0; c < nOut; ++c) {
        const float* dry = inputCopies_[c < nIn ? c : nIn - 1].data() + start;
        float* x = scratch_[c];
        for (int j = 0; j < n; ++j) {
            x[j] = dry[j];
        }
        if (spread_ > 0.0f) {
            // A section only reads its own past, so each can take the whole run in turn.
            runSpreadChain(spreadChains_[c], x, n);
        }
        for (int j = 0; j < n; ++j) {
            x[j] = x[j] + zb::kAntiDenormal;
        }
    }
    float* frame = ring_.get() + kRingFrame * w;
    if (nOut == 2) {
        QuadratureAllpass::runPair(analysers_[0], analysers_[1], scratch_[0], scratch_[1], frame, n);
    } else {
        for (int j = 0; j < n; ++j) {
            analysers_[0].step(scratch_[0][j], frame[kRingFrame * j], frame[kRingFrame * j + 1]);
        }
    }
    if (w == 0) {
        for (int c = 0; c < nOut; ++c) {
            ring_[kRingFrame * ringSize_ + 2 * c] = ring_[2 * c];
            ring_[kRingFrame * ringSize_ + 2 * c + 1] = ring_[2 * c + 1];
        }
    }
}

// The voices' lane sums, the wet level and the dry signal; a steady run has one level for all.
void RenderGraph::mixRun(int nIn, int nOut, float** outputs, int start, int n, const float* dryGains,
                         const float* levels) {
    const float* fade = dipValues_.get() + start;
    bool clip = false;
    for (int c = 0; c < nOut; ++c) {
        float* sum = voiceSum_[c];
        for (int j = 0; j < n; ++j) {
            sum[j] = lanes_.sum(c, j);
        }
        const float* dry = inputCopies_[c < nIn ? c : nIn - 1].data() + start;
        float* out = outputs[c] + start;
        if (dryGains == nullptr) {
            const float dryGain = transitions_.dry();
            const float level = mix_.levelScale * transitions_.wet() * kWetLevel;
            for (int j = 0; j < n; ++j) {
                const float value = dryGain * dry[j] + level * sum[j];
                out[j] = value;
                clip |= !(value * fade[j] < 1.0f);
            }
        } else {
            for (int j = 0; j < n; ++j) {
                const float value = dryGains[j] * dry[j] + levels[j] * sum[j];
                out[j] = value;
                clip |= !(value * fade[j] < 1.0f);
            }
        }
    }
    if (clip) {
        clip_.store(1, std::memory_order_relaxed);
    }
}
