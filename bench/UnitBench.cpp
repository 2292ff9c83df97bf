// Cost of each unit per frame; the state is warmed up first so the figures are steady-state.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "engine/ChamberReverb.h"
#include "engine/ChaosRandom.h"
#include "engine/DelayAllpass.h"
#include "engine/QuadratureAllpass.h"
#include "engine/Spread.h"
#include "engine/VoiceLanes.h"
#include "engine/VoiceState.h"

namespace {

constexpr int kBlock = 512;

// Which builds the load-time measurement chose, printed with the machine's context: the whole
// engine's figures depend on them.
const bool kChoicesShown = [] {
    const char* names[] = {"baseline", "AVX2", "AVX-512"};
    benchmark::AddCustomContext("voice code", names[static_cast<int>(measuredVoiceCode())]);
    benchmark::AddCustomContext("reverb code", names[ChamberReverb::measuredCode()]);
    benchmark::AddCustomContext("spread code", names[measuredSpreadCode()]);
    return true;
}();

void perFrame(benchmark::State& state, int framesPerIteration) {
    state.counters["per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * framesPerIteration,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

std::vector<float> noise(int n, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> dist(-0.5f, 0.5f);
    std::vector<float> out(n);
    for (float& x : out) {
        x = dist(random);
    }
    return out;
}

template <bool kFrameByFrame>
void BM_ReverbStereo(benchmark::State& state) {
    auto reverb = std::make_unique<ChamberReverb>();
    reverb->setSampleRate(44100.0f);
    reverb->setLineScale(0.5f);
    reverb->setModulationRate(0.55f);
    reverb->setModulationDepth(0.5f);
    reverb->reset();
    reverb->setDecay(0.6f, 0.5f);
    reverb->setCuts(0.7f, 0.2f);
    const std::vector<float> input = noise(kBlock * 2, 1);
    std::vector<float> left(kBlock);
    std::vector<float> right(kBlock);
    // Host blocks of state.range(0) frames; state.range(1) is the build of the sub-block code.
    const int block = static_cast<int>(state.range(0));
    if (!kFrameByFrame && !ChamberReverb::setCode(static_cast<int>(state.range(1)))) {
        state.SkipWithError("this processor lacks that build");
        return;
    }
    for (auto _ : state) {
        std::copy(input.begin(), input.begin() + kBlock, left.begin());
        std::copy(input.begin() + kBlock, input.end(), right.begin());
        for (int start = 0; start < kBlock; start += block) {
            float* io[2] = {left.data() + start, right.data() + start};
            if (kFrameByFrame) {
                reverb->processFrameByFrame(io, io, block, 1.0f, 2);
            } else {
                reverb->process(io, io, block, 1.0f, 2);
            }
        }
        benchmark::DoNotOptimize(left.data());
    }
    ChamberReverb::setCode(ChamberReverb::measuredCode());
    perFrame(state, kBlock);
}
BENCHMARK(BM_ReverbStereo<true>)->Name("BM_ReverbStereo/frame_by_frame")->Args({512, 0});
BENCHMARK(BM_ReverbStereo<false>)
    ->Name("BM_ReverbStereo/sub_blocks")
    ->ArgNames({"block", "code"})
    ->ArgsProduct({{16, 32, 512}, {0, 1, 2}});

void BM_SpreadChainStereo(benchmark::State& state) {
    DelayAllpass sections[2][kSpreadSections];
    ChaosRandom random;
    rebuildSpread(sections, random, 1.0f, 44100.0f);
    const std::vector<float> input = noise(kBlock, 2);
    std::vector<float> out(kBlock * 2);
    for (auto _ : state) {
        for (int i = 0; i < kBlock; ++i) {
            for (int c = 0; c < 2; ++c) {
                float v = input[i];
                for (DelayAllpass& section : sections[c]) {
                    v = section.step(v);
                }
                out[2 * i + c] = v;
            }
        }
        benchmark::DoNotOptimize(out.data());
    }
    perFrame(state, kBlock);
}
BENCHMARK(BM_SpreadChainStereo);

// The same chains in runs of 64 or 16 frames, section after section.
void BM_SpreadChainStereoRuns(benchmark::State& state) {
    if (!setSpreadCode(static_cast<int>(state.range(0)))) {
        state.SkipWithError("this processor lacks that build");
        return;
    }
    DelayAllpass sections[2][kSpreadSections];
    ChaosRandom random;
    rebuildSpread(sections, random, 1.0f, 44100.0f);
    const std::vector<float> input = noise(kBlock, 2);
    std::vector<float> out(kBlock * 2);
    const int run = static_cast<int>(state.range(1));
    for (auto _ : state) {
        for (int c = 0; c < 2; ++c) {
            float* x = out.data() + c * kBlock;
            std::copy(input.begin(), input.end(), x);
            for (int start = 0; start < kBlock; start += run) {
                runSpreadChain(sections[c], x + start, run);
            }
        }
        benchmark::DoNotOptimize(out.data());
    }
    setSpreadCode(measuredSpreadCode());
    perFrame(state, kBlock);
}
BENCHMARK(BM_SpreadChainStereoRuns)->ArgsProduct({{0, 1, 2}, {64, 16}})->ArgNames({"code", "frames"});

void BM_QuadratureAnalysisStereo(benchmark::State& state) {
    QuadratureAllpass analysers[2];
    const std::vector<float> input = noise(kBlock, 3);
    std::vector<float> out(kBlock * 4);
    for (auto _ : state) {
        for (int i = 0; i < kBlock; ++i) {
            for (int c = 0; c < 2; ++c) {
                analysers[c].step(input[i] + 1e-20f, out[4 * i + 2 * c], out[4 * i + 2 * c + 1]);
            }
        }
        benchmark::DoNotOptimize(out.data());
    }
    perFrame(state, kBlock);
}
BENCHMARK(BM_QuadratureAnalysisStereo);

// Both channels' four chains side by side, writing ring frames.
void BM_QuadratureAnalysisStereoPair(benchmark::State& state) {
    QuadratureAllpass analysers[2];
    const std::vector<float> input = noise(kBlock, 3);
    std::vector<float> out(kBlock * 4);
    for (auto _ : state) {
        QuadratureAllpass::runPair(analysers[0], analysers[1], input.data(), input.data(), out.data(),
                                   kBlock);
        benchmark::DoNotOptimize(out.data());
    }
    perFrame(state, kBlock);
}
BENCHMARK(BM_QuadratureAnalysisStereoPair);

void tuneVoices(VoiceState* voices) {
    Individual person{};
    for (int v = 0; v < 59; ++v) {
        person.parPitchShift = 0.1f + 0.013f * v;
        person.parPitchModGain = 0.3f;
        person.parPitchModSpeed = 0.4f;
        person.parDelayTime = 0.017f * v;
        person.parDelayModGain = 0.5f;
        person.parDelayModSpeed = 0.3f;
        person.parPan = v / 58.0f;
        person.parGain = 0.5f;
        for (int slot = 0; slot < 8; ++slot) {
            voices[v].applyParameter(slot, person, 44100.0f);
        }
        voices[v].reset();
    }
}

// 59 voices, frame by frame, one voice after the other.
void BM_VoicesFrameByFrame(benchmark::State& state) {
    std::vector<VoiceState> voices(60);
    tuneVoices(voices.data());
    const std::vector<float> ring = noise(kRingStorage * kRingFrame, 10);
    int w = 0;
    std::vector<float> out(kBlock * 2);
    for (auto _ : state) {
        for (int i = 0; i < kBlock; ++i) {
            float sum[2] = {0.0f, 0.0f};
            for (int v = 0; v < 59; ++v) {
                voices[v].stepModulation(w);
                voices[v].readout(ring.data(), 0.0f, sum, 2);
                voices[v].stepFade();
            }
            out[2 * i] = sum[0];
            out[2 * i + 1] = sum[1];
            w = (w + 1) & kRingMask;
        }
        benchmark::DoNotOptimize(out.data());
    }
    perFrame(state, kBlock);
}
BENCHMARK(BM_VoicesFrameByFrame);

// The same 59 voices across lanes in runs of 64 frames (the sums over voices included), with
// each build of the kernel (0 baseline, 1 AVX2, 2 AVX-512).
void BM_VoicesInLanes(benchmark::State& state) {
    if (!setVoiceLanesCode(static_cast<VoiceCode>(state.range(0)))) {
        state.SkipWithError("not on this processor");
        return;
    }
    std::vector<VoiceState> voices(60);
    tuneVoices(voices.data());
    auto lanes = std::make_unique<VoiceLanes>();
    lanes->load(voices.data(), 60);
    const std::vector<float> ring = noise(kRingStorage * kRingFrame, 10);
    int w = 0;
    std::vector<float> out(kBlock * 2);
    const int run = static_cast<int>(state.range(2));
    for (auto _ : state) {
        for (int start = 0; start < kBlock; start += run) {
            renderVoiceLanes(*lanes, static_cast<int>(state.range(1)), false, 0, ring.data(), kRingMask, w,
                             run, 0.0f, 0);
            for (int c = 0; c < 2; ++c) {
                float* sum = out.data() + c * kBlock + start;
                for (int j = 0; j < run; ++j) {
                    sum[j] = lanes->sum(c, j);
                }
            }
            w = (w + run) & kRingMask;
        }
        benchmark::DoNotOptimize(out.data());
    }
    setVoiceLanesWide(true);
    perFrame(state, kBlock);
}
// Runs of 16 and 32 frames are what host blocks of that size leave the kernel.
BENCHMARK(BM_VoicesInLanes)
    ->ArgsProduct({{0, 1, 2}, {59, 50}, {64}})
    ->Args({1, 59, 16})
    ->Args({2, 59, 16})
    ->Args({2, 59, 32})
    ->ArgNames({"code", "voices", "frames"});

}  // namespace

namespace {

// The eight lane sums of each voice frame reduced and mixed with the dry signal, both channels.
void BM_LaneSumsAndMix(benchmark::State& state) {
    auto lanes = std::make_unique<VoiceLanes>();
    const std::vector<float> values = noise(2 * VoiceLanes::kMaxFrames * 8, 11);
    std::copy(values.begin(), values.end(), &lanes->laneSum[0][0][0]);
    const std::vector<float> dry = noise(kBlock, 12);
    std::vector<float> fade(VoiceLanes::kMaxFrames, 0.75f);
    std::vector<float> out(kBlock * 2);
    for (auto _ : state) {
        for (int start = 0; start < kBlock; start += VoiceLanes::kMaxFrames) {
            for (int c = 0; c < 2; ++c) {
                float* o = out.data() + c * kBlock + start;
                for (int j = 0; j < VoiceLanes::kMaxFrames; ++j) {
                    o[j] = (0.5f * dry[start + j] + 0.3f * lanes->sum(c, j)) * fade[j];
                }
            }
        }
        benchmark::DoNotOptimize(out.data());
    }
    perFrame(state, kBlock);
}
BENCHMARK(BM_LaneSumsAndMix);

// Copying the voices into the lane layout and back, as a block start and end does.
void BM_VoiceLayoutLoadStore(benchmark::State& state) {
    std::vector<VoiceState> voices(60);
    tuneVoices(voices.data());
    auto lanes = std::make_unique<VoiceLanes>();
    for (auto _ : state) {
        lanes->load(voices.data(), 60);
        benchmark::DoNotOptimize(lanes.get());
        lanes->store(voices.data(), 60);
        benchmark::DoNotOptimize(voices.data());
    }
}
BENCHMARK(BM_VoiceLayoutLoadStore);

}  // namespace
