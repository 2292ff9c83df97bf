// The whole engine per stereo frame: the worst case (59 audible voices, widest spread, reverb on)
// and a quiet program.
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

void runEngine(benchmark::State& state, CrowdEngine& engine) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> dist(-0.3f, 0.3f);
    std::vector<float> input(kBlock * 2);
    for (float& x : input) {
        x = dist(random);
    }
    std::vector<float> left(kBlock);
    std::vector<float> right(kBlock);
    for (auto _ : state) {
        std::copy(input.begin(), input.begin() + kBlock, left.begin());
        std::copy(input.begin() + kBlock, input.end(), right.begin());
        float* io[2] = {left.data(), right.data()};
        engine.process(io, io, 2, 2, kBlock);
        benchmark::DoNotOptimize(left.data());
    }
    state.counters["per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBlock,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_EngineWorstCase(benchmark::State& state) {
    auto engine = std::make_unique<CrowdEngine>();
    engine->prepare(44100.0f, 512);
    worstCase(*engine);
    runEngine(state, *engine);
}
BENCHMARK(BM_EngineWorstCase)->Unit(benchmark::kMicrosecond);

// The same worst case through the frame-by-frame reference loop and reverb.
void BM_EngineWorstCaseFrameByFrame(benchmark::State& state) {
    auto engine = std::make_unique<CrowdEngine>();
    engine->setFrameByFrame(true);
    engine->prepare(44100.0f, 512);
    worstCase(*engine);
    runEngine(state, *engine);
}
BENCHMARK(BM_EngineWorstCaseFrameByFrame)->Unit(benchmark::kMicrosecond);

// The worst case with the baseline x86-64 voice code, as on a processor without AVX2.
void BM_EngineWorstCaseBaseline(benchmark::State& state) {
    auto engine = std::make_unique<CrowdEngine>();
    engine->prepare(44100.0f, 512);
    worstCase(*engine);
    setVoiceLanesWide(false);
    runEngine(state, *engine);
    setVoiceLanesWide(true);
}
BENCHMARK(BM_EngineWorstCaseBaseline)->Unit(benchmark::kMicrosecond);

void BM_EngineFactoryProgram0(benchmark::State& state) {
    auto engine = std::make_unique<CrowdEngine>();
    engine->prepare(44100.0f, 512);
    engine->selectProgram(0);
    settle(*engine);
    runEngine(state, *engine);
}
BENCHMARK(BM_EngineFactoryProgram0)->Unit(benchmark::kMicrosecond);

}  // namespace
