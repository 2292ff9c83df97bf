#include "engine/CrowdEngine.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/ChamberReverb.h"
#include "engine/Numeric.h"
#include "engine/PortableMath.h"
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

// A marked value travels with the program it was stored into and the staging it followed.
constexpr std::uint32_t kSerialMask = 0xFFFFFFu;

std::uint64_t packIncoming(std::uint32_t serial, int program, float value) {
    return (static_cast<std::uint64_t>(serial & kSerialMask) << 40) |
           (static_cast<std::uint64_t>(program & 0xFF) << 32) | std::bit_cast<std::uint32_t>(value);
}

}  // namespace

CrowdEngine::CrowdEngine() {
    loadFactoryBank(bank_);
    for (auto& mark : pending_) {
        mark.store(0, std::memory_order_relaxed);
    }
    for (auto& value : incoming_) {
        value.store(0, std::memory_order_relaxed);
    }
    handover_.publish(bank_.programs[0], 0, 0);
    handover_.take();
    // Benchmarks open a second instance on the reference path to time both in one process.
    if (const char* reference = std::getenv("ZORNBECK_REFERENCE_PATH")) {
        frameByFrame_ = reference[0] == '1';
    }
    reverb_ = std::make_unique<ChamberReverb>();
    allocateFor(44100.0f, kInitialCopyCapacity);
    setupReverb();
    applyAllParameters();
    resetVoices();
    ready_ = true;
}

CrowdEngine::~CrowdEngine() = default;

int CrowdEngine::currentProgramIndex() const {
    const int program = currentProgram_.load(std::memory_order_relaxed);
    return (program >= 0 && program < kNumPrograms) ? program : 0;
}

namespace {
int ringSizeFor(float sampleRate) {
    // The longest delay (a third of a second), the widest swing, one run ahead and the
    // interpolation's second frame.
    const int reach = static_cast<int>(sampleRate / 3.0f) + 556 + VoiceLanes::kMaxFrames + 4;
    int size = CrowdEngine::kMinRingSize;
    while (size < reach) {
        size *= 2;
    }
    return size;
}
}  // namespace

void CrowdEngine::allocateFor(float sampleRate, int maxFrames) {
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
        globalFades_ = std::make_unique<float[]>(static_cast<std::size_t>(copyCapacity_));
        activeFades_ = std::make_unique<float[]>(static_cast<std::size_t>(copyCapacity_));
    }
    for (QuadratureAllpass& analyser : analysers_) {
        analyser.setSampleRate(sampleRate_);
    }
    reserveSpread(spreadChains_, spreadRandom_, sampleRate_);
    spread_ = -1.0f;  // the lines were cleared: rebuild at the next apply
}

void CrowdEngine::setupReverb() {
    reverb_->setSampleRate(sampleRate_);
    reverb_->setLineScale(0.5f);
    reverb_->setModulationRate(0.55f);
    reverb_->setModulationDepth(0.5f);
}

void CrowdEngine::prepare(float sampleRate, int maxFrames) {
    allocateFor(sampleRate, maxFrames);
    setupReverb();
    // Switching on resets anyway, just below.
    active_ = zb::loadShared(program().value(parActiveIndex)) > 0.0f;
    cancelGlides();
    applyAllParameters();
    resetVoices();
    reverbResetPending_.store(false, std::memory_order_relaxed);
    reverb_->reset();
}

void CrowdEngine::markParameter(int index, float value) {
    if (index < 0 || index >= kNumParams) {
        return;
    }
    // The program first: seeing a newly staged one guarantees seeing its serial.
    const int raw = currentProgram_.load(std::memory_order_acquire);
    const int program = (raw >= 0 && raw < kNumPrograms) ? raw : 0;
    const std::uint32_t serial = stageSerial_.load(std::memory_order_relaxed);
    float& stored = bank_.programs[program].value(index);
    if (zb::loadShared(stored) == value) {
        return;  // a host re-sending automation must not dip, glide or reset anything
    }
    const ParamChange change = ParameterTable::row(index).change;
    if (change == ParamChange::kDip) {
        globalFadeStep_.store(-kGlobalFadeStep, std::memory_order_relaxed);
    } else if (change == ParamChange::kCrossFade) {
        activeFadeStep_.store(value != 0.0f ? kActiveFadeStep : -kActiveFadeStep, std::memory_order_relaxed);
    }
    zb::storeShared(stored, value);
    incoming_[index].store(packIncoming(serial, program, value), std::memory_order_relaxed);
    pending_[index].store(1, std::memory_order_release);
    anyPending_.store(true, std::memory_order_release);
}

