#include "engine/CrowdEngine.h"

#include <cmath>
#include <cstdlib>

#include "engine/ChamberReverb.h"
#include "engine/DenormalGuard.h"
#include "engine/Numeric.h"
#include "engine/PortableMath.h"
#include "model/ProgramBankOps.h"
#include "presets/FactoryBank.h"

CrowdEngine::CrowdEngine() {
    loadFactoryBank(bank_);
    inbox_.publish(bank_.programs[0], 0, 0);
    inbox_.takeStaged();
    // Benchmarks open a second instance on the reference path to time both in one process.
    if (const char* reference = std::getenv("ZORNBECK_REFERENCE_PATH")) {
        graph_.setFrameByFrame(reference[0] == '1');
    }
    graph_.prepare(param::kReferenceRate, kInitialCopyCapacity);
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

void CrowdEngine::setupReverb() {
    ChamberReverb& reverb = graph_.reverb();
    reverb.setSampleRate(graph_.sampleRate());
    reverb.setLineScale(0.5f);
    reverb.setModulationRate(0.55f);
    reverb.setModulationDepth(0.5f);
}

void CrowdEngine::prepare(float sampleRate, int maxFrames) {
    graph_.prepare(sampleRate, maxFrames);
    setupReverb();
    // Switching on resets anyway, just below.
    active_ = zb::loadShared(program().value(parActiveIndex)) > 0.0f;
    cancelGlides();
    applyAllParameters();
    resetVoices();
    reverbResetPending_.store(false, std::memory_order_relaxed);
    graph_.reverb().reset();
}

void CrowdEngine::markParameter(int index, float value) {
    if (index < 0 || index >= kNumParams) {
        return;
    }
    // The program first: seeing a newly staged one guarantees seeing its serial.
    const int raw = currentProgram_.load(std::memory_order_acquire);
    const int program = (raw >= 0 && raw < kNumPrograms) ? raw : 0;
    const std::uint32_t serial = inbox_.serial();
    float& stored = bank_.programs[program].value(index);
    if (zb::loadShared(stored) == value) {
        return;  // a host re-sending automation must not dip, glide or reset anything
    }
    const ParamChange change = ParameterTable::row(index).change;
    if (change == ParamChange::kDip) {
        transitions_.startDip();
    } else if (change == ParamChange::kCrossFade) {
        transitions_.startCrossFade(value != 0.0f);
    }
    zb::storeShared(stored, value);
    inbox_.mark(index, serial, program, value);
}

void CrowdEngine::stageProgram(int program) {
    if (program < 0 || program >= kNumPrograms) {
        return;
    }
    const std::uint32_t serial = inbox_.beginStaging();
    currentProgram_.store(program, std::memory_order_release);
    inbox_.publish(bank_.programs[program], program, serial);
}

// A newly staged program replaces the whole applied one at the next fade bottom; until then the
// old one keeps playing unchanged.
void CrowdEngine::adoptStagedProgram() {
    if (inbox_.takeStaged()) {
        transitions_.startDip();
    }
}

void CrowdEngine::selectProgram(int program) {
    if (program < 0 || program >= kNumPrograms) {
        return;
    }
    currentProgram_.store(program, std::memory_order_release);
    transitions_.startDip();
}

void CrowdEngine::setupProgram(int program) {
    if (program >= 0 && program < kNumPrograms) {
        currentProgram_.store(program, std::memory_order_release);
    }
}

void CrowdEngine::resetReverb() {
    reverbResetPending_.store(true, std::memory_order_release);
}

void CrowdEngine::resetVoices() {
    graph_.restartVoices();
    graph_.clearSignal();
}

void CrowdEngine::applyParameter(int index) {
    if (index < 0 || index >= kNumParams) {
        return;
    }
    const Program& values = inbox_.applied();
    if (index >= kFirstPersonIndex) {
        const int person = (index - kFirstPersonIndex) / kSlotsPerPerson;
        const int slot = (index - kFirstPersonIndex) % kSlotsPerPerson;
        graph_.editVoices()[person].applyParameter(slot, values.people[person], graph_.sampleRate());
        return;
    }
    applyGlobal(index, values.value(index));
}

void CrowdEngine::applyGlobal(int index, float x) {
    const Program& values = inbox_.applied();
    switch (index) {
        case parPopulationIndex:
            // Counts stay in range whatever the host sends; the stored value is left alone.
            mix_.population = param::populationCount(x);
            break;
        case parPersonSelectedIndex:
            mix_.selected = param::personNumber(x, mix_.population - 1);
            break;
        case parGlobalWetIndex:
            transitions_.setWet(param::levelGain(x));
            break;
        case parGlobalDryIndex:
            transitions_.setDry(param::levelGain(x));
            break;
        case parSoloIndex:
            mix_.solo = param::soloOn(x);
            break;
        case parAllpassSpreadIndex:
            graph_.setSpread(param::spreadAmount(x));
            break;
        case parPitchAllIndex:
            mix_.shiftAll = 2.0f * zb::sinf(zb::kPi * param::shiftAllHertz(x) / graph_.sampleRate());
            break;
        case parReverbWetIndex:
        case parReverbSizeIndex:
            graph_.reverb().setDecay(zb::loadShared(values.parReverbSize),
                                     zb::loadShared(values.parReverbWet));
            break;
        case parReverbHighCutIndex:
        case parReverbLowCutIndex:
            graph_.reverb().setCuts(zb::loadShared(values.parReverbHighCut),
                                    zb::loadShared(values.parReverbLowCut));
            break;
        case parActiveIndex:
            applyActive(x);
            break;
        default:
            break;
    }
}

// Switching on starts from silence; at a fade's bottom the rings keep the input's past so
// delayed voices come back without an onset.
void CrowdEngine::applyActive(float x) {
    const bool on = param::activeOn(x);
    if (on && (atBottom_ || !active_)) {
        graph_.restartVoices();
        if (!atBottom_) {
            graph_.clearSignal();
        }
        graph_.reverb().reset();
    }
    active_ = on;
    // A program switch re-applies its stored switch here rather than through a mark.
    transitions_.settleCrossFade(param::bypassed(x));
}

// Values heard as a level glide over the pass instead of stepping at its start.
void CrowdEngine::applyGliding(int index, int frames) {
    if (ParameterTable::row(index).change != ParamChange::kGlide) {
        applyParameter(index);
        return;
    }
    if (index == parGlobalWetIndex || index == parGlobalDryIndex) {
        const float wet = transitions_.wet();
        const float dry = transitions_.dry();
        applyParameter(index);
        transitions_.glideLevels(wet, dry, frames);
        return;
    }
    VoiceState& voice = graph_.editVoices()[ParameterTable::row(index).person];
    const float gain = voice.gain;
    const float pan0 = voice.panGain[0];
    const float pan1 = voice.panGain[1];
    const float depth = voice.delayModDepth;
    applyParameter(index);
    transitions_.markGliding(voice.glideFrom(gain, pan0, pan1, depth, frames));
}

// The end of a glide lands exactly on its value, whatever the rounding of the steps.
void CrowdEngine::finishGlides() {
    if (!transitions_.gliding()) {
        return;
    }
    transitions_.finishGlides();
    graph_.finishVoiceGlides();
    cancelGlides();
}

void CrowdEngine::cancelGlides() {
    transitions_.cancelGlides();
    graph_.cancelVoiceGlides();
}

void CrowdEngine::applyPendingParameters() {
    for (int index = 0; index < kNumParams; ++index) {
        if (inbox_.take(index)) {
            applyParameter(index);
        }
    }
}

void CrowdEngine::applyAllParameters() {
    // Everything is applied: the newest staged program, with the values marked since.
    inbox_.takeStaged();
    inbox_.foldIntoApplied();
    for (int index = 0; index < kNumParams; ++index) {
        applyParameter(index);
    }
}

// At the bottom of a dip everything is reset and re-applied once.
void CrowdEngine::resetAtBottom() {
    cancelGlides();
    atBottom_ = true;
    graph_.restartVoices();
    if (reverbResetPending_.exchange(false, std::memory_order_acquire)) {
        graph_.reverb().reset();
    }
    applyAllParameters();
    atBottom_ = false;
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
    const int capacity = graph_.passCapacity();
    int done = 0;
    while (done < frames) {
        const int n = frames - done < capacity ? frames - done : capacity;
        float* in[2] = {inputs[0] + done, inputs[nIn - 1] + done};
        float* out[2] = {outputs[0] + done, outputs[nOut - 1] + done};
        processPass(in, out, nIn, nOut, n);
        done += n;
    }
}

void CrowdEngine::processPass(float** inputs, float** outputs, int nIn, int nOut, int frames) {
    mix_.levelScale = mix_.solo ? 1.0f : 1.0f / std::sqrt(static_cast<float>(mix_.population));
    const float level = mix_.levelScale * transitions_.wet() * RenderGraph::kWetLevel;
    if (!transitions_.dipping()) {
        if (reverbResetPending_.load(std::memory_order_relaxed) &&
            reverbResetPending_.exchange(false, std::memory_order_acquire)) {
            graph_.reverb().reset();
        }
        if (frames > 0 && inbox_.takeAnyMarked()) {
            for (int index = 0; index < kNumParams; ++index) {
                if (inbox_.take(index)) {
                    applyGliding(index, frames);
                }
            }
        }
    }
    graph_.renderPass(inputs, outputs, nIn, nOut, frames, level);
    finishGlides();
}
