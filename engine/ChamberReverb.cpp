#include "engine/ChamberReverb.h"

// The wide vector helpers are internal to this file, so how they are passed matters to no one.
#pragma GCC diagnostic ignored "-Wpsabi"

#include <atomic>
#include <cmath>
#include <memory>

#include "engine/KernelChoice.h"
#include "engine/Numeric.h"
#include "engine/PortableMath.h"
#include "engine/TargetBuilds.h"
#include "model/ParameterTable.h"

namespace {

using zb::kPi;
using zb::kTwoPi;
constexpr float kMaxDepth = 110.0f;
// The longest line plus the widest modulation swing must stay inside the buffer, whatever rate
// a host hands over; rates up to 192 kHz never come near this.
// A sub-block's writes must not reach the oldest reads either.
constexpr int kMaxLength = ChamberReverb::kBufferSize - 2 * static_cast<int>(kMaxDepth) - 2 - 64;
constexpr double kStateAfterLengths = 19.7181846130797;

// Settings are normalised; a NaN or out-of-range value must not make the network unstable.
float unit(float x) {
    if (!(x > 0.0f)) {
        return 0.0f;
    }
    return x < 1.0f ? x : 1.0f;
}

// Sign of row m, column j of the 8 x 8 Hadamard matrix in natural order.
constexpr float hadamardSign(int m, int j) {
    int bits = m & j;
    int parity = 0;
    while (bits != 0) {
        parity ^= bits & 1;
        bits >>= 1;
    }
    return parity == 0 ? 1.0f : -1.0f;
}

}  // namespace

ChamberReverb::ChamberReverb() {
    random_.setState(ChaosRandom::kStart);
    random_.reseed(216);
    sampleRate_ = param::kReferenceRate;
    for (int c = 0; c < 2; ++c) {
        for (int k = 0; k < kLines; ++k) {
            order_[c][k] = k;
        }
    }
    for (int c : {1, 0}) {
        int* row = order_[c];
        for (int j = 0; j < kLines; ++j) {
            const int k = static_cast<int>(8.0 * random_.draw());
            const int swapped = row[j];
            row[j] = row[k];
            row[k] = swapped;
        }
    }
    for (double& phase : phase_) {
        const float r = static_cast<float>(random_.draw());
        phase = static_cast<double>(r) * static_cast<double>(kTwoPi);
    }
    activeDepth_ = 0.0f;
    reset();
}

void ChamberReverb::setSampleRate(float rate) {
    // A rate that is not a positive finite number would poison every coefficient.
    if (rate > 0.0f && std::isfinite(rate)) {
        sampleRate_ = rate;
    }
}

void ChamberReverb::setLineScale(float value) {
    lineScale_ = value;
    computeLineLengths();
    setDecay(decaySize_, decayGain_);
}

void ChamberReverb::computeLineLengths() {
    const float scale = unit(lineScale_);
    const float base = scale * scale * 220.0f + 1.0f;
    random_.reseed(213);
    for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < kLines; ++i) {
            const float r = static_cast<float>(random_.draw());
            const float span =
                (r * 35.0f + base / zb::powf(8.0f, static_cast<float>(i) * 0.125f)) * 0.001f * sampleRate_;
            const int length = zb::saturatingTrunc(span, 1, kMaxLength);
            shortestLine_ = (c == 0 && i == 0) || length < shortestLine_ ? length : shortestLine_;
            Line& line = lines_[c][i];
            line.writeIndex = 0;
            line.readIndex = length;
            line.length = static_cast<float>(length);
            for (float& sample : line.buffer) {
                sample = 0.0f;
            }
            line.offset = 0;
        }
    }
    random_.setState(kStateAfterLengths);
}

void ChamberReverb::setDecay(float size, float gain) {
    decaySize_ = size;
    decayGain_ = gain;
    wetGain_ = param::reverbGain(gain);
    const float c = decayCoefficient(size);
    const float d = sampleRate_ * kDecayReferenceSamples * param::kReferenceRateReciprocal;
    const float norm = std::sqrt(8.0f);
    for (int ch = 0; ch < 2; ++ch) {
        for (Line& line : lines_[ch]) {
            line.feedback = zb::powf(c, line.length / d) / norm;
        }
    }
}

float ChamberReverb::decayCoefficient(float size) {
    const float s = param::reverbSize(size);
    return zb::atanf((zb::powf(s, 1.5f) * 0.5f + 0.002f) * 40.0f) * 0.6370253f;
}

