// The room around the crowd: a stereo feedback delay network of sixteen modulated lines, eight per
// channel, whose sign mixing couples the two channels. Allocated once with the engine; nothing is
// allocated afterwards.
#pragma once

#include "engine/ChaosRandom.h"
#include "model/ParameterTable.h"

class ChamberReverb {
  public:
    static constexpr int kLines = 8;
    static constexpr int kBufferSize = 16384;  // a power of two: indices are masked
    static constexpr int kMask = kBufferSize - 1;

    ChamberReverb();

    // Stores the rate only; lengths follow at the next setLineScale or reset.
    void setSampleRate(float rate);
    // Recomputes the line lengths (clearing the lines), then the decay for them.
    void setLineScale(float value);
    void setDecay(float size, float gain);
    // The feedback gain over one reference length for a stored size value, and how long the
    // room rings (to -60 dB) for the stored size and gain.
    static float decayCoefficient(float size);
    static double tailSeconds(float size, float gain);
    void setCuts(float highCut, float lowCut);
    void setModulationRate(float value);
    // Takes effect at the next reset.
    void setModulationDepth(float value);
    void reset();

    // Adds the reverb to the block; inputs and outputs may be the same buffers. Runs in
    // sub-blocks no longer than the shortest line, so every feedback read lies in the past.
    void process(float** inputs, float** outputs, int frames, float level, int channels);
    // The same network one frame at a time with the sign mixing as plain sums: the reference
    // the sub-block version is measured against.
    void processFrameByFrame(float** inputs, float** outputs, int frames, float level, int channels);

    int order(int channel, int line) const { return order_[channel][line]; }
    int lineLength(int channel, int line) const { return static_cast<int>(lines_[channel][line].length); }
    float feedbackGain(int channel, int line) const { return lines_[channel][line].feedback; }
    float wetGain() const { return wetGain_; }
    float highCoefficient() const { return highCoefficient_; }
    float lowCoefficient() const { return lowCoefficient_; }
    float activeDepth() const { return activeDepth_; }
    double modulationStep(int channel, int line) const { return oscStep_[channel * kLines + line]; }

    // Which build of the sub-block runs: 0 baseline x86-64, 1 AVX2, 2 AVX-512. All give the same
    // bits; the one that timed fastest on a scratch room when the module loaded runs unless a
    // test or benchmark sets another (false if the processor lacks it).
    static int measuredCode();
    static bool setCode(int code);

  private:
    template <int>
    friend struct ChamberReverbKernel;

    struct Line {
        float buffer[kBufferSize];
        int writeIndex;
        int readIndex;
        float feedback;
        float fraction;
        float length;
        int offset;
    };

    static constexpr int kSubBlock = 64;
    static constexpr float kDecayReferenceSamples = 4800.0f;

    void computeLineLengths();
    void processSubBlock(const float* const* inputs, float* const* outputs, int start, int frames,
                         float level, int channels);
    void processSubBlockAs(int code, const float* const* inputs, float* const* outputs, int start, int frames,
                           float level, int channels);
    static int measureFastest();

    float taps_[2][kLines] = {};
    float mix_[2][kLines] = {};
    int order_[2][kLines] = {};
    Line lines_[2][kLines] = {};
    // The sixteen modulation oscillators (channel 0's eight first), side by side.
    double oscCoefficient_[2 * kLines] = {};
    double oscValue_[2 * kLines] = {};
    double oscPrevious_[2 * kLines] = {};
    double oscStep_[2 * kLines] = {};
    double phase_[2 * kLines] = {};
    ChaosRandom random_;
    int lineCount_ = kLines;
    float first_[2] = {};
    float second_[2] = {};
    float dry_ = 1.0f;
    float wetGain_ = 0.0f;
    float highCoefficient_ = 0.5f;
    float highComplement_ = 0.5f;
    float lowCoefficient_ = 0.5f;
    float lowComplement_ = 0.5f;
    float activeDepth_ = 0.0f;
    float configuredDepth_ = 0.0f;
    float lineScale_ = 0.0f;
    float sampleRate_ = param::kReferenceRate;
    float decaySize_ = 0.0f;
    float decayGain_ = 0.0f;
    int shortestLine_ = 1;

    // Scratch of one sub-block, laid out frame-contiguous so the mixing runs across frames.
    alignas(32) float blockIn_[2][kSubBlock];
    alignas(32) float blockTaps_[2][kLines][kSubBlock];
    alignas(32) float blockMix_[2][kLines][kSubBlock];
    alignas(32) float blockSum_[2][kSubBlock];
    // Each line's modulated position per frame, frames reversed within each group of eight so
    // that the group reads the line's buffer (which runs backwards) with two plain loads.
    alignas(32) float blockPosition_[2 * kLines][kSubBlock];
};
