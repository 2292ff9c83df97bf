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
            const float x = zb::unitValue(zb::loadShared(person.parPitchShift));
            shiftCoefficient = oscillatorCoefficient(160.0f * (x - 0.5f), sampleRate);
            break;
        }
        case slotPitchModGain:
        case slotPitchModSpeed: {
            const float speed = zb::unitValue(zb::loadShared(person.parPitchModSpeed));
            const float hertz = 2.6f * (speed * speed * speed) + 0.2f;
            pitchModCoefficient = oscillatorCoefficient(hertz, sampleRate);
            pitchModDepth = 0.01f * zb::unitValue(zb::loadShared(person.parPitchModGain));
            break;
        }
        case slotDelayTime: {
            const float x = zb::unitValue(zb::loadShared(person.parDelayTime));
            fadeStep = -0.0002f;
            // The engine's ring is sized at prepare for the longest delay at its rate.
            pendingDelay =
                zb::saturatingTrunc(((x * 14700.0f) * sampleRate) * 2.2675737e-5f, -(1 << 20), 1 << 20);
            break;
        }
        case slotDelayModGain:
        case slotDelayModSpeed: {
            const float speed = zb::unitValue(zb::loadShared(person.parDelayModSpeed));
            const float hertz = 2.0f * (speed * speed * speed * speed) + 0.1f;
            delayModCoefficient = oscillatorCoefficient(hertz, sampleRate);
            delayModDepth = 550.0f * zb::unitValue(zb::loadShared(person.parDelayModGain));
            delayModDepthTarget = delayModDepth;
            delayModDepthStep = 0.0f;
            break;
        }
        case slotPan: {
            const float x = zb::unitValue(zb::loadShared(person.parPan));
            panGain[0] = panLaw(x + 1.0f);
            panGain[1] = panLaw(x);
            panTarget[0] = panGain[0];
            panTarget[1] = panGain[1];
            panStep[0] = 0.0f;
            panStep[1] = 0.0f;
            break;
        }
        case slotGain:
            gain = (0.8f * zb::unitValue(zb::loadShared(person.parGain)) + 0.2f) * 0.5f;
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