double ChamberReverb::tailSeconds(float size, float gain) {
    if (param::reverbGain(gain) == 0.0f) {
        return 0.0;
    }
    // The network loses 1 - c of its energy's amplitude every reference length: -60 dB after
    // 3 / -log10(c) of them.
    const double c = decayCoefficient(size);
    return 3.0 / -std::log10(c) * double(kDecayReferenceSamples) / double(param::kReferenceRate);
}

void ChamberReverb::setCuts(float highCut, float lowCut) {
    highCoefficient_ = zb::expf(param::cutHertz(highCut) * (-kTwoPi) / sampleRate_);
    highComplement_ = 1.0f - highCoefficient_;
    lowCoefficient_ = zb::expf(param::cutHertz(lowCut) * (-kTwoPi) / sampleRate_);
    lowComplement_ = 1.0f - lowCoefficient_;
}

void ChamberReverb::setModulationRate(float value) {
    const float x = unit(value);
    random_.reseed(1239);
    const float base = x * x * x * 8.0f + 0.2f;
    const double b = base;
    for (int l = 0; l < 2 * kLines; ++l) {
        const double r = static_cast<float>(random_.draw());
        const double w = (b * 0.4 * r + b) * static_cast<double>(kPi) / static_cast<double>(sampleRate_);
        oscStep_[l] = w;
        oscCoefficient_[l] = 2.0 * std::cos(w);
        const double p = std::fmod(phase_[l], static_cast<double>(kTwoPi));
        oscValue_[l] = std::sin(p);
        oscPrevious_[l] = std::sin(p - w);
    }
}

void ChamberReverb::setModulationDepth(float value) {
    const float x = unit(value);
    configuredDepth_ = x * x * kMaxDepth;
}

void ChamberReverb::reset() {
    for (int c = 0; c < 2; ++c) {
        for (Line& line : lines_[c]) {
            for (float& sample : line.buffer) {
                sample = 0.0f;
            }
        }
    }
    activeDepth_ = configuredDepth_;
    for (int c = 0; c < 2; ++c) {
        first_[c] = 0.0f;
        second_[c] = 0.0f;
    }
    computeLineLengths();
}

void ChamberReverb::processFrameByFrame(float** inputs, float** outputs, int frames, float level,
                                        int channels) {
    if (frames <= 0 || channels <= 0) {
        return;
    }
    const int used = channels < 2 ? channels : 2;
    for (int i = 0; i < frames; ++i) {
        float input[2] = {0.0f, 0.0f};
        float accumulator[2] = {0.0f, 0.0f};
        for (int c = 0; c < used; ++c) {
            input[c] = inputs[c][i];
            for (int k = 0; k < lineCount_; ++k) {
                const Line& line = lines_[c][k];
                taps_[c][order_[c][k]] = line.buffer[line.readIndex & kMask] + zb::kAntiDenormal;
            }
        }

        // Rows 1..7 of the Hadamard matrix mix a channel's own taps; row 0 takes the other
        // channel's sum, negated, which is what couples the two sides of the room.
        for (int c = 0; c < 2; ++c) {
            const float* own = taps_[c];
            const float* other = taps_[1 - c];
            float sum = 0.0f;
            for (int j = 0; j < kLines; ++j) {
                sum += other[j];
            }
            mix_[c][0] = -sum;
            for (int m = 1; m < kLines; ++m) {
                float v = 0.0f;
                for (int j = 0; j < kLines; ++j) {
                    v += hadamardSign(m, j) * own[j];
                }
                mix_[c][m] = v;
            }
        }

        for (int c = 0; c < 2; ++c) {
            for (int k = 0; k < kLines; ++k) {
                Line& line = lines_[c][k];
                const int l = c * kLines + k;
                const float m = (static_cast<float>(oscValue_[l]) + 1.0f) * activeDepth_;
                line.offset = static_cast<int>(m);
                line.fraction = m - static_cast<float>(line.offset);
                const double next = oscCoefficient_[l] * oscValue_[l] - oscPrevious_[l];
                oscPrevious_[l] = oscValue_[l];
                oscValue_[l] = next;
                phase_[l] += oscStep_[l];
            }
        }

        for (int c = 0; c < used; ++c) {
            for (int k = 0; k < lineCount_; ++k) {
                Line& line = lines_[c][k];
                const int read = line.readIndex;
                // Kept masked so that hours of running never overflow the indices.
                line.readIndex = (read - 1) & kMask;
                line.buffer[line.writeIndex & kMask] = mix_[c][k] * line.feedback + input[c];
                line.writeIndex = (line.writeIndex - 1) & kMask;
                const float a = line.buffer[(read + line.offset) & kMask];
                const float b = line.buffer[(read + line.offset + 1) & kMask];
                accumulator[c] += a + (b - a) * line.fraction;
            }
        }

        for (int c = 0; c < used; ++c) {
            first_[c] = highCoefficient_ * first_[c] + highComplement_ * accumulator[c] + zb::kAntiDenormal;
            second_[c] = lowCoefficient_ * second_[c] + lowComplement_ * first_[c];
            outputs[c][i] = (first_[c] - second_[c]) * wetGain_ * level + input[c] * dry_;
        }
    }
}

