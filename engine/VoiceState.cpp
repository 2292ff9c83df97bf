#include "engine/VoiceState.h"

#include <cmath>

#include "engine/Numeric.h"
#include "engine/PortableMath.h"
#include "model/RuntimeRandom.h"

namespace {

using zb::kPi;
using zb::kTwoPi;

float oscillatorCoefficient(float hertz, float sampleRate) {
    return 2.0f * zb::sinf(kPi * hertz / sampleRate);
}

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

void randomPhase(float& s, float& c) {
    const float phi = static_cast<float>(RuntimeRandom::next()) * (1.0f / 32768.0f) * kTwoPi;
    s = zb::sinf(phi);
    c = zb::cosf(phi);
}

}  // namespace

VoiceState::VoiceState() {
    randomPhase(shiftSin, shiftCos);
}

float VoiceState::panLaw(float t) {
    if (t > 1.0f) {
        t = 2.0f - t;
    }
    return 1.5f * t - 0.5f * (t * t * t);
}

void VoiceState::applyParameter(int slot, const Individual& person, float sampleRate) {
    switch (slot) {
        case slotPitchShift: {
            shiftCoefficient = oscillatorCoefficient(param::pitchShiftHertz(zb::loadShared(person.parPitchShift)), sampleRate);
            break;
        }
        case slotPitchModGain:
        case slotPitchModSpeed: {
            pitchModCoefficient =
                oscillatorCoefficient(param::pitchModHertz(zb::loadShared(person.parPitchModSpeed)), sampleRate);
            pitchModDepth = param::pitchModDepth(zb::loadShared(person.parPitchModGain));
            break;
        }
        case slotDelayTime: {
            const float samples = param::delayReferenceSamples(zb::loadShared(person.parDelayTime));
            fadeStep = -kVoiceFadeStep;
            // The engine's ring is sized at prepare for the longest delay at its rate.
            pendingDelay = zb::saturatingTrunc((samples * sampleRate) * param::kReferenceRateReciprocal,
                                               -(1 << 20), 1 << 20);
            break;
        }
        case slotDelayModGain:
        case slotDelayModSpeed: {
            delayModCoefficient =
                oscillatorCoefficient(param::delayModHertz(zb::loadShared(person.parDelayModSpeed)), sampleRate);
            delayModDepth = param::delayModDepth(zb::loadShared(person.parDelayModGain));
            delayModDepthTarget = delayModDepth;
            delayModDepthStep = 0.0f;
            break;
        }
        case slotPan: {
            const float x = param::panPosition(zb::loadShared(person.parPan));
            panGain[0] = panLaw(x + 1.0f);
            panGain[1] = panLaw(x);
            panTarget[0] = panGain[0];
            panTarget[1] = panGain[1];
            panStep[0] = 0.0f;
            panStep[1] = 0.0f;
            break;
        }
        case slotGain:
            gain = param::personGain(zb::loadShared(person.parGain));
            gainTarget = gain;
            gainStep = 0.0f;
            break;
        default:
            break;
    }
}

void VoiceState::reset() {
    randomPhase(shiftSin, shiftCos);
    randomPhase(pitchModSin, pitchModCos);
    randomPhase(delayModSin, delayModCos);
    currentDelay = pendingDelay;
}

bool VoiceState::glideFrom(float gainBefore, float pan0Before, float pan1Before, float depthBefore, int frames) {
    bool moving = glide(gain, gainStep, gainTarget, gainBefore, frames);
    moving |= glide(panGain[0], panStep[0], panTarget[0], pan0Before, frames);
    moving |= glide(panGain[1], panStep[1], panTarget[1], pan1Before, frames);
    moving |= glide(delayModDepth, delayModDepthStep, delayModDepthTarget, depthBefore, frames);
    return moving;
}
