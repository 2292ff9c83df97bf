// One instance of an installed LV2 plug-in, run in this process so `zornbeck bench --compare`
// can time it interleaved with our own module. Audio, control and event ports; every control input
// starts at its default and the event inputs stay empty.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace zb {

class Lv2Peer {
  public:
    // Null with a one-line message in `error` when the URI names no installed plug-in, or the
    // plug-in cannot be instantiated at this rate.
    static std::unique_ptr<Lv2Peer> load(const std::string& uri, double sampleRate, int maxFrames,
                                         std::string& error);
    ~Lv2Peer();
    Lv2Peer(const Lv2Peer&) = delete;
    Lv2Peer& operator=(const Lv2Peer&) = delete;

    const std::string& name() const { return name_; }
    // False when the plug-in has no control input of that symbol.
    bool setControl(const std::string& symbol, float value);
    // Stereo in, stereo out (a mono side takes channel 0); frames up to the load's maxFrames.
    void process(float** inputs, float** outputs, int frames);

  private:
    struct World;
    static constexpr std::size_t kEventFloats = 2048;  // 8 KiB of events a port and run
    Lv2Peer() = default;
    void resetEvents();

    std::unique_ptr<World> world_;
    std::string name_;
    int maxFrames_ = 0;
    std::vector<float> controls_;
    std::vector<std::string> symbols_;
    std::vector<int> audioIn_;
    std::vector<int> audioOut_;
    std::vector<int> eventIn_;
    std::vector<int> eventOut_;
    unsigned sequenceUrid_ = 0;
    unsigned chunkUrid_ = 0;
    std::vector<std::vector<float>> audio_;  // one buffer per audio or event port
};

}  // namespace zb
