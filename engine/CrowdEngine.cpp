#include "engine/CrowdEngine.h"

#include <cmath>
#include <cstring>

#include "engine/ChamberReverb.h"
#include "engine/Numeric.h"
#include "engine/SampleRate.h"
#include "engine/Spread.h"
#include "model/ProgramBankOps.h"
#include "presets/FactoryBank.h"

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define ZB_HAVE_MXCSR 1
#endif

namespace {

constexpr float kPi = 3.1415927f;

// Denormals are flushed while we render; the host thread's own mode is restored afterwards.
class DenormalGuard {
  public:
#ifdef ZB_HAVE_MXCSR
    DenormalGuard() : saved_(_mm_getcsr()) {
        _mm_setcsr(saved_ | 0x8040u);
    }
    ~DenormalGuard() {
        _mm_setcsr(saved_);
    }

  private:
    unsigned int saved_;
#endif
};

}  // namespace

CrowdEngine::CrowdEngine() {
    loadFactoryBank(bank_);
    for (auto& mark : pending_) {
        mark.store(0, std::memory_order_relaxed);
    }
    ring_ = std::make_unique<float[]>(static_cast<std::size_t>(kRingStorage) * kRingFrame);  // zeroed
    reverb_ = std::make_unique<ChamberReverb>();
    applyAllParameters();
    resetVoices();
    copyCapacity_ = kInitialCopyCapacity;
    for (GuardedBlock& copy : inputCopies_) {
        copy.allocate("inCopySize", copyCapacity_);
        std::memset(copy.data(), 0, sizeof(float) * static_cast<std::size_t>(copyCapacity_));
    }
    ready_ = true;
}

CrowdEngine::~CrowdEngine() = default;

int CrowdEngine::currentProgramIndex() const {
    const int program = currentProgram_.load(std::memory_order_relaxed);
    return (program >= 0 && program < kNumPrograms) ? program : 0;
}

void CrowdEngine::markParameter(int index, float value) {
    if (index < 0 || index >= kNumParams) {
        return;
    }
    if (index == parPopulationIndex || index == parSoloIndex || index == parAllpassSpreadIndex) {
        globalFadeStep_.store(-kGlobalFadeStep, std::memory_order_relaxed);
    } else if (index == parActiveIndex) {
        activeFadeStep_.store(value != 0.0f ? kActiveFadeStep : -kActiveFadeStep, std::memory_order_relaxed);
    }
    zb::storeShared(program().value(index), value);
    pending_[index].store(1, std::memory_order_release);
}

void CrowdEngine::selectProgram(int program) {
    if (program < 0 || program >= kNumPrograms) {
        return;
    }
    currentProgram_.store(program, std::memory_order_relaxed);
    globalFadeStep_.store(-kGlobalFadeStep, std::memory_order_relaxed);
}

void CrowdEngine::setupProgram(int program, float sampleRate) {
    currentProgram_.store(program, std::memory_order_relaxed);
    ProcessSampleRate::set(sampleRate);
    reverbSetupRate_.store(sampleRate, std::memory_order_relaxed);
    reverbSetupPending_.store(true, std::memory_order_release);
}

void CrowdEngine::resetReverb() {
    reverbResetPending_.store(true, std::memory_order_release);
}

// The reverb is only ever written by the thread that renders, so a setup or reset requested
// from elsewhere waits for the next block start.
void CrowdEngine::applyReverbHandover() {
    if (reverbSetupPending_.exchange(false, std::memory_order_acquire)) {
        reverb_->setSampleRate(reverbSetupRate_.load(std::memory_order_relaxed));
        reverb_->setLineScale(0.5f);
        reverb_->setModulationRate(0.55f);
        reverb_->setModulationDepth(0.5f);
    }
    if (reverbResetPending_.exchange(false, std::memory_order_acquire)) {
        reverb_->reset();
    }
}

void CrowdEngine::resetVoices() {
    for (VoiceState& voice : voices_) {
        voice.reset();
    }
    std::memset(ring_.get(), 0, sizeof(float) * kRingSize * kRingFrame);  // the guard frame is left
    for (auto& chain : spreadChains_) {
        for (DelayAllpass& section : chain) {
            section.clear();
        }
    }
    for (QuadratureAllpass& analyser : analysers_) {
        analyser.reset();
    }
    reverb_->setSampleRate(ProcessSampleRate::rate());
}

