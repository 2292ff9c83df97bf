#include "engine/VoiceLanes.h"

#include <cstring>

namespace {

typedef float Floats __attribute__((vector_size(32)));
typedef int Ints __attribute__((vector_size(32)));

constexpr int kGroup = 8;

}  // namespace

void VoiceLanes::load(const VoiceState* voices, int count) {
    // Padding lanes copy the last record: a constructed VoiceState would draw a random phase.
    for (int v = 0; v < kLanes; ++v) {
        const VoiceState& s = voices[v < count ? v : count - 1];
        delayModSin[v] = s.delayModSin;
        delayModCos[v] = s.delayModCos;
        delayModCoefficient[v] = s.delayModCoefficient;
        delayModDepth[v] = s.delayModDepth;
        pitchModSin[v] = s.pitchModSin;
        pitchModCos[v] = s.pitchModCos;
        pitchModCoefficient[v] = s.pitchModCoefficient;
        pitchModDepth[v] = s.pitchModDepth;
        shiftSin[v] = s.shiftSin;
        shiftCos[v] = s.shiftCos;
        shiftCoefficient[v] = s.shiftCoefficient;
        gain[v] = s.gain;
        panGain0[v] = s.panGain[0];
        panGain1[v] = s.panGain[1];
        fadeValue[v] = s.fadeValue;
        fadeStep[v] = s.fadeStep;
        currentDelay[v] = s.currentDelay;
        pendingDelay[v] = s.pendingDelay;
        delayFraction[v] = s.delayFraction;
        readIndex[v] = s.readIndex;
    }
}

void VoiceLanes::store(VoiceState* voices, int count) const {
    for (int v = 0; v < count && v < kLanes; ++v) {
        VoiceState& s = voices[v];
        s.delayModSin = delayModSin[v];
        s.delayModCos = delayModCos[v];
        s.pitchModSin = pitchModSin[v];
        s.pitchModCos = pitchModCos[v];
        s.shiftSin = shiftSin[v];
        s.shiftCos = shiftCos[v];
        s.fadeValue = fadeValue[v];
        s.fadeStep = fadeStep[v];
        s.currentDelay = currentDelay[v];
        s.delayFraction = delayFraction[v];
        s.readIndex = readIndex[v];
    }
}

