#include "engine/VoiceState.h"

#include <cmath>

#include "engine/Numeric.h"
#include "engine/PortableMath.h"
#include "model/RuntimeRandom.h"

namespace {

constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;

float oscillatorCoefficient(float hertz, float sampleRate) {
    return 2.0f * zb::sinf(kPi * hertz / sampleRate);
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