void CrowdEngine::rebuildSpread(float x) {
    ::rebuildSpread(spreadChains_, spreadRandom_, x, ProcessSampleRate::rate());
}

void CrowdEngine::applyParameter(int index) {
    if (index < 0 || index >= kNumParams) {
        return;
    }
    const Program& values = program();
    const float x = zb::loadShared(values.value(index));
    const float sampleRate = ProcessSampleRate::rate();
    switch (index) {
        case parPopulationIndex:
            // Counts stay in range whatever the host sends; the stored value is left alone.
            population_ = zb::saturatingTrunc(60.0f * x + 0.5f, 0, kMaxPopulation - 1) + 1;
            break;
        case parPersonSelectedIndex:
            selected_ = zb::saturatingTrunc(60.0f * x + 0.5f, 0, population_ - 1);
            break;
        case parGlobalWetIndex:
            wetGain_ = 4.0f * (x * x);
            break;
        case parGlobalDryIndex:
            dryGain_ = 4.0f * (x * x);
            break;
        case parSoloIndex:
            solo_ = std::isnan(x) ? 0 : zb::saturatingTrunc(x, -1, 1);
            break;
        case parAllpassSpreadIndex:
            spread_ = x;
            rebuildSpread(x);
            break;
        case parPitchAllIndex:
            shiftAll_ = 2.0f * std::sin(kPi * (880.0f * (x - 0.5f)) / sampleRate);
            break;
        case parReverbWetIndex:
        case parReverbSizeIndex:
            reverb_->setDecay(zb::loadShared(values.parReverbSize), zb::loadShared(values.parReverbWet));
            break;
        case parReverbHighCutIndex:
        case parReverbLowCutIndex:
            reverb_->setCuts(zb::loadShared(values.parReverbHighCut), zb::loadShared(values.parReverbLowCut));
            break;
        case parActiveIndex:
            if (x > 0.0f) {
                resetVoices();
                reverb_->reset();
            }
            break;
        default:
            if (index >= kFirstPersonIndex) {
                const int person = (index - kFirstPersonIndex) / kSlotsPerPerson;
                const int slot = (index - kFirstPersonIndex) % kSlotsPerPerson;
                voices_[person].applyParameter(slot, values.people[person], sampleRate);
            }
            break;
    }
}

void CrowdEngine::applyPendingParameters() {
    for (int index = 0; index < kNumParams; ++index) {
        if (pending_[index].load(std::memory_order_acquire) != 0) {
            pending_[index].store(0, std::memory_order_relaxed);
            applyParameter(index);
        }
    }
}

void CrowdEngine::applyAllParameters() {
    for (int index = 0; index < kNumParams; ++index) {
        applyParameter(index);
    }
}

void CrowdEngine::copyInputs(float** inputs, int inputCount, int frames) {
    if (frames > copyCapacity_) {
        copyCapacity_ = frames;
        for (GuardedBlock& copy : inputCopies_) {
            copy.release();
            copy.allocate("inCopySize", copyCapacity_);
        }
    }
    for (int i = 0; i < inputCount; ++i) {
        std::memcpy(inputCopies_[i].data(), inputs[i], sizeof(float) * static_cast<std::size_t>(frames));
    }
}

void CrowdEngine::process(float** inputs, float** outputs, int inputCount, int outputCount, int frames) {
    if (!ready_ || frames < 0 || inputCount <= 0 || outputCount <= 0) {
        return;
    }
    DenormalGuard denormals;
    const int nIn = inputCount < 2 ? inputCount : 2;
    const int nOut = outputCount < 2 ? outputCount : 2;

    applyReverbHandover();
    const float level =
        (solo_ != 0 ? 1.0f : 1.0f / std::sqrt(static_cast<float>(population_))) * wetGain_ * 5.0f;
    if (globalFadeStep_.load(std::memory_order_relaxed) == 0.0f) {
        applyPendingParameters();
    }
    copyInputs(inputs, nIn, frames);

    if (frameByFrame_) {
        renderFrameByFrame(inputs, outputs, nIn, nOut, frames, level);
        reverb_->processFrameByFrame(outputs, outputs, frames, level, nOut);
    } else {
        renderSubBlocks(nIn, nOut, outputs, frames, level);
        reverb_->process(outputs, outputs, frames, level, nOut);
    }

    const float f = activeFadeValue_;
    if (f < 1.0f) {
        for (int c = 0; c < nOut; ++c) {
            const float* copy = inputCopies_[c < nIn ? c : nIn - 1].data();
            float* out = outputs[c];
            for (int l = 0; l < frames; ++l) {
                out[l] = (1.0f - f) * copy[l] + f * out[l];
            }
        }
    }
}