void ChamberReverb::process(float** inputs, float** outputs, int frames, float level, int channels) {
    if (frames <= 0 || channels <= 0) {
        return;
    }
    const int used = channels < 2 ? channels : 2;
    const int longest = shortestLine_ < kSubBlock ? shortestLine_ : kSubBlock;
    for (int start = 0; start < frames;) {
        const int n = frames - start < longest ? frames - start : longest;
        processSubBlock(inputs, outputs, start, n, level, used);
        start += n;
    }
}

namespace {

// Butterflies of the 8-point Hadamard transform in natural order, across n frames at once.
inline __attribute__((always_inline)) void hadamard8(float (*v)[64], int n) {
    for (int half = 1; half < 8; half *= 2) {
        for (int base = 0; base < 8; base += 2 * half) {
            for (int k = base; k < base + half; ++k) {
                float* a = v[k];
                float* b = v[k + half];
                for (int j = 0; j < n; ++j) {
                    const float x = a[j];
                    const float y = b[j];
                    a[j] = x + y;
                    b[j] = x - y;
                }
            }
        }
    }
}

// Frame j's place in a sub-block whose groups of eight frames are stored in reverse.
inline int reversedInGroup(int j) {
    return (j & ~7) | (7 - (j & 7));
}

typedef float Floats __attribute__((vector_size(32)));
typedef int Ints __attribute__((vector_size(32)));
typedef long long Longs __attribute__((vector_size(32)));

}  // namespace

template <int>
struct ChamberReverbKernel;

template <>
struct ChamberReverbKernel<0> {
#include "engine/ChamberReverbSubBlock.inc"
};

ZB_BEGIN_AVX2
template <>
struct ChamberReverbKernel<1> {
#include "engine/ChamberReverbSubBlock.inc"
};
ZB_END_TARGET
ZB_BEGIN_AVX512
template <>
struct ChamberReverbKernel<2> {
#include "engine/ChamberReverbSubBlock.inc"
};
ZB_END_TARGET

namespace {

bool supportsCode(int code) {
    __builtin_cpu_init();  // may run before the run-time library's own initialisation
    return code == 0 || (code == 1 && __builtin_cpu_supports("avx2") != 0) ||
           (code == 2 && __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("avx512f") != 0);
}

}  // namespace

// A scratch room of eight lines a side, modulated, fed noise in 64-frame sub-blocks.
int ChamberReverb::measureFastest() {
    auto room = std::make_unique<ChamberReverb>();
    room->setLineScale(0.5f);
    room->setModulationRate(0.55f);
    room->setModulationDepth(0.5f);
    room->reset();
    float left[kSubBlock];
    float right[kSubBlock];
    for (int j = 0; j < kSubBlock; ++j) {
        left[j] = static_cast<float>((j * 37) % 17 - 8) * 0.05f;
        right[j] = -left[j];
    }
    float* io[2] = {left, right};
    return kernel_choice::fastest(3, supportsCode, [&](int code) {
        room->processSubBlockAs(code, io, io, 0, kSubBlock, 1.0f, 2);
    });
}

namespace {
const int kMeasuredCode = ChamberReverb::measuredCode();
std::atomic<int> reverbCode{kMeasuredCode};
}  // namespace

int ChamberReverb::measuredCode() {
    static const int measured = measureFastest();
    return measured;
}

bool ChamberReverb::setCode(int code) {
    if (code < 0 || code > 2 || !supportsCode(code)) {
        return false;
    }
    reverbCode.store(code, std::memory_order_relaxed);
    return true;
}

void ChamberReverb::processSubBlockAs(int code, const float* const* inputs, float* const* outputs, int start,
                                      int n, float level, int used) {
    switch (code) {
        case 2:
            ChamberReverbKernel<2>::run(*this, inputs, outputs, start, n, level, used);
            break;
        case 1:
            ChamberReverbKernel<1>::run(*this, inputs, outputs, start, n, level, used);
            break;
        default:
            ChamberReverbKernel<0>::run(*this, inputs, outputs, start, n, level, used);
            break;
    }
}

void ChamberReverb::processSubBlock(const float* const* inputs, float* const* outputs, int start, int n,
                                    float level, int used) {
    processSubBlockAs(reverbCode.load(std::memory_order_relaxed), inputs, outputs, start, n, level, used);
}