void CrowdEngine::stageProgram(int program) {
    if (program < 0 || program >= kNumPrograms) {
        return;
    }
    // Marks from before this copy are either in it or belong to another program.
    for (auto& mark : pending_) {
        mark.store(0, std::memory_order_relaxed);
    }
    const std::uint32_t serial = stageSerial_.load(std::memory_order_relaxed) + 1;
    stageSerial_.store(serial, std::memory_order_relaxed);
    currentProgram_.store(program, std::memory_order_release);
    handover_.publish(bank_.programs[program], program, serial);
}

// A newly staged program replaces the whole applied one at the next fade bottom; until then the
// old one keeps playing unchanged.
void CrowdEngine::adoptStagedProgram() {
    if (handover_.take()) {
        globalFadeStep_.store(-kGlobalFadeStep, std::memory_order_relaxed);
    }
}

// Takes a marked value into the applied program when it belongs there. A value stored after a
// staging the audio side has not taken yet waits for it; one stored into a program no longer
// playing is dropped (its program keeps it).
bool CrowdEngine::takePending(int index) {
    if (pending_[index].load(std::memory_order_relaxed) == 0) {
        return false;
    }
    // Cleared before the value is read, so a newer mark is never lost.
    pending_[index].exchange(0, std::memory_order_acquire);
    const std::uint64_t incoming = incoming_[index].load(std::memory_order_relaxed);
    const int program = static_cast<int>((incoming >> 32) & 0xFF);
    const std::uint32_t serial = static_cast<std::uint32_t>(incoming >> 40);
    const std::uint32_t ahead = (serial - handover_.currentSerial()) & kSerialMask;
    if (ahead != 0 && ahead <= kSerialMask / 2) {
        pending_[index].store(1, std::memory_order_relaxed);
        anyPending_.store(true, std::memory_order_relaxed);
        return false;
    }
    if (program != handover_.currentNumber()) {
        return false;
    }
    handover_.current().value(index) = std::bit_cast<float>(static_cast<std::uint32_t>(incoming));
    return true;
}

// Before everything is applied at once: the marks of the applied program go into it.
void CrowdEngine::foldPendingIntoApplied() {
    for (int index = 0; index < kNumParams; ++index) {
        takePending(index);
    }
}

void CrowdEngine::selectProgram(int program) {
    if (program < 0 || program >= kNumPrograms) {
        return;
    }
    currentProgram_.store(program, std::memory_order_release);
    globalFadeStep_.store(-kGlobalFadeStep, std::memory_order_relaxed);
}

void CrowdEngine::setupProgram(int program) {
    if (program >= 0 && program < kNumPrograms) {
        currentProgram_.store(program, std::memory_order_release);
    }
}

void CrowdEngine::resetReverb() {
    reverbResetPending_.store(true, std::memory_order_release);
}

// The render loop keeps the voices in lanes_ from block to block; the records catch up only
// when something outside the loop reads or changes them.
VoiceState* CrowdEngine::editVoices() {
    if (lanesAhead_) {
        lanes_.store(voices_, kNumPeople);
        lanesAhead_ = false;
    }
    lanesStale_ = true;
    return voices_;
}

const VoiceState& CrowdEngine::voice(int v) {
    if (lanesAhead_) {
        lanes_.store(voices_, kNumPeople);
        lanesAhead_ = false;
    }
    return voices_[v];
}

void CrowdEngine::restartVoices() {
    editVoices();
    for (VoiceState& voice : voices_) {
        voice.reset();
    }
}

