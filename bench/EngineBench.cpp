// The whole engine per stereo frame: the worst case (59 audible voices, widest spread, reverb on)
// and a factory program, across host block sizes and sample rates, and the reference path.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "engine/CrowdEngine.h"

namespace {

constexpr int kBlock = 512;

void settle(CrowdEngine& engine) {
    std::vector<float> left(kBlock, 0.0f);
    std::vector<float> right(kBlock, 0.0f);
    float* io[2] = {left.data(), right.data()};
    for (int i = 0; i < 30; ++i) {
        engine.process(io, io, 2, 2, kBlock);
    }
}

// Arguments: host block size, sample rate.
void blocksAndRates(benchmark::internal::Benchmark* b) {
    for (int block : {1, 16, 32, 64, 512}) {
        b->Args({block, 44100});
    }
    b->Args({512, 96000});
    b->Args({512, 192000});
    b->Args({32, 192000});
    b->ArgNames({"block", "rate"});
}

void worstCase(CrowdEngine& engine) {
    engine.markParameter(parPopulationIndex, 1.0f);
    engine.markParameter(parSoloIndex, 0.0f);
    engine.markParameter(parGlobalWetIndex, 0.5f);
    engine.markParameter(parGlobalDryIndex, 0.5f);
    engine.markParameter(parAllpassSpreadIndex, 1.0f);
    engine.markParameter(parPitchAllIndex, 0.55f);
    engine.markParameter(parReverbWetIndex, 0.6f);
    engine.markParameter(parReverbSizeIndex, 0.7f);
    engine.markParameter(parReverbHighCutIndex, 0.8f);
    engine.markParameter(parReverbLowCutIndex, 0.1f);
    for (int p = 0; p < 59; ++p) {
        engine.markParameter(personIndex(p, slotPitchShift), 0.05f + 0.015f * p);
        engine.markParameter(personIndex(p, slotPitchModGain), 0.4f);
        engine.markParameter(personIndex(p, slotPitchModSpeed), 0.3f + 0.005f * p);
        engine.markParameter(personIndex(p, slotDelayTime), 0.016f * p);
        engine.markParameter(personIndex(p, slotDelayModGain), 0.6f);
        engine.markParameter(personIndex(p, slotDelayModSpeed), 0.2f + 0.01f * p);
        engine.markParameter(personIndex(p, slotPan), p / 58.0f);
        engine.markParameter(personIndex(p, slotGain), 0.5f);
    }
    settle(engine);
}

void runEngine(benchmark::State& state, CrowdEngine& engine, int block = kBlock) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> dist(-0.3f, 0.3f);
    std::vector<float> input(static_cast<std::size_t>(block) * 2);
    for (float& x : input) {
        x = dist(random);
    }
    std::vector<float> left(block);
    std::vector<float> right(block);
    for (auto _ : state) {
        std::copy(input.begin(), input.begin() + block, left.begin());
        std::copy(input.begin() + block, input.end(), right.begin());
        float* io[2] = {left.data(), right.data()};
        engine.process(io, io, 2, 2, block);
        benchmark::DoNotOptimize(left.data());
    }
    state.counters["per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * block,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void worstCaseAt(benchmark::State& state, bool frameByFrame) {
    auto engine = std::make_unique<CrowdEngine>();
    engine->setFrameByFrame(frameByFrame);
    engine->prepare(static_cast<float>(state.range(1)), static_cast<int>(state.range(0)));
    worstCase(*engine);
    runEngine(state, *engine, static_cast<int>(state.range(0)));
}

// Block 1 shows the cost of one process call beyond its frame.
void BM_EngineWorstCase(benchmark::State& state) {
    worstCaseAt(state, false);
}
BENCHMARK(BM_EngineWorstCase)->Apply(blocksAndRates);

// The same worst case through the frame-by-frame reference loop and reverb.
void BM_EngineWorstCaseFrameByFrame(benchmark::State& state) {
    worstCaseAt(state, true);
}
BENCHMARK(BM_EngineWorstCaseFrameByFrame)->Args({512, 44100})->ArgNames({"block", "rate"});

// The worst case with each build of the voice kernel: the baseline x86-64 code (a processor
// without AVX2), AVX2, and AVX-512 (the default where present).
void BM_EngineWorstCaseVoiceCode(benchmark::State& state) {
    auto engine = std::make_unique<CrowdEngine>();
    engine->prepare(44100.0f, 512);
    worstCase(*engine);
    if (!setVoiceLanesCode(static_cast<VoiceCode>(state.range(0)))) {
        state.SkipWithError("not on this processor");
        return;
    }
    runEngine(state, *engine);
    setVoiceLanesWide(true);
}
BENCHMARK(BM_EngineWorstCaseVoiceCode)
    ->Arg(static_cast<int>(VoiceCode::baseline))
    ->Arg(static_cast<int>(VoiceCode::avx2))
    ->Arg(static_cast<int>(VoiceCode::avx512))
    ->ArgName("code");

void BM_EngineFactoryProgram0(benchmark::State& state) {
    auto engine = std::make_unique<CrowdEngine>();
    engine->prepare(44100.0f, 512);
    engine->selectProgram(0);
    settle(*engine);
    runEngine(state, *engine);
}
BENCHMARK(BM_EngineFactoryProgram0)->Unit(benchmark::kMicrosecond);

}  // namespace