void CrowdEngine::advanceActiveFade() {
    const float step = activeFadeStep_.load(std::memory_order_relaxed);
    if (step == 0.0f) {
        return;
    }
    activeFadeValue_ += step;
    if (activeFadeValue_ > 0.0f && activeFadeValue_ >= 1.0f) {
        activeFadeValue_ = 1.0f;
        activeFadeStep_.store(0.0f, std::memory_order_relaxed);
    } else if (activeFadeValue_ <= 0.0f) {
        activeFadeValue_ = 0.0f;
        activeFadeStep_.store(0.0f, std::memory_order_relaxed);
    }
}

void CrowdEngine::renderFrameByFrame(float** inputs, float** outputs, int nIn, int nOut, int frames,
                                     float level) {
    for (int l = 0; l < frames; ++l) {
        float dry[2];
        for (int i = 0; i < nIn; ++i) {
            dry[i] = inputs[i][l];
        }

        float globalStep = globalFadeStep_.load(std::memory_order_relaxed);
        if (globalStep != 0.0f) {
            globalFadeValue_ += globalStep;
            if (globalFadeValue_ > 0.0f && globalFadeValue_ >= 1.0f) {
                globalFadeValue_ = 1.0f;
                globalFadeStep_.store(0.0f, std::memory_order_relaxed);
            } else if (globalFadeValue_ <= 0.0f) {
                globalFadeValue_ = 0.0f;
                globalFadeStep_.store(kGlobalFadeStep, std::memory_order_relaxed);
                resetVoices();
                applyAllParameters();
            }
        }

        advanceActiveFade();

        // The dry snapshot feeds the chains: with in-place buffers the input may already be
        // overwritten by the previous channel's scratch.
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
            analysers_[c].step(outputs[c][l] + 1e-20f, re, im);
            ring_[kRingFrame * writePosition_ + 2 * c] = re;
            ring_[kRingFrame * writePosition_ + 2 * c + 1] = im;
        }
        if (writePosition_ == 0) {
            for (int c = 0; c < nOut; ++c) {
                ring_[kRingFrame * kRingSize + 2 * c] = ring_[2 * c];
                ring_[kRingFrame * kRingSize + 2 * c + 1] = ring_[2 * c + 1];
            }
        }

        for (int v = 0; v < population_; ++v) {
            voices_[v].stepModulation(writePosition_);
        }

        float sum[2] = {0.0f, 0.0f};
        for (int v = 0; v < population_; ++v) {
            if (solo_ == 0 || v == selected_) {
                voices_[v].readout(ring_.get(), shiftAll_, sum, nOut);
                voices_[v].stepFade();
            }
        }

        for (int c = 0; c < nOut; ++c) {
            const float out = (dryGain_ * dry[c < nIn ? c : nIn - 1] + level * sum[c]) * globalFadeValue_;
            outputs[c][l] = out;
            if (!(out < 1.0f)) {
                clip_.store(1, std::memory_order_relaxed);
            }
        }
        writePosition_ = (writePosition_ + 1) & kRingMask;
    }
}

// How many frames the voices may run ahead of the ring: no read of a frame in the run may land
// on a ring position that a later frame of the same run has already overwritten.
int CrowdEngine::longestSafeRun() const {
    float longest = 0.0f;
    for (int v = 0; v < population_; ++v) {
        const VoiceState& voice = voices_[v];
        const int delay = voice.currentDelay > voice.pendingDelay ? voice.currentDelay : voice.pendingDelay;
        const float reach = static_cast<float>(delay) + std::fabs(voice.delayModDepth) * 1.01f + 2.0f;
        longest = reach > longest ? reach : longest;
    }
    const float room = static_cast<float>(kRingSize) - longest;
    if (!(room >= 1.0f)) {
        return 1;
    }
    return room < static_cast<float>(VoiceLanes::kMaxFrames) ? static_cast<int>(room)
                                                             : VoiceLanes::kMaxFrames;
}

