// Several host threads at once: program switches, chunk loads and saves, automation and the
// editor, while an audio thread keeps rendering.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <thread>
#include <vector>

#include "editor/EffectEditor.h"
#include "engine/CrowdEngine.h"
#include "engine/Numeric.h"
#include "plugin/EffectVST.h"
#include "vst/ZornbeckExtensions.h"

namespace {

VstIntPtr host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

VstIntPtr call(EffectVST& plugin, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
               void* ptr = nullptr) {
    return plugin.dispatcher(opcode, index, value, ptr, 0.0f);
}

// Renders blocks until stopped; `check` runs on the audio thread after every block.
class AudioThread {
  public:
    explicit AudioThread(EffectVST& plugin, std::function<void()> check = {})
        : thread_([this, &plugin, check] {
              std::vector<float> in(2 * kFrames), out(2 * kFrames);
              std::minstd_rand noise(3);
              float* inputs[2] = {in.data(), in.data() + kFrames};
              float* outputs[2] = {out.data(), out.data() + kFrames};
              while (!stop_.load()) {
                  for (float& x : in) {
                      x = static_cast<float>(noise() % 2001) / 2000.0f - 0.5f;
                  }
                  plugin.processReplacing(inputs, outputs, kFrames);
                  for (float x : out) {
                      finite_ = finite_ && std::isfinite(x);
                  }
                  if (check) {
                      check();
                  }
                  blocks_.fetch_add(1);
              }
          }) {}
    ~AudioThread() { stop(); }
    void stop() {
        stop_.store(true);
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    // Lets the audio side run at least `count` more blocks.
    void waitBlocks(long count) const {
        const long target = blocks_.load() + count;
        while (blocks_.load() < target) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    bool allFinite() const { return finite_; }

    static constexpr int kFrames = 256;

  private:
    std::atomic<bool> stop_{false};
    std::atomic<long> blocks_{0};
    bool finite_ = true;  // written by the audio thread only, read after the join
    std::thread thread_;
};

void runFor(std::chrono::milliseconds duration, const std::function<void(int)>& body, int threads) {
    std::vector<std::thread> workers;
    const auto end = std::chrono::steady_clock::now() + duration;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
                body(t);
            }
        });
    }
    for (std::thread& w : workers) {
        w.join();
    }
}

int differingValues(const Program& a, const Program& b) {
    int count = 0;
    for (int index = 0; index < kNumValues; ++index) {
        count += std::memcmp(&a.value(index), &b.value(index), sizeof(float)) != 0;
    }
    return count;
}

// A preset chunk whose person values are all `value`, so a mix of two is plain to see.
Program uniformProgram(const Program& base, float value) {
    Program program = base;
    for (int index = kFirstPersonIndex; index < kNumValues; ++index) {
        program.value(index) = value;
    }
    return program;
}

// Counts the person values equal to `value`.
int countOf(const Program& program, float value) {
    int count = 0;
    for (int index = kFirstPersonIndex; index < kNumValues; ++index) {
        count += program.value(index) == value;
    }
    return count;
}

constexpr float kLow = 0.2468f;
constexpr float kHigh = 0.7531f;
constexpr int kPersonValues = kNumValues - kFirstPersonIndex;

// Wholly one of the two chunks, or (before the first arrives) neither.
bool mixed(const Program& program) {
    const int lows = countOf(program, kLow);
    const int highs = countOf(program, kHigh);
    return (lows > 0 || highs > 0) && lows != kPersonValues && highs != kPersonValues;
}

}  // namespace

TEST(ControlThreads, TwoThreadsSwitchingProgramsLeaveEveryStoredValueAlone) {
    EffectVST plugin(host, nullptr);
    const ProgramBank before = plugin.engine()->bank();
    AudioThread audio(plugin);
    runFor(
        std::chrono::milliseconds(400), [&](int t) { call(plugin, effSetProgram, 0, t == 0 ? 3 : 5); }, 2);
    audio.waitBlocks(2);
    for (int program = 0; program < kNumPrograms; ++program) {
        EXPECT_EQ(differingValues(plugin.engine()->bank().programs[program], before.programs[program]), 0)
            << "program " << program;
    }
    // What the host is told is current is what plays, once the fade has passed.
    const VstInt32 current = static_cast<VstInt32>(call(plugin, effGetProgram));
    EXPECT_TRUE(current == 3 || current == 5) << current;
    audio.waitBlocks(3 * 5000 / AudioThread::kFrames);
    audio.stop();
    EXPECT_EQ(differingValues(plugin.engine()->appliedProgram(), before.programs[current]), 0);
}