void CrowdEngine::clearSignalState() {
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

void CrowdEngine::resetVoices() {
    restartVoices();
    clearSignalState();
}

void CrowdEngine::rebuildSpread(float x) {
    ::rebuildSpread(spreadChains_, spreadRandom_, x, sampleRate_);
}

void CrowdEngine::applyParameter(int index) {
    if (index < 0 || index >= kNumParams) {
        return;
    }
    const Program& values = handover_.current();
    const float x = values.value(index);
    const float sampleRate = sampleRate_;
    switch (index) {
        case parPopulationIndex:
            // Counts stay in range whatever the host sends; the stored value is left alone.
            population_ = param::populationCount(x);
            break;
        case parPersonSelectedIndex:
            selected_ = param::personNumber(x, population_ - 1);
            break;
        case parGlobalWetIndex: {
            wetGain_ = param::levelGain(x);
            wetTarget_ = wetGain_;
            wetStep_ = 0.0f;
            break;
        }
        case parGlobalDryIndex: {
            dryGain_ = param::levelGain(x);
            dryTarget_ = dryGain_;
            dryStep_ = 0.0f;
            break;
        }
        case parSoloIndex:
            solo_ = param::soloOn(x) ? 1 : 0;
            break;
        case parAllpassSpreadIndex: {
            // An unchanged value keeps the lines ringing through a program change.
            const float u = param::spreadAmount(x);
            if (u != spread_) {
                spread_ = u;
                rebuildSpread(u);
            }
            break;
        }
        case parPitchAllIndex:
            shiftAll_ = 2.0f * zb::sinf(kPi * param::shiftAllHertz(x) / sampleRate);
            break;
        case parReverbWetIndex:
        case parReverbSizeIndex:
            reverb_->setDecay(zb::loadShared(values.parReverbSize), zb::loadShared(values.parReverbWet));
            break;
        case parReverbHighCutIndex:
        case parReverbLowCutIndex:
            reverb_->setCuts(zb::loadShared(values.parReverbHighCut), zb::loadShared(values.parReverbLowCut));
            break;
        case parActiveIndex: {
            // Switching on starts from silence; at a fade's bottom the rings keep the input's
            // past so delayed voices come back without an onset.
            const bool on = param::activeOn(x);
            if (on && (atBottom_ || !active_)) {
                restartVoices();
                if (!atBottom_) {
                    clearSignalState();
                }
                reverb_->reset();
            }
            active_ = on;
            // A program switch re-applies its stored switch here rather than through a mark.
            const bool bypass = param::bypassed(x);
            if (activeFadeValue_ != (bypass ? 0.0f : 1.0f)) {
                activeFadeStep_.store(bypass ? -kActiveFadeStep : kActiveFadeStep, std::memory_order_relaxed);
            }
            break;
        }
        default:
            if (index >= kFirstPersonIndex) {
                const int person = (index - kFirstPersonIndex) / kSlotsPerPerson;
                const int slot = (index - kFirstPersonIndex) % kSlotsPerPerson;
                editVoices()[person].applyParameter(slot, values.people[person], sampleRate);
            }
            break;
    }
}

namespace {
// Holds `value` at `from` and lets it step towards the value just converted over `frames`.
bool glide(float& value, float& step, float& target, float from, int frames) {
    target = value;
    if (target == from) {
        step = 0.0f;
        return false;
    }
    step = (target - from) / static_cast<float>(frames);
    value = from;
    return true;
}
}  // namespace

// Values heard as a level glide over the pass instead of stepping at its start.
void CrowdEngine::applyGliding(int index, int frames) {
    if (ParameterTable::row(index).change != ParamChange::kGlide) {
        applyParameter(index);
        return;
    }
    if (index == parGlobalWetIndex || index == parGlobalDryIndex) {
        const float wet = wetGain_;
        const float dry = dryGain_;
        applyParameter(index);
        gliding_ |= glide(wetGain_, wetStep_, wetTarget_, wet, frames);
        gliding_ |= glide(dryGain_, dryStep_, dryTarget_, dry, frames);
        return;
    }
    VoiceState& voice = editVoices()[ParameterTable::row(index).person];
    const float gain = voice.gain;
    const float pan0 = voice.panGain[0];
    const float pan1 = voice.panGain[1];
    const float depth = voice.delayModDepth;
    applyParameter(index);
    gliding_ |= glide(voice.gain, voice.gainStep, voice.gainTarget, gain, frames);
    gliding_ |= glide(voice.panGain[0], voice.panStep[0], voice.panTarget[0], pan0, frames);
    gliding_ |= glide(voice.panGain[1], voice.panStep[1], voice.panTarget[1], pan1, frames);
    gliding_ |= glide(voice.delayModDepth, voice.delayModDepthStep, voice.delayModDepthTarget, depth, frames);
}

// The end of a glide lands exactly on its value, whatever the rounding of the steps.
void CrowdEngine::finishGlides() {
    if (!gliding_) {
        return;
    }
    wetGain_ = wetTarget_;
    dryGain_ = dryTarget_;
    editVoices();
    for (VoiceState& voice : voices_) {
        voice.gain = voice.gainTarget;
        voice.panGain[0] = voice.panTarget[0];
        voice.panGain[1] = voice.panTarget[1];
        voice.delayModDepth = voice.delayModDepthTarget;
    }
    cancelGlides();
}

void CrowdEngine::cancelGlides() {
    gliding_ = false;
    wetStep_ = 0.0f;
    dryStep_ = 0.0f;
    editVoices();
    for (VoiceState& voice : voices_) {
        voice.gainStep = 0.0f;
        voice.panStep[0] = 0.0f;
        voice.panStep[1] = 0.0f;
        voice.delayModDepthStep = 0.0f;
    }
}

void CrowdEngine::applyPendingParameters() {
    for (int index = 0; index < kNumParams; ++index) {
        if (takePending(index)) {
            applyParameter(index);
        }
    }
}

void CrowdEngine::applyAllParameters() {
    // Everything is applied: the newest staged program, with the values marked since.
    handover_.take();
    foldPendingIntoApplied();
    for (int index = 0; index < kNumParams; ++index) {
        applyParameter(index);
    }
}

// A non-finite sample from the host enters as silence, so it cannot poison rings and lines.
void CrowdEngine::copyInputs(float** inputs, float** outputs, int inputCount, int frames) {
    for (int i = 0; i < inputCount; ++i) {
        const float* in = inputs[i];
        float* copy = inputCopies_[i].data();
        for (int l = 0; l < frames; ++l) {
            const float x = in[l];
            copy[l] = x - x == 0.0f ? x : 0.0f;
        }
    }
    (void)outputs;
}

void CrowdEngine::process(float** inputs, float** outputs, int inputCount, int outputCount, int frames) {
    if (!ready_ || frames < 0 || inputCount <= 0 || outputCount <= 0) {
        return;
    }
    DenormalGuard denormals;
    adoptStagedProgram();
    const int nIn = inputCount < 2 ? inputCount : 2;
    const int nOut = outputCount < 2 ? outputCount : 2;
    // A host that exceeds its declared block size is served in passes of the prepared length.
    int done = 0;
    while (done < frames) {
        const int n = frames - done < copyCapacity_ ? frames - done : copyCapacity_;
        float* in[2] = {inputs[0] + done, inputs[nIn - 1] + done};
        float* out[2] = {outputs[0] + done, outputs[nOut - 1] + done};
        processPass(in, out, nIn, nOut, n);
        done += n;
    }
}

void CrowdEngine::processPass(float** inputs, float** outputs, int nIn, int nOut, int frames) {
    levelScale_ = solo_ != 0 ? 1.0f : 1.0f / std::sqrt(static_cast<float>(population_));
    const float level = levelScale_ * wetGain_ * 5.0f;
    if (globalFadeStep_.load(std::memory_order_relaxed) == 0.0f) {
        if (reverbResetPending_.load(std::memory_order_relaxed) &&
            reverbResetPending_.exchange(false, std::memory_order_acquire)) {
            reverb_->reset();
        }
        // Most blocks have nothing to apply: one flag spares the scan of every mark.
        if (frames > 0 && anyPending_.load(std::memory_order_relaxed) &&
            anyPending_.exchange(false, std::memory_order_acquire)) {
            for (int index = 0; index < kNumParams; ++index) {
                if (takePending(index)) {
                    applyGliding(index, frames);
                }
            }
        }
    }
    copyInputs(inputs, outputs, nIn, frames);

    // Segments end where a fade reaches its bottom, so the reverb is reset at that very frame.
    int start = 0;
    while (start < frames) {
        fadeMoved_ = false;
        bypassed_ = false;
        const int n = frameByFrame_ ? renderFrameByFrame(outputs, nIn, nOut, start, frames - start)
                                    : renderSubBlocks(nIn, nOut, outputs, start, frames - start);
        float* segment[2] = {outputs[0] + start, outputs[nOut - 1] + start};
        if (frameByFrame_) {
            reverb_->processFrameByFrame(segment, segment, n, level, nOut);
        } else {
            reverb_->process(segment, segment, n, level, nOut);
        }
        finishSegment(nIn, nOut, outputs, start, n);
        start += n;
    }
    finishGlides();
}

// The global fade covers the reverb too, so a reset at the bottom is never heard; the bypass
// cross-fade follows frame by frame.
void CrowdEngine::finishSegment(int nIn, int nOut, float** outputs, int start, int frames) {
    const float* fades = globalFades_.get() + start;
    const bool fading = fadeMoved_;
    if (fading) {
        for (int c = 0; c < nOut; ++c) {
            float* out = outputs[c] + start;
            for (int l = 0; l < frames; ++l) {
                out[l] = out[l] * fades[l];
            }
        }
    }
    const float* active = activeFades_.get() + start;
    const bool bypassing = bypassed_;
    if (bypassing) {
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

// One frame of the global fade. At the bottom everything is reset and re-applied once; changes
// that keep arriving hold the silence until a fade length has passed since the last reset, so
// their cost stays that of a steady block. Returns false if the bottom must open a new segment
// (`first` is false).
bool CrowdEngine::reachBottom(bool first) {
    const float step = globalFadeStep_.load(std::memory_order_relaxed);
    if (framesSinceBottom_ < kFadeFrames) {
        ++framesSinceBottom_;
    }
    if (step == 0.0f) {
        return true;
    }
    const float value = globalFadeValue_ + step;
    if (value > 0.0f && value >= 1.0f) {
        globalFadeValue_ = 1.0f;
        globalFadeStep_.store(0.0f, std::memory_order_relaxed);
    } else if (value <= 0.0f) {
        globalFadeValue_ = 0.0f;
        if (framesSinceBottom_ < kFadeFrames) {
            return true;
        }
        if (!first) {
            return false;
        }
        globalFadeStep_.store(kGlobalFadeStep, std::memory_order_relaxed);
        framesSinceBottom_ = 0;
        cancelGlides();
        atBottom_ = true;
        restartVoices();
        if (reverbResetPending_.exchange(false, std::memory_order_acquire)) {
            reverb_->reset();
        }
        applyAllParameters();
        atBottom_ = false;
    } else {
        globalFadeValue_ = value;
    }
    return true;
}

// Glides and the active fade, one frame.
void CrowdEngine::stepGlobals() {
    if (gliding_) {
        wetGain_ = wetGain_ + wetStep_;
        dryGain_ = dryGain_ + dryStep_;
    }
    advanceActiveFade();
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

int CrowdEngine::renderFrameByFrame(float** outputs, int nIn, int nOut, int start, int frames) {
    editVoices();
    const int end = start + frames;
    for (int l = start; l < end; ++l) {
        if (!reachBottom(l == start)) {
            return l - start;
        }
        stepGlobals();
        globalFades_[l] = globalFadeValue_;
        activeFades_[l] = activeFadeValue_;
        fadeMoved_ |= globalFadeValue_ != 1.0f;
        bypassed_ |= activeFadeValue_ < 1.0f;
        const float level = levelScale_ * wetGain_ * 5.0f;

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
            analysers_[c].step(outputs[c][l] + 1e-20f, re, im);
            ring_[kRingFrame * writePosition_ + 2 * c] = re;
            ring_[kRingFrame * writePosition_ + 2 * c + 1] = im;
        }
        if (writePosition_ == 0) {
            for (int c = 0; c < nOut; ++c) {
                ring_[kRingFrame * ringSize_ + 2 * c] = ring_[2 * c];
                ring_[kRingFrame * ringSize_ + 2 * c + 1] = ring_[2 * c + 1];
            }
        }

        for (int v = 0; v < population_; ++v) {
            if (gliding_) {
                voices_[v].stepRamp();
            }
            voices_[v].stepModulation(writePosition_, ringMask_);
        }

        float sum[2] = {0.0f, 0.0f};
        for (int v = 0; v < population_; ++v) {
            if (solo_ == 0 || v == selected_) {
                voices_[v].readout(ring_.get(), shiftAll_, sum, nOut);
                voices_[v].stepFade();
            }
        }

        for (int c = 0; c < nOut; ++c) {
            const float out = dryGain_ * dry[c < nIn ? c : nIn - 1] + level * sum[c];
            outputs[c][l] = out;
            if (!(out * globalFadeValue_ < 1.0f)) {
                clip_.store(1, std::memory_order_relaxed);
            }
        }
        writePosition_ = (writePosition_ + 1) & ringMask_;
    }
    return frames;
}

// How many frames the voices may run ahead of the ring: no read of a frame in the run may land
// on a ring position that a later frame of the same run has already overwritten. Read from the
// lanes, which hold the voices while the loop renders; `frames` ahead covers the glides.
int CrowdEngine::longestSafeRun(int frames) const {
    float longest = 0.0f;
    for (int v = 0; v < population_; ++v) {
        const int current = lanes_.currentDelay[v];
        const int pending = lanes_.pendingDelay[v];
        const int delay = current > pending ? current : pending;
        const float depth =
            std::fabs(lanes_.delayModDepth[v]) +
            (gliding_ ? std::fabs(lanes_.delayModDepthStep[v]) * static_cast<float>(frames) : 0.0f);
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
// the segment ends before a global-fade bottom that is not its first frame. Within a run each
// stage runs over all its frames before the next one starts. Returns the frames rendered.
int CrowdEngine::renderSubBlocks(int nIn, int nOut, float** outputs, int first, int frames) {
    // The first frame's fade step while the voices are in their records: a bottom resets them.
    reachBottom(true);
    if (lanesStale_) {
        lanes_.load(voices_, kNumPeople);
        lanesStale_ = false;
    }
    lanesAhead_ = true;
    // Delays change only at a bottom, which ends the segment, and depths only by their glides.
    const int safe = longestSafeRun(frames);
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
        int j = 0;
        const bool steady = globalFadeStep_.load(std::memory_order_relaxed) == 0.0f &&
                            activeFadeStep_.load(std::memory_order_relaxed) == 0.0f && !gliding_;
        if (steady) {
            // Nothing moves: no frame needs its own step.
            const int counted = start == first ? n - 1 : n;
            framesSinceBottom_ =
                framesSinceBottom_ + counted < kFadeFrames ? framesSinceBottom_ + counted : kFadeFrames;
            std::fill_n(globalFades_.get() + start, n, globalFadeValue_);
            std::fill_n(activeFades_.get() + start, n, activeFadeValue_);
            fadeMoved_ |= globalFadeValue_ != 1.0f;
            bypassed_ |= activeFadeValue_ < 1.0f;
            runSubBlock(nIn, nOut, outputs, start, n, globalFades_.get() + start, nullptr, nullptr);
            start += n;
            continue;
        }
        for (; j < n; ++j) {
            if (start + j != first && !reachBottom(false)) {
                bottom = true;  // the bottom frame opens the next segment
                break;
            }
            stepGlobals();
            globalFades_[start + j] = globalFadeValue_;
            activeFades_[start + j] = activeFadeValue_;
            fadeMoved_ |= globalFadeValue_ != 1.0f;
            bypassed_ |= activeFadeValue_ < 1.0f;
            dryGains[j] = dryGain_;
            levels[j] = levelScale_ * wetGain_ * 5.0f;
        }
        if (j > 0) {
            runSubBlock(nIn, nOut, outputs, start, j, globalFades_.get() + start, dryGains, levels);
        }
        start += j;
    }
    return start - first;
}

void CrowdEngine::runSubBlock(int nIn, int nOut, float** outputs, int start, int n, const float* fade,
                              const float* dryGains, const float* levels) {
    const int w = writePosition_;
    for (int c = 0; c < nOut; ++c) {
        const float* dry = inputCopies_[c < nIn ? c : nIn - 1].data() + start;
        float* x = scratch_[c];
        if (spread_ > 0.0f) {
            // A section only reads its own past, so each can take the whole run in turn.
            for (int j = 0; j < n; ++j) {
                x[j] = dry[j];
            }
            runSpreadChain(spreadChains_[c], x, n);
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
            ring_[kRingFrame * ringSize_ + 2 * c] = ring_[2 * c];
            ring_[kRingFrame * ringSize_ + 2 * c + 1] = ring_[2 * c + 1];
        }
    }

    renderVoiceLanes(lanes_, population_, solo_ != 0, selected_, ring_.get(), ringMask_, w, n, shiftAll_,
                     gliding_ ? n : 0);

    bool clip = false;
    for (int c = 0; c < nOut; ++c) {
        float* sum = voiceSum_[c];
        for (int j = 0; j < n; ++j) {
            sum[j] = lanes_.sum(c, j);
        }
        const float* dry = inputCopies_[c < nIn ? c : nIn - 1].data() + start;
        float* out = outputs[c] + start;
        if (dryGains == nullptr) {
            const float dryGain = dryGain_;
            const float level = levelScale_ * wetGain_ * 5.0f;
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
    writePosition_ = (w + n) & ringMask_;
}