// The block in runs of at most 64 frames. A run ends at the ring's end, at a global-fade bottom
// (which resets and re-applies everything) and at the block end; within a run each stage runs
// over all its frames before the next one starts.
void CrowdEngine::renderSubBlocks(int nIn, int nOut, float** outputs, int frames, float level) {
    lanes_.load(voices_, kNumPeople);
    float fade[VoiceLanes::kMaxFrames];
    int start = 0;
    while (start < frames) {
        int n = frames - start;
        n = n < VoiceLanes::kMaxFrames ? n : VoiceLanes::kMaxFrames;
        n = n < kRingSize - writePosition_ ? n : kRingSize - writePosition_;
        const int safe = longestSafeRun();
        n = n < safe ? n : safe;
        int j = 0;
        for (; j < n; ++j) {
            const float globalStep = globalFadeStep_.load(std::memory_order_relaxed);
            if (globalStep != 0.0f) {
                const float value = globalFadeValue_ + globalStep;
                if (value > 0.0f && value >= 1.0f) {
                    globalFadeValue_ = 1.0f;
                    globalFadeStep_.store(0.0f, std::memory_order_relaxed);
                } else if (value <= 0.0f) {
                    if (j > 0) {
                        break;  // the bottom frame opens the next run
                    }
                    globalFadeValue_ = 0.0f;
                    globalFadeStep_.store(kGlobalFadeStep, std::memory_order_relaxed);
                    lanes_.store(voices_, kNumPeople);
                    resetVoices();
                    applyAllParameters();
                    lanes_.load(voices_, kNumPeople);
                    const int after = longestSafeRun();
                    n = n < after ? n : after;
                } else {
                    globalFadeValue_ = value;
                }
            }
            advanceActiveFade();
            fade[j] = globalFadeValue_;
        }
        runSubBlock(nIn, nOut, outputs, start, j, level, fade);
        start += j;
    }
    lanes_.store(voices_, kNumPeople);
}

void CrowdEngine::runSubBlock(int nIn, int nOut, float** outputs, int start, int n, float level,
                              const float* fade) {
    const int w = writePosition_;
    for (int c = 0; c < nOut; ++c) {
        const float* dry = inputCopies_[c < nIn ? c : nIn - 1].data() + start;
        float* x = scratch_[c];
        if (spread_ > 0.0f) {
            // A section only reads its own past, so each can take the whole run in turn.
            for (int j = 0; j < n; ++j) {
                x[j] = dry[j];
            }
            for (DelayAllpass& section : spreadChains_[c]) {
                section.run(x, n);
            }
        } else {
            for (int j = 0; j < n; ++j) {
                x[j] = dry[j];
            }
        }
        for (int j = 0; j < n; ++j) {
            x[j] = x[j] + 1e-20f;
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
            ring_[kRingFrame * kRingSize + 2 * c] = ring_[2 * c];
            ring_[kRingFrame * kRingSize + 2 * c + 1] = ring_[2 * c + 1];
        }
    }

    renderVoiceLanes(lanes_, population_, solo_ != 0, selected_, ring_.get(), kRingMask, w, n, shiftAll_, 0);

    bool clip = false;
    for (int c = 0; c < nOut; ++c) {
        float* sum = voiceSum_[c];
        for (int j = 0; j < n; ++j) {
            sum[j] = lanes_.sum(c, j);
        }
        const float* dry = inputCopies_[c < nIn ? c : nIn - 1].data() + start;
        float* out = outputs[c] + start;
        for (int j = 0; j < n; ++j) {
            const float value = (dryGain_ * dry[j] + level * sum[j]) * fade[j];
            out[j] = value;
            clip |= !(value < 1.0f);
        }
    }
    if (clip) {
        clip_.store(1, std::memory_order_relaxed);
    }
    writePosition_ = (w + n) & kRingMask;
}