TEST(ControlThreads, ChunksLoadedWhilePlayingAreAppliedAndSavedWhole) {
    EffectVST plugin(host, nullptr);
    const Program low = uniformProgram(plugin.engine()->bank().programs[0], kLow);
    const Program high = uniformProgram(plugin.engine()->bank().programs[0], kHigh);
    std::atomic<int> tornApplied{0};
    std::atomic<int> tornSaved{0};
    std::atomic<int> saves{0};
    Program first = low;
    call(plugin, effSetChunk, 1, sizeof first, &first);
    AudioThread audio(plugin, [&] { tornApplied += mixed(plugin.engine()->appliedProgram()); });
    runFor(
        std::chrono::milliseconds(400),
        [&](int t) {
            if (t == 0) {
                Program copy = low;
                call(plugin, effSetChunk, 1, sizeof copy, &copy);
                copy = high;
                call(plugin, effSetChunk, 1, sizeof copy, &copy);
            } else {
                void* data = nullptr;
                const VstIntPtr size = call(plugin, effGetChunk, 1, 0, &data);
                Program saved;
                if (size == sizeof saved) {
                    std::memcpy(&saved, data, sizeof saved);
                    tornSaved += mixed(saved) || countOf(saved, kLow) + countOf(saved, kHigh) == 0;
                    saves += 1;
                }
            }
        },
        2);
    audio.stop();
    EXPECT_GT(saves.load(), 0);
    EXPECT_EQ(tornSaved.load(), 0) << "of " << saves.load() << " saved chunks";
    EXPECT_EQ(tornApplied.load(), 0);
}

TEST(ControlThreads, AutomationDuringProgramReloadsIsKept) {
    EffectVST plugin(host, nullptr);
    call(plugin, effSetProgram, 0, 7);
    AudioThread audio(plugin);
    const int pan = personIndex(3, slotPan);
    constexpr int kSteps = 3000;
    std::thread reloads([&] {
        for (int i = 0; i < 300; ++i) {
            call(plugin, effSetProgram, 0, 7);
        }
    });
    for (int step = 1; step <= kSteps; ++step) {
        plugin.setParameter(pan, static_cast<float>(step) / kSteps);
    }
    reloads.join();
    EXPECT_EQ(zb::loadShared(plugin.engine()->bank().programs[7].value(pan)), 1.0f);
    EXPECT_EQ(plugin.getParameter(pan), 1.0f);
    audio.waitBlocks(3 * 5000 / AudioThread::kFrames);
    audio.stop();
    EXPECT_EQ(plugin.engine()->appliedProgram().value(pan), 1.0f) << "the audio side has the last value";
}

// Everything a host may do from its threads at once, with the editor drawn off-screen on a third.
TEST(ControlThreads, EverythingAtOnceStaysConsistent) {
    EffectVST plugin(host, &EffectEditor::create);
    ProgramBank bank = plugin.engine()->bank();
    AudioThread audio(plugin);
    std::vector<std::uint32_t> pixels(16 * 16);
    ZornbeckScreenshot shot{16, 16, 16 * 4, pixels.data()};
    std::atomic<int> shots{0};
    runFor(
        std::chrono::milliseconds(1500),
        [&](int t) {
            thread_local std::minstd_rand random(static_cast<unsigned>(t + 1));
            char name[kVstMaxProgNameLen + 1];
            switch (t == 2 ? 9 : random() % 8) {
                case 0:
                    call(plugin, effSetProgram, 0, static_cast<VstIntPtr>(random() % kNumPrograms));
                    break;
                case 1: {
                    ProgramBank copy = bank;
                    call(plugin, effSetChunk, 0, sizeof copy, &copy);
                    break;
                }
                case 2: {
                    Program copy = bank.programs[random() % kNumPrograms];
                    call(plugin, effSetChunk, 1, sizeof copy, &copy);
                    break;
                }
                case 3: {
                    void* data = nullptr;
                    const bool preset = random() % 2 == 0;
                    call(plugin, effGetChunk, preset ? 1 : 0, 0, &data);
                    break;
                }
                case 4:
                case 5:
                    for (int i = 0; i < 50; ++i) {
                        plugin.setParameter(static_cast<VstInt32>(random() % kNumParams),
                                            static_cast<float>(random() % 1000) / 1000.0f);
                    }
                    break;
                case 6:
                    call(plugin, effGetProgramNameIndexed, static_cast<VstInt32>(random() % kNumPrograms), 0,
                         name);
                    break;
                case 7: {
                    char renamed[] = "Renamed";
                    call(plugin, effSetProgramName, 0, 0, renamed);
                    call(plugin, effGetProgramName, 0, 0, name);
                    break;
                }
                default:
                    shots +=
                        call(plugin, effVendorSpecific, kZornbeckVendorTag, kZornbeckScreenshot, &shot) == 1;
                    break;
            }
        },
        3);
    EXPECT_GT(shots.load(), 0);
    // Once everything has settled, what plays is the current program as stored.
    audio.waitBlocks(3 * 5000 / AudioThread::kFrames);
    audio.stop();
    EXPECT_TRUE(audio.allFinite());
    const int current = static_cast<int>(call(plugin, effGetProgram));
    const Program& stored = plugin.engine()->bank().programs[current];
    const Program& applied = plugin.engine()->appliedProgram();
    for (int index = 0; index < kNumParams; ++index) {
        if (index != parPresetActionIndex && index != parPresetSelectIndex && index != parPresetPrevIndex &&
            index != parPresetNextIndex && index != parPresetReloadIndex) {
            EXPECT_EQ(applied.value(index), stored.value(index)) << index;
        }
    }
}