// Every lane computes exactly what VoiceState's frame steps compute, operation for operation,
// so the result does not depend on which of the two versions the processor runs.
__attribute__((target_clones("avx2", "default"))) void renderVoiceLanes(VoiceLanes& lanes, int population, bool solo,
                                                                        int selected, const float* ring, int write,
                                                                        int frames, float shiftAll) {
    const int groups = (population + kGroup - 1) / kGroup;
    for (int group = 0; group < groups; ++group) {
        const int first = group * kGroup;
        Floats dmS, dmC, dmK, dmDepth, pmS, pmC, pmK, pmDepth, shS, shC, shK, gain, pan0, pan1, fade, step;
        Ints current, pending;
        std::memcpy(&dmS, lanes.delayModSin + first, sizeof dmS);
        std::memcpy(&dmC, lanes.delayModCos + first, sizeof dmC);
        std::memcpy(&dmK, lanes.delayModCoefficient + first, sizeof dmK);
        std::memcpy(&dmDepth, lanes.delayModDepth + first, sizeof dmDepth);
        std::memcpy(&pmS, lanes.pitchModSin + first, sizeof pmS);
        std::memcpy(&pmC, lanes.pitchModCos + first, sizeof pmC);
        std::memcpy(&pmK, lanes.pitchModCoefficient + first, sizeof pmK);
        std::memcpy(&pmDepth, lanes.pitchModDepth + first, sizeof pmDepth);
        std::memcpy(&shS, lanes.shiftSin + first, sizeof shS);
        std::memcpy(&shC, lanes.shiftCos + first, sizeof shC);
        std::memcpy(&shK, lanes.shiftCoefficient + first, sizeof shK);
        std::memcpy(&gain, lanes.gain + first, sizeof gain);
        std::memcpy(&pan0, lanes.panGain0 + first, sizeof pan0);
        std::memcpy(&pan1, lanes.panGain1 + first, sizeof pan1);
        std::memcpy(&fade, lanes.fadeValue + first, sizeof fade);
        std::memcpy(&step, lanes.fadeStep + first, sizeof step);
        std::memcpy(&current, lanes.currentDelay + first, sizeof current);
        std::memcpy(&pending, lanes.pendingDelay + first, sizeof pending);

        // Lanes beyond the population stand still, and inaudible ones keep their shift phase
        // and fade: their results are discarded below, and a held fade never moves the delay.
        Ints active;
        Ints audible;
        for (int i = 0; i < kGroup; ++i) {
            const int v = first + i;
            active[i] = v < population ? -1 : 0;
            audible[i] = (v < population && (!solo || v == selected)) ? -1 : 0;
        }
        const Floats heldStep = step;
        const Floats heldShS = shS;
        const Floats heldShC = shC;
        step = audible != 0 ? step : Floats{};

        const Floats one = Floats{} + 1.0f;
        const Floats limit = Floats{} + 16777216.0f;
        const Floats zero = Floats{};
        const Floats rise = Floats{} + 0.0002f;
        Floats u{};
        Floats fraction{};
        Ints index{};
        for (int j = 0; j < frames; ++j) {
            dmS = dmS - dmK * dmC;
            dmC = dmC + dmK * dmS;
            pmS = pmS - pmK * pmC;
            pmC = pmC + pmK * pmS;
            u = dmDepth * dmS + __builtin_convertvector(current, Floats);
            u = u >= one ? u : one;
            const Ints whole = __builtin_convertvector(u < limit ? u : limit, Ints);
            fraction = u - __builtin_convertvector(whole, Floats);
            index = ((Ints{} + (write + j)) - whole) & kRingMask;

            const Floats k = pmDepth * pmS + shK + shiftAll;
            shS = shS - k * shC;
            shC = shC + k * shS;
            const Floats g = gain * fade;

            Floats re0a, im0a, re1a, im1a, re0b, im0b, re1b, im1b;
            for (int i = 0; i < kGroup; ++i) {
                const float* at = ring + 4 * index[i];
                re0a[i] = at[0];
                im0a[i] = at[1];
                re1a[i] = at[2];
                im1a[i] = at[3];
                re0b[i] = at[4];
                im0b[i] = at[5];
                re1b[i] = at[6];
                im1b[i] = at[7];
            }
            const Floats z0a = shS * re0a + shC * im0a;
            const Floats z0b = shS * re0b + shC * im0b;
            const Floats z1a = shS * re1a + shC * im1a;
            const Floats z1b = shS * re1b + shC * im1b;
            const Floats y0 = (z0a - z0b) * fraction + z0b;
            const Floats y1 = (z1a - z1b) * fraction + z1b;
            const Floats out0 = y0 * pan0 * g;
            const Floats out1 = y1 * pan1 * g;
            for (int i = 0; i < kGroup; ++i) {
                lanes.contribution[first + i][0][j] = out0[i];
                lanes.contribution[first + i][1][j] = out1[i];
            }

            // The fade: a step of 0 holds; above 1 it stops; below 0 the delay moves and it rises.
            const Ints moving = step != zero;
            const Floats next = fade + step;
            const Ints below = ~(next >= zero);
            const Ints over = (next >= zero) & (next > one);
            fade = moving ? (over ? one : next) : fade;
            current = (moving & below) ? pending : current;
            step = moving ? (over ? zero : (below ? rise : step)) : step;
        }

        shS = audible != 0 ? shS : heldShS;
        shC = audible != 0 ? shC : heldShC;
        step = audible != 0 ? step : heldStep;
        for (int i = 0; i < kGroup; ++i) {
            if (active[i] == 0) {
                continue;
            }
            const int v = first + i;
            lanes.delayModSin[v] = dmS[i];
            lanes.delayModCos[v] = dmC[i];
            lanes.pitchModSin[v] = pmS[i];
            lanes.pitchModCos[v] = pmC[i];
            lanes.shiftSin[v] = shS[i];
            lanes.shiftCos[v] = shC[i];
            lanes.fadeValue[v] = fade[i];
            lanes.fadeStep[v] = step[i];
            lanes.currentDelay[v] = current[i];
            lanes.delayFraction[v] = fraction[i];
            lanes.readIndex[v] = index[i];
        }
    }
}
